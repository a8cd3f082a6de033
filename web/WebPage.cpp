// SPDX-License-Identifier: GPL-3.0-or-later
#include "WebPage.h"

#include "WebPassword.h"
#include "WebServer.h"
#include "WebSettingsFile.h"
#include "ui/Controls.h"
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

namespace web {

namespace {
const ui::PageRows kRows;

QPushButton *chooser(QWidget *parent, const char *name, int r, const QString &tip)
{
    QPushButton *b = ui::button(parent, QLatin1String(name), QStringLiteral("..."));
    b->setGeometry(kRows.entryLeft + kRows.entryWidth - 26, kRows.rowTop(r), 26, 20);
    b->setToolTip(tip);
    return b;
}

std::string text(const QLineEdit *e) { return e->text().trimmed().toStdString(); }
std::string local(const QLineEdit *e) { return e->text().trimmed().toLocal8Bit().toStdString(); }
QString shown(const std::string &s) { return QString::fromStdString(s); }
} // namespace

WebPage::WebPage(const ui::Services &services, WebServer *server, QWidget *parent)
    : ui::OptionsPage(parent), m_services(services)
{
    setObjectName(QStringLiteral("WebPage"));
    setMinimumSize(420, kRows.rowTop(10) + 4 + 56 + 6);
    ui::setColours(this, ui::darkGreen(), ui::brightGreen());

    WebOn = kRows.tickBox(this, "WebOn", QStringLiteral("Serve values, stream and metrics"), 0);
    Port = kRows.entry(this, "Port", QStringLiteral("Port"), 1, 60);
    ui::greenLabel(this, QStringLiteral("LabelNetwork"), QStringLiteral("Network"))
        ->setGeometry(8, kRows.rowTop(2), kRows.entryLeft - 12, 20);
    Network = kRows.tickBox(this, "Network", QStringLiteral("Other devices may connect"), 2);
    Network->setToolTip(QStringLiteral("Other devices on the network may connect (with the password); "
                                       "otherwise only this computer"));
    AskPassword = kRows.tickBox(this, "AskPassword", QStringLiteral("Ask for a password"), 3);
    Password = kRows.entry(this, "Password", QStringLiteral("Password"), 4);
    Password->setEchoMode(QLineEdit::Password);
    Names = kRows.entry(this, "Names", QStringLiteral("Also reached as"), 5);
    Names->setPlaceholderText(QStringLiteral("names or addresses, e.g. turbine.lan"));
    Tls = kRows.tickBox(this, "Tls", QStringLiteral("TLS (https)"), 6);
    TlsCert = kRows.entry(this, "TlsCert", QStringLiteral("Certificate file"), 7, kRows.entryWidth - 30);
    CertButton = chooser(this, "CertButton", 7, QStringLiteral("Choose the certificate file"));
    TlsKey = kRows.entry(this, "TlsKey", QStringLiteral("Key file"), 8, kRows.entryWidth - 30);
    KeyButton = chooser(this, "KeyButton", 8, QStringLiteral("Choose the key file"));
    connect(CertButton, &QPushButton::clicked, this, &WebPage::CertButton_Click);
    connect(KeyButton, &QPushButton::clicked, this, &WebPage::KeyButton_Click);
    // Other devices are let in with a password only.
    connect(Network, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            AskPassword->setChecked(true);
    });
    connect(AskPassword, &QCheckBox::toggled, this, [this](bool on) {
        if (!on)
            Network->setChecked(false);
    });

    Status = ui::greenLabel(this, QStringLiteral("Status"), QString());
    Status->setWordWrap(true);
    Status->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Status->setGeometry(8, kRows.rowTop(10) + 4, 404, 56);
    if (server) {
        Status->setText(server->statusText());
        connect(server, &WebServer::statusChanged, Status, &QLabel::setText);
    }
    Form_Load();
}

void WebPage::Form_Load()
{
    m_stored = readWebSettingsFile(ui::ProgramFolder(m_services.programFolder).webSettings());
    const core::WebSettings &s = m_stored;
    WebOn->setChecked(s.on);
    Port->setText(shown(s.port));
    AskPassword->setChecked(s.askPassword);
    Network->setChecked(s.network);
    Password->clear();
    Names->setText(shown(s.names));
    Tls->setChecked(s.tls);
    TlsCert->setText(QString::fromLocal8Bit(s.tlsCert.c_str()));
    TlsKey->setText(QString::fromLocal8Bit(s.tlsKey.c_str()));
    showPasswordHint();
}

void WebPage::showPasswordHint()
{
    Password->setPlaceholderText(core::readPasswordHash(m_stored.passwordHash)
                                     ? QStringLiteral("(stored; type to replace)")
                                     : QString());
}

void WebPage::choose(QLineEdit *entry, const QString &title)
{
    if (!m_services.files)
        return;
    const QString current = entry->text().trimmed();
    const QString chosen =
        m_services.files->openFile(this, title, current.isEmpty() ? QDir::homePath() : current,
                                   QStringLiteral("PEM files (*.pem *.crt *.key);;All files (*)"));
    if (!chosen.isEmpty())
        entry->setText(QDir::toNativeSeparators(chosen));
}

void WebPage::CertButton_Click() { choose(TlsCert, QStringLiteral("Certificate file")); }

void WebPage::KeyButton_Click() { choose(TlsKey, QStringLiteral("Key file")); }

std::optional<core::WebSettings> WebPage::read()
{
    core::WebSettings s = m_stored;
    s.on = WebOn->isChecked();
    s.port = text(Port);
    s.network = Network->isChecked();
    s.askPassword = AskPassword->isChecked();
    s.names = text(Names);
    s.tls = Tls->isChecked();
    s.tlsCert = local(TlsCert);
    s.tlsKey = local(TlsKey);
    if (const auto fault = webSettingsFault(s, !Password->text().isEmpty())) {
        m_services.messages->inform(this, *fault);
        return std::nullopt;
    }
    return s;
}

bool WebPage::check() { return read().has_value(); }

bool WebPage::save()
{
    auto s = read();
    if (!s)
        return false;
    if (const auto why = storeWebSettings(ui::ProgramFolder(m_services.programFolder).webSettings(), *s,
                                          Password->text().toStdString(), &*s)) {
        m_services.messages->inform(this, *why);
        return false;
    }
    m_stored = *s;
    Password->clear();
    showPasswordHint();
    return true;
}

} // namespace web
