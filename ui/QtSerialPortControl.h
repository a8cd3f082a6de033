// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "SerialPort.h"

#include <QList>
#include <functional>

class QSerialPort;

namespace ui {

// The real serial port, over QSerialPort. A port that reports an error while
// open (other than a time-out or an unsupported operation) has lost its
// device: it is closed at once and linkLost() is raised, so a vanished device
// never turns into a storm of errors.
//
// Port number n is the entry "COMn" in the program folder when it exists
// (usually a link to /dev/ttyUSB0 or a pseudo-terminal), otherwise the
// system's device for n. Once a port has been opened through its entry, that
// entry stays its device: while the entry is missing or dangling the device
// is away, rather than some other device that happens to be there.
class QtSerialPortControl : public SerialPort {
    Q_OBJECT
public:
    explicit QtSerialPortControl(QString programFolder, QObject *parent = nullptr,
                                 std::function<QString(int)> fallback = systemDeviceForPort);
    ~QtSerialPortControl() override;

    bool open() override;
    void close() override;
    bool isOpen() const override;
    QByteArray readAll() override;
    void clearInput() override;
    QString currentDevice() const override;
    QString systemDevice() const override;

private:
    void onError();
    QString entryPath() const;
    QString m_programFolder;
    std::function<QString(int)> m_fallback;
    // Port numbers that have been opened through their entry.
    QList<int> m_viaEntry;
    QSerialPort *m_port;
    // Open as far as the window knows; cleared when the link is lost.
    bool m_linked = false;
};

} // namespace ui
