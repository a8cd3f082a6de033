// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtServices.h"

#include <QApplication>

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

QMessageBox *makeBox(QObject *owner, const QString &text, QMessageBox::StandardButtons buttons = QMessageBox::Ok)
{
    auto *box = new QMessageBox(QMessageBox::NoIcon, programTitle(), text, buttons, windowOf(owner));
    box->setAttribute(Qt::WA_DeleteOnClose);
    return box;
}
} // namespace

namespace {
bool g_ending = false;
} // namespace

void setEnding() { g_ending = true; }

bool ending() { return g_ending; }

void closeModalWindows()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *dialog = qobject_cast<QDialog *>(w); dialog && dialog->isVisible())
            dialog->reject();
}

void QtMessageService::inform(QObject *owner, const QString &text)
{
    if (!g_ending)
        makeBox(owner, text)->exec();
}

void QtMessageService::notify(QObject *owner, const QString &text)
{
    auto *box = makeBox(owner, text);
    box->setModal(false);
    box->show();
}

bool QtMessageService::ask(QObject *owner, const QString &question)
{
    if (g_ending)
        return false;
    QMessageBox *box = makeBox(owner, question, QMessageBox::Yes | QMessageBox::No);
    box->setDefaultButton(QMessageBox::No);
    box->setEscapeButton(QMessageBox::No);
    return box->exec() == QMessageBox::Yes;
}

void QtModalRunner::run(QDialog *dialog)
{
    if (g_ending)
        return;
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->exec();
}

QString QtFileChooser::openFile(QObject *owner, const QString &title, const QString &start, const QString &filter)
{
    return QFileDialog::getOpenFileName(windowOf(owner), title, start, filter);
}

QString QtFileChooser::saveFile(QObject *owner, const QString &title, const QString &suggested,
                                const QString &filter)
{
    return QFileDialog::getSaveFileName(windowOf(owner), title, suggested, filter);
}

} // namespace ui
