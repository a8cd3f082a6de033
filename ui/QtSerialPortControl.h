#pragma once

#include "SerialPort.h"

class QSerialPort;

namespace ui {

// The real serial port, over QSerialPort. A port that reports an error while
// open (other than a time-out or an unsupported operation) has lost its
// device: it is closed at once and linkLost() is raised, so a vanished device
// never turns into a storm of errors.
class QtSerialPortControl : public SerialPort {
    Q_OBJECT
public:
    explicit QtSerialPortControl(QString programFolder, QObject *parent = nullptr);
    ~QtSerialPortControl() override;

    bool open() override;
    void close() override;
    bool isOpen() const override;
    QByteArray readAll() override;
    void clearInput() override;

private:
    void onError();
    QString m_programFolder;
    QSerialPort *m_port;
    // Open as far as the window knows; cleared when the link is lost.
    bool m_linked = false;
};

} // namespace ui
