#include "QtServices.h"

#include <QDialog>
#include <QMessageBox>

namespace ui {

namespace {
// A box over its owner when the owner is a window (or lies in one).
QMessageBox *makeBox(QObject *owner, const QString &text)
{
    while (owner && !owner->isWidgetType())
        owner = owner->parent();
    auto *box = new QMessageBox(QMessageBox::NoIcon, programTitle(), text, QMessageBox::Ok,
                                static_cast<QWidget *>(owner));
    box->setAttribute(Qt::WA_DeleteOnClose);
    return box;
}
} // namespace

void QtMessageService::inform(QObject *owner, const QString &text) { makeBox(owner, text)->exec(); }

void QtMessageService::notify(QObject *owner, const QString &text)
{
    auto *box = makeBox(owner, text);
    box->setModal(false);
    box->show();
}

void QtModalRunner::run(QDialog *dialog)
{
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->exec();
}

} // namespace ui
