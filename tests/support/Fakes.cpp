// SPDX-License-Identifier: GPL-3.0-or-later
#include "Fakes.h"

#include <QDialog>
#include <memory>

namespace testsupport {

bool FakeSerialPort::open()
{
    ++m_openCalls;
    if (m_failOpen || m_open)
        return false;
    m_open = true;
    m_openedPorts.append(m_portNumber);
    m_openedDevice = m_device;
    return true;
}

QByteArray FakeSerialPort::readAll()
{
    QByteArray out;
    out.swap(m_waiting);
    return out;
}

void FakeSerialPort::feed(const QByteArray &bytes)
{
    if (!m_open)
        return;
    m_waiting += bytes;
    emit received();
}

void FakeSerialPort::loseLink()
{
    if (!m_open)
        return;
    m_open = false;
    emit linkLost();
}

void ScriptedModalRunner::run(QDialog *dialog)
{
    ++runs;
    if (onRun)
        onRun(dialog);
    if (dialog->isVisible())
        dialog->close();
}

FakeServices::FakeServices(const QString &f) : folder(f) { }

ui::Services FakeServices::services()
{
    ui::Services s;
    s.programFolder = folder;
    s.clock = &clock;
    s.messages = &messages;
    s.modal = &modal;
    s.files = &files;
    s.makePort = [this]() {
        auto port = std::make_unique<FakeSerialPort>();
        port->setFailOpen(failOpen);
        ports.push_back(port.get());
        return std::unique_ptr<ui::SerialPort>(std::move(port));
    };
    return s;
}

} // namespace testsupport
