#include "QtServices.h"

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

namespace ui {

namespace {
// The window an owner is, or lies in; none when it lies in no window.
QWidget *windowOf(QObject *owner)
{
    while (owner && !owner->isWidgetType())
        owner = owner->parent();
    return static_cast<QWidget *>(owner);
}

QMessageBox *makeBox(QObject *owner, const QString &text)
{
    auto *box = new QMessageBox(QMessageBox::NoIcon, programTitle(), text, QMessageBox::Ok, windowOf(owner));
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

QString QtFileChooser::openFile(QObject *owner, const QString &title, const QString &start, const QString &filter)
{
    return QFileDialog::getOpenFileName(windowOf(owner), title, start, filter);
}

} // namespace ui
