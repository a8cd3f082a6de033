// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The serial-port control seam. Windows talk to a SerialPort; the program uses
// QtSerialPortControl, tests a fake.

#include <QByteArray>
#include <QObject>
#include <QString>

namespace ui {

class SerialPort : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~SerialPort() override = default;

    virtual void setPortNumber(int number) { m_portNumber = number; }
    int portNumber() const { return m_portNumber; }
    // "4800,N,8,1"; false when the text cannot be applied.
    virtual bool setSettings(const QString &settings);
    QString settings() const { return m_settings; }
    // 0 = every read returns all waiting characters.
    void setReadLength(int length) { m_readLength = length; }
    int readLength() const { return m_readLength; }

    virtual bool open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual QByteArray readAll() = 0;
    // The device open() would use now, links followed; empty when there is
    // none (the port's entry is missing or dangling). A port that does not
    // know its devices returns its opened device, so it never looks moved.
    virtual QString currentDevice() const { return m_openedDevice; }
    // The system's device that stands in for the port because the program
    // folder has no "COMn" entry (/dev/ttyS0 for port 1 on Linux); empty
    // while the entry is the port's device, or for a port without entries.
    virtual QString systemDevice() const { return QString(); }
    // The device the port was last opened on, links followed.
    QString openedDevice() const { return m_openedDevice; }
    // Sets the count of waiting characters to 0. Characters that arrive after
    // the last readAll() are kept for the next notification.
    virtual void clearInput() = 0;

signals:
    // Characters are waiting (or another event of the line happened).
    void received();
    // The device went away while open; the port has already been closed.
    void linkLost();

protected:
    int m_portNumber = 1;
    QString m_settings = QStringLiteral("9600,N,8,1");
    int m_readLength = 0;
    QString m_openedDevice;
};

// Parses "4800,N,8,1" into its parts; false when malformed.
struct LineSettings {
    int baud = 0;
    char parity = 'N';
    int dataBits = 8;
    int stopBits = 1;
};
bool parseLineSettings(const QString &text, LineSettings *out);

// The device a port number falls back to when the program folder has no
// "COMn" entry: /dev/ttyS(n-1) on Linux and COMn on Windows.
QString systemDeviceForPort(int number);

} // namespace ui
