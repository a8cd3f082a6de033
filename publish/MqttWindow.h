#pragma once
// The MQTT window: edits "mqtt.cfg" and shows the state of the connection.
// The password is never shown back: its entry stays empty, and saving with
// it empty keeps the stored one, unless the host changed: a password is not
// sent to a host it was not typed for.

#include "core/Mqtt.h"
#include "ui/Services.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace publish {

class Publisher;

class MqttWindow : public QDialog {
    Q_OBJECT
public:
    // `publisher` (may be null) gives the connection state shown.
    MqttWindow(const ui::Services &services, Publisher *publisher, QWidget *parent = nullptr);

    void Form_Load();
    // Checks the entries; writes "mqtt.cfg" and closes, or tells what is wrong
    // and saves nothing.
    void Save_Click();
    // Picks the CA file through the file chooser.
    void CaFileButton_Click();

    QCheckBox *MqttOn, *Tls, *Discovery;
    QLineEdit *Host, *Port, *User, *Password, *CaFile, *ClientId, *TopicPrefix, *DiscoveryPrefix, *Interval;
    QLabel *Status;
    QPushButton *Save, *CaFileButton;

private:
    bool hostChanged() const;
    // The password entry's hint: whether the stored one is kept.
    void showPasswordHint();

    ui::Services m_services;
    core::MqttSettings m_stored;
};

} // namespace publish
