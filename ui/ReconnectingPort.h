// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A serial port that keeps itself connected: the open sequence, the lost link
// and the retry every 2 seconds, for every window that reads the unit.

#include "SerialPort.h"

#include <QObject>
#include <memory>
#include <optional>

class QTimer;

namespace ui {

enum class PortState {
    Open,
    Away,         // not open; tried again every retry period
    Paused,       // another window holds the port
    NoPortNumber, // the port number cannot be read; nothing is tried
};

class ReconnectingPort : public QObject {
    Q_OBJECT
public:
    static constexpr int kRetryMs = 2000;

    explicit ReconnectingPort(std::unique_ptr<SerialPort> port, QObject *parent = nullptr);
    ~ReconnectingPort() override;

    SerialPort *port() const { return m_port.get(); }
    PortState state() const { return m_state; }
    QTimer *retryTimer() const { return m_retry; }

    // Port number (nullopt when the setting cannot be read), "4800,N,8,1",
    // read length 0, open. Every step is attempted; false when any failed.
    bool open(std::optional<int> number);
    // Opens again with the number and line settings it had.
    bool reopen();
    // Closes the port and tries nothing until open() or reopen().
    void pause();

signals:
    void stateChanged(ui::PortState state);
    // The port has been (re)opened: a partial frame from before means nothing.
    void opened();

private:
    bool tryOpen();
    void onLinkLost();
    void onRetry();
    void setState(PortState state);

    std::unique_ptr<SerialPort> m_port;
    QTimer *m_retry;
    PortState m_state = PortState::Paused;
    bool m_numberUsable = false;
};

} // namespace ui
