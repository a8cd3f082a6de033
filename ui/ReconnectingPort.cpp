// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReconnectingPort.h"

#include <QTimer>

namespace ui {

ReconnectingPort::ReconnectingPort(std::unique_ptr<SerialPort> port, QObject *parent)
    : QObject(parent), m_port(std::move(port)), m_retry(new QTimer(this))
{
    m_retry->setObjectName(QStringLiteral("RetryTimer"));
    m_retry->setInterval(kRetryMs);
    connect(m_retry, &QTimer::timeout, this, &ReconnectingPort::onRetry);
    connect(m_port.get(), &SerialPort::linkLost, this, &ReconnectingPort::onLinkLost);
}

ReconnectingPort::~ReconnectingPort()
{
    m_retry->stop();
    m_port->close();
}

bool ReconnectingPort::open(std::optional<int> number)
{
    // A number that cannot be read opens nothing rather than the previous port.
    m_port->close();
    m_numberUsable = number.has_value();
    if (number)
        m_port->setPortNumber(*number);
    bool ok = m_port->setSettings(QStringLiteral("4800,N,8,1")) && m_numberUsable;
    m_port->setReadLength(0);
    if (!m_numberUsable) {
        m_retry->stop();
        setState(PortState::NoPortNumber);
        return false;
    }
    return tryOpen() && ok;
}

bool ReconnectingPort::reopen()
{
    if (!m_numberUsable) {
        setState(PortState::NoPortNumber);
        return false;
    }
    m_port->close();
    return tryOpen();
}

void ReconnectingPort::pause()
{
    m_retry->stop();
    m_port->close();
    setState(PortState::Paused);
}

bool ReconnectingPort::tryOpen()
{
    // The timer runs while open too: it notices the device being replaced.
    m_retry->start();
    if (!m_port->open()) {
        setState(PortState::Away);
        return false;
    }
    setState(PortState::Open);
    emit opened();
    return true;
}

void ReconnectingPort::onLinkLost()
{
    if (m_state == PortState::Open)
        setState(PortState::Away);
}

void ReconnectingPort::onRetry()
{
    switch (m_state) {
    case PortState::Open:
        // A link re-pointed, or an entry that appeared where the system's
        // device was used: follow it.
        if (m_port->isOpen() && m_port->currentDevice() == m_port->openedDevice())
            return;
        m_port->close();
        tryOpen();
        return;
    case PortState::Away: tryOpen(); return;
    case PortState::Paused:
    case PortState::NoPortNumber: m_retry->stop(); return;
    }
}

void ReconnectingPort::setState(PortState state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged(state);
}

} // namespace ui
