// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The services as the desktop shows them: Qt's message boxes and modal windows.

#include "Services.h"

namespace ui {

// The program is ending (SIGTERM, SIGINT): the windows and boxes open now
// are closed, and no new one waits for a person.
void setEnding();
bool ending();
void closeModalWindows();

class QtMessageService : public MessageService {
public:
    void inform(QObject *owner, const QString &text) override;
    void notify(QObject *owner, const QString &text) override;
    bool ask(QObject *owner, const QString &question) override;
};

class QtModalRunner : public ModalRunner {
public:
    void run(QDialog *dialog) override;
};

class QtFileChooser : public FileChooser {
public:
    QString openFile(QObject *owner, const QString &title, const QString &start, const QString &filter) override;
    QString saveFile(QObject *owner, const QString &title, const QString &suggested,
                     const QString &filter) override;
};

} // namespace ui
