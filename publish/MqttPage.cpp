// SPDX-License-Identifier: GPL-3.0-or-later
#include "MqttPage.h"

#include "MqttSettingsFile.h"
#include "Publisher.h"
#include "ui/Controls.h"
#include "ui/Files.h"
#include "ui/Notices.h"
#include "ui/ProgramFolder.h"
#include "ui/Twips.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>

namespace publish {

namespace {
const ui::PageRows kRows;

QString shown(const std::string &s) { return QString::fromStdString(s); }
} // namespace

MqttPage::MqttPage(const ui::Services &services, Publisher *publisher, QWidget *parent)
    : ui::OptionsPage(parent), m_services(services)
{
    setObjectName(QStringLiteral("MqttPage"));
    // The least size: the page fills the room the largest page needs.
    setMinimumSize(420, kRows.rowTop(12) + 4 + 56 + 6);
    ui::setColours(this, ui::darkGreen(), ui::brightGreen());

    MqttOn = kRows.tickBox(this, "MqttOn", QStringLiteral("Publish to an MQTT broker"), 0);
    Host = kRows.entry(this, "Host", QStringLiteral("Broker host"), 1);
    Port = kRows.entry(this, "Port", QStringLiteral("Port"), 2, 60);
    User = kRows.entry(this, "User", QStringLiteral("User name"), 3);
    Password = kRows.entry(this, "Password", QStringLiteral("Password"), 4);
    Password->setEchoMode(QLineEdit::Password);
    Tls = kRows.tickBox(this, "Tls", QStringLiteral("TLS (encrypted)"), 5);
    CaFile = kRows.entry(this, "CaFile", QStringLiteral("CA file"), 6, kRows.entryWidth - 30);
    CaFileButton = ui::button(this, QStringLiteral("CaFileButton"), QStringLiteral("..."));
    CaFileButton->setGeometry(kRows.entryLeft + kRows.entryWidth - 26, kRows.rowTop(6), 26, 20);
    CaFileButton->setToolTip(QStringLiteral("Choose the CA file"));
    connect(CaFileButton, &QPushButton::clicked, this, &MqttPage::CaFileButton_Click);
    ClientId = kRows.entry(this, "ClientId", QStringLiteral("Client id"), 7);
    TopicPrefix = kRows.entry(this, "TopicPrefix", QStringLiteral("Topic prefix"), 8);
    Discovery = kRows.tickBox(this, "Discovery", QStringLiteral("Home automation discovery"), 9);
    DiscoveryPrefix = kRows.entry(this, "DiscoveryPrefix", QStringLiteral("Discovery prefix"), 10);
    Interval = kRows.entry(this, "Interval", QStringLiteral("Seconds between values"), 11, 60);

    Status = ui::greenLabel(this, QStringLiteral("Status"), QString());
    Status->setWordWrap(true);
    Status->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Status->setGeometry(8, kRows.rowTop(12) + 4, 404, 56);
    if (publisher) {
        Status->setText(publisher->statusText());
        connect(publisher, &Publisher::statusChanged, Status, &QLabel::setText);
    }
    connect(Host, &QLineEdit::textChanged, this, &MqttPage::showPasswordHint);

    Form_Load();
}

void MqttPage::Form_Load()
{
    const QString file = ui::ProgramFolder(m_services.programFolder).mqttSettings();
    m_stored = readMqttSettingsFile(file);
    showFormValues(core::mqttValues(m_stored), false);
    CaFile->setText(QString::fromLocal8Bit(m_stored.caFile.c_str()));
    ClientId->setPlaceholderText(shown(core::defaultClientId(hostName())));
    TopicPrefix->setPlaceholderText(QStringLiteral("veldra/<client id>"));
    showPasswordHint();
}

bool MqttPage::hostChanged() const
{
    return Host->text().trimmed().compare(shown(m_stored.host).trimmed(), Qt::CaseInsensitive) != 0;
}

void MqttPage::showPasswordHint()
{
    QString hint;
    if (!m_stored.password.empty())
        hint = hostChanged() ? QStringLiteral("(stored one dropped: new host; type it)")
                             : QStringLiteral("(stored; type to replace)");
    Password->setPlaceholderText(hint);
    Password->setToolTip(!m_stored.password.empty() && hostChanged()
                             ? QStringLiteral("The stored password is not sent to a new host. Type the "
                                              "password for this host, or leave it empty for none.")
                             : QString());
}

void MqttPage::CaFileButton_Click()
{
    if (!m_services.files)
        return;
    const QString current = CaFile->text().trimmed();
    const QString chosen = m_services.files->openFile(
        this, QStringLiteral("CA file"), current.isEmpty() ? QStringLiteral("/etc/ssl/certs") : current,
        QStringLiteral("Certificates (*.crt *.pem *.cer);;All files (*)"));
    if (!chosen.isEmpty())
        CaFile->setText(QDir::toNativeSeparators(chosen));
}

std::optional<core::MqttSettings> MqttPage::read()
{
    core::FormValues v = formValues(core::mqttFields(), false);
    v["CaFile"] = ui::toLocal(CaFile->text());
    core::MqttSettings s;
    if (const auto problem = core::readMqttValues(v, m_stored, s)) {
        tellProblem(*problem, *m_services.messages, false);
        return std::nullopt;
    }
    if (const auto fault = mqttFileFault(s)) {
        m_services.messages->inform(this, *fault);
        return std::nullopt;
    }
    return s;
}

bool MqttPage::check() { return read().has_value(); }

bool MqttPage::save()
{
    const auto s = read();
    if (!s)
        return false;
    const QString file = ui::ProgramFolder(m_services.programFolder).mqttSettings();
    if (!writeMqttSettingsFile(file, *s)) {
        m_services.messages->inform(this, ui::cannotSave(file));
        return false;
    }
    // Saved again while the window stays open (a later page failed), an
    // empty password entry keeps what was just saved.
    m_stored = *s;
    showPasswordHint();
    return true;
}

} // namespace publish
