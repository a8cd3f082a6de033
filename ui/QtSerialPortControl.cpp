// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtSerialPortControl.h"

#include "ProgramFolder.h"

#include <QFileInfo>
#include <QSerialPort>
#include <QTimer>

namespace ui {

QtSerialPortControl::QtSerialPortControl(QString programFolder, QObject *parent,
                                         std::function<QString(int)> fallback)
    : SerialPort(parent), m_programFolder(std::move(programFolder)), m_fallback(std::move(fallback)),
      m_port(new QSerialPort(this))
{
    connect(m_port, &QSerialPort::readyRead, this, &SerialPort::received);
    connect(m_port, &QSerialPort::errorOccurred, this, &QtSerialPortControl::onError);
}

QtSerialPortControl::~QtSerialPortControl() = default;

QString QtSerialPortControl::entryPath() const
{
#ifdef Q_OS_WIN
    // There "COM1" names the port itself in every folder, so the program
    // folder holds no entries: port n is the system's COMn.
    return QString();
#else
    return ProgramFolder(m_programFolder).portEntry(m_portNumber);
#endif
}

QString QtSerialPortControl::currentDevice() const
{
    const QFileInfo entry(entryPath());
    if (entry.exists()) // follows links; a dangling link does not exist
        return entry.canonicalFilePath();
    if (entry.isSymLink() || m_viaEntry.contains(m_portNumber))
        return QString();
    return m_fallback ? m_fallback(m_portNumber) : QString();
}

QString QtSerialPortControl::systemDevice() const
{
    const QFileInfo entry(entryPath());
    if (entry.exists() || entry.isSymLink() || m_viaEntry.contains(m_portNumber) || !m_fallback)
        return QString();
    return m_fallback(m_portNumber);
}

bool QtSerialPortControl::open()
{
    if (m_port->isOpen())
        return false;
    LineSettings s;
    if (!parseLineSettings(m_settings, &s))
        return false;
    const QString device = currentDevice();
    if (device.isEmpty())
        return false;
    m_port->setPortName(device);
    m_port->setBaudRate(s.baud);
    m_port->setDataBits(static_cast<QSerialPort::DataBits>(s.dataBits));
    switch (s.parity) {
    case 'E': m_port->setParity(QSerialPort::EvenParity); break;
    case 'O': m_port->setParity(QSerialPort::OddParity); break;
    case 'M': m_port->setParity(QSerialPort::MarkParity); break;
    case 'S': m_port->setParity(QSerialPort::SpaceParity); break;
    default: m_port->setParity(QSerialPort::NoParity); break;
    }
    m_port->setStopBits(s.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    if (!m_port->open(QIODevice::ReadWrite))
        return false;
    m_port->clearError();
    m_linked = true;
    m_openedDevice = device;
    if (QFileInfo::exists(entryPath()) && !m_viaEntry.contains(m_portNumber))
        m_viaEntry.append(m_portNumber);
    return true;
}

void QtSerialPortControl::close()
{
    m_linked = false;
    if (m_port->isOpen())
        m_port->close();
}

bool QtSerialPortControl::isOpen() const { return m_port->isOpen(); }

QByteArray QtSerialPortControl::readAll() { return m_port->isOpen() ? m_port->readAll() : QByteArray(); }

void QtSerialPortControl::clearInput()
{
    // readAll() has already taken every waiting character. Flushing the
    // driver's queue here as well would throw away whatever arrived since.
}

void QtSerialPortControl::onError()
{
    const auto e = m_port->error();
    if (e == QSerialPort::NoError || e == QSerialPort::UnsupportedOperationError || e == QSerialPort::TimeoutError
        || !m_linked)
        return;
    // Qt may already have closed the port itself (a resource error); either
    // way the link is gone and is reported once.
    m_linked = false;
    m_port->clearError();
    if (m_port->isOpen())
        m_port->close();
    // Let the handler that is running (a read inside errorOccurred) finish first.
    QTimer::singleShot(0, this, &SerialPort::linkLost);
}

} // namespace ui
