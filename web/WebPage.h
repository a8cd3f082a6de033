// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Web page of the Options window: edits "web.cfg" and shows what the
// server is doing. The password is never shown, nor stored: saving hashes
// what was typed; an empty entry keeps the stored hash.

#include "core/Web.h"
#include "ui/Options.h"
#include "ui/Services.h"

#include <optional>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace web {

class WebServer;

class WebPage : public ui::OptionsPage {
    Q_OBJECT
public:
    // `server` (may be null) gives the state shown.
    WebPage(const ui::Services &services, WebServer *server, QWidget *parent = nullptr);

    void Form_Load() override;
    bool check() override;
    // Checks, hashes a typed password, then writes "web.cfg".
    bool save() override;
    void CertButton_Click();
    void KeyButton_Click();

    QCheckBox *WebOn, *Network, *AskPassword, *Tls;
    QLineEdit *Port, *Password, *Names, *TlsCert, *TlsKey;
    QLabel *Status;
    QPushButton *CertButton, *KeyButton;

private:
    // The settings the entries hold (the stored hash kept), or none after
    // the message.
    std::optional<core::WebSettings> read();
    void choose(QLineEdit *entry, const QString &title);
    void showPasswordHint();

    ui::Services m_services;
    core::WebSettings m_stored;
};

} // namespace web
