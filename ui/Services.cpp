#include "Services.h"

#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>

namespace ui {

namespace {
QMessageBox *makeBox(QWidget *parent, const QString &text)
{
    auto *box = new QMessageBox(QMessageBox::NoIcon, programTitle(), text, QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    return box;
}
} // namespace

void QtMessageService::inform(QWidget *parent, const QString &text) { makeBox(parent, text)->exec(); }

void QtMessageService::notify(QWidget *parent, const QString &text)
{
    auto *box = makeBox(parent, text);
    box->setModal(false);
    box->show();
}

void QtModalRunner::run(QDialog *dialog)
{
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->exec();
}

QString QtFileChooser::openFile(QWidget *parent, const QString &title, const QString &start, const QString &filter)
{
    return QFileDialog::getOpenFileName(parent, title, start, filter);
}

} // namespace ui
