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

// Message boxes: OK button only, no icon, the program title as caption.
class MessageService {
public:
    virtual ~MessageService() = default;
    // Waits until the user has pressed OK.
    virtual void inform(QObject *owner, const QString &text) = 0;
    // Shows the message and returns at once, for timer ticks and serial
    // notifications that must not block.
    virtual void notify(QObject *owner, const QString &text) = 0;
};

// Asks the user for a file.
class FileChooser {
public:
    virtual ~FileChooser() = default;
    // A file to read; "" when the user cancelled. `filter` as Qt's file
    // dialogs take it ("Certificates (*.crt *.pem)").
    virtual QString openFile(QObject *owner, const QString &title, const QString &start,
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
