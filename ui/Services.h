// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The seams a window is built with: program folder, clock, message boxes,
// file choosers, modal windows and serial ports. main() passes the real ones, tests fakes.

#include "Clock.h"
#include "SerialPort.h"

#include <QString>
#include <functional>
#include <memory>

class QDialog;
class QObject;

namespace ui {

// Message boxes: no icon, the program title as caption, shown over the window
// `owner` is or lies in (none: over no window).
class MessageService {
public:
    virtual ~MessageService() = default;
    // OK button only; waits until the user has pressed it.
    virtual void inform(QObject *owner, const QString &text) = 0;
    // OK button only; shows the message and returns at once, for timer ticks
    // and serial notifications that must not block.
    virtual void notify(QObject *owner, const QString &text) = 0;
    // Yes and No buttons, No the default; waits for the answer and returns
    // true for Yes. Closing the box is No.
    virtual bool ask(QObject *owner, const QString &question) = 0;
};

// Asks the user for a file.
class FileChooser {
public:
    virtual ~FileChooser() = default;
    // A file to read; "" when the user cancelled. `filter` as Qt's file
    // dialogs take it ("Certificates (*.crt *.pem)").
    virtual QString openFile(QObject *owner, const QString &title, const QString &start,
                             const QString &filter) = 0;
    // A file to write; "" when the user cancelled. `suggested` is a full
    // path; the chooser asks before an existing file is replaced.
    virtual QString saveFile(QObject *owner, const QString &title, const QString &suggested,
                             const QString &filter) = 0;
};

// Runs a window modally, owned by `parent`, and returns when it has closed.
class ModalRunner {
public:
    virtual ~ModalRunner() = default;
    virtual void run(QDialog *dialog) = 0;
};

struct Services {
    QString programFolder;
    Clock *clock = nullptr;
    MessageService *messages = nullptr;
    ModalRunner *modal = nullptr;
    FileChooser *files = nullptr;
    // Makes a serial-port control; the window owns what it returns.
    std::function<std::unique_ptr<SerialPort>()> makePort;
};

// The program title used in message boxes and the waiting title.
inline QString programTitle() { return QStringLiteral("Veldra"); }

} // namespace ui
