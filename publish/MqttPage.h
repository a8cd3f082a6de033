// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The MQTT page of the Options window: edits "mqtt.cfg" and shows the state
// of the connection as it changes.
// The password is never shown back: its entry stays empty, and saving with
// it empty keeps the stored one, unless the host changed: a password is not
// sent to a host it was not typed for.

#include "core/Mqtt.h"
#include "ui/Options.h"
#include "ui/Services.h"

#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace publish {

class Publisher;

class MqttPage : public ui::OptionsPage {
    Q_OBJECT
public:
    // `publisher` (may be null) gives the connection state shown.
    MqttPage(const ui::Services &services, Publisher *publisher, QWidget *parent = nullptr);

    void Form_Load() override;
    // Checks the entries; tells what is wrong and saves nothing.
    bool check() override;
    // Checks, then writes "mqtt.cfg".
    bool save() override;
    // Picks the CA file through the file chooser.
    void CaFileButton_Click();

    QCheckBox *MqttOn, *Tls, *Discovery;
    QLineEdit *Host, *Port, *User, *Password, *CaFile, *ClientId, *TopicPrefix, *DiscoveryPrefix, *Interval;
    QLabel *Status;
    QPushButton *CaFileButton;

private:
    // The settings the entries hold, or none after the message.
    std::optional<core::MqttSettings> read();
    bool hostChanged() const;
    // The password entry's hint: whether the stored one is kept.
    void showPasswordHint();

    ui::Services m_services;
    core::MqttSettings m_stored;
};

} // namespace publish
