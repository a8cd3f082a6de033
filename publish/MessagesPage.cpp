// SPDX-License-Identifier: GPL-3.0-or-later
#include "MessagesPage.h"

#include "MessageSettingsFile.h"
#include "Messenger.h"
#include "core/Forms.h"
#include "ui/Controls.h"
#include "ui/Notices.h"
#include "ui/ProgramFolder.h"
#include "ui/Twips.h"

#include <QCheckBox>
#include <QDir>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace publish {

MessagesPage::MessagesPage(const ui::Services &services, Messenger *messenger, QWidget *parent)
    : ui::OptionsPage(parent), m_services(services), m_messenger(messenger)
{
    setObjectName(QStringLiteral("MessagesPage"));
    ui::setColours(this, ui::darkGreen(), ui::brightGreen());
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    auto *scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("Scroll"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    layout->addWidget(scroll, 1);
    m_form = new QWidget;
    ui::setColours(m_form, ui::darkGreen(), ui::brightGreen());
    scroll->setWidget(m_form);
    Status = ui::greenLabel(this, QStringLiteral("Status"), QString());
    Status->setWordWrap(true);
    layout->addWidget(Status);
    if (m_messenger)
        connect(m_messenger, &Messenger::statusChanged, this, &MessagesPage::showStatus);
    Form_Load();
}

void MessagesPage::Form_Load()
{
    m_stored = readMessageSettingsFile(ui::ProgramFolder(m_services.programFolder).messageSettings());
    // The rows follow the channels: made anew.
    delete m_grid;
    qDeleteAll(m_form->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly));
    m_grid = new QGridLayout(m_form);
    m_grid->setContentsMargins(4, 4, 4, 4);
    m_grid->setVerticalSpacing(4);
    int row = 0;
    for (const core::FormField &f : core::messageFields(m_stored)) {
        const QString key = QString::fromStdString(f.key);
        const QString label = QString::fromStdString(f.label);
        if (f.kind == core::FormField::Kind::Tick) {
            m_grid->addWidget(ui::greenTickBox(m_form, key, label), row++, 0, 1, 3);
            continue;
        }
        m_grid->addWidget(ui::greenLabel(m_form, QStringLiteral("Label") + key, label), row, 0);
        QLineEdit *entry = ui::greenEntry(m_form, key);
        entry->setMinimumWidth(140);
        if (f.kind == core::FormField::Kind::Secret)
            entry->setEchoMode(QLineEdit::Password);
        m_grid->addWidget(entry, row, 1);
        QLabel *unit = ui::greenLabel(m_form, QStringLiteral("Unit") + key, QString::fromStdString(f.unit));
        unit->setWordWrap(true);
        unit->setMaximumWidth(120);
        m_grid->addWidget(unit, row++, 2);
        // Each channel ends with its test.
        if (key.startsWith(QLatin1String("Channel")) && key.endsWith(QLatin1String("Chat"))) {
            const int channel = key.mid(7, key.size() - 11).toInt();
            QPushButton *send = ui::button(m_form, QStringLiteral("Test%1").arg(channel), QStringLiteral("Send a test message"));
            QLabel *answer = ui::greenLabel(m_form, QStringLiteral("Answer%1").arg(channel), QString());
            answer->setWordWrap(true);
            m_grid->addWidget(send, row, 1);
            m_grid->addWidget(answer, row++, 2);
            connect(send, &QPushButton::clicked, this, [this, channel] { test(channel); });
        }
    }
    m_grid->setColumnStretch(2, 1);
    showFormValues(core::messageValues(m_stored), false);
    for (size_t i = 0; i < m_stored.channels.size(); ++i)
        for (const char *secret : {"Password", "Token"})
            if (auto *e = m_form->findChild<QLineEdit *>(QString::fromStdString(core::channelKey(i, secret))))
                if (!(m_stored.channels[i].*(std::string_view(secret) == "Password" ? &core::MessageChannel::password
                                                                                     : &core::MessageChannel::token))
                         .empty())
                    e->setPlaceholderText(QStringLiteral("(stored; type to replace)"));
    showStatus();
}

std::optional<core::MessageSettings> MessagesPage::read(bool tell)
{
    core::MessageSettings s;
    if (const auto problem = core::readMessageValues(formValues(core::messageFields(m_stored), false), m_stored, s)) {
        if (tell)
            tellProblem(*problem, *m_services.messages, false);
        return std::nullopt;
    }
    if (const auto fault = messageFileFault(s)) {
        if (tell)
            m_services.messages->inform(this, *fault);
        return std::nullopt;
    }
    return s;
}

bool MessagesPage::check() { return read(true).has_value(); }

bool MessagesPage::save()
{
    const auto s = read(true);
    if (!s)
        return false;
    const QString path = ui::ProgramFolder(m_services.programFolder).messageSettings();
    if (!writeMessageSettingsFile(path, *s)) {
        m_services.messages->inform(this, ui::cannotSave(path));
        return false;
    }
    Form_Load();
    return true;
}

void MessagesPage::test(int row)
{
    QLabel *answer = m_form->findChild<QLabel *>(QStringLiteral("Answer%1").arg(row));
    const auto s = read(true);
    if (!s || !answer || !m_messenger)
        return;
    const core::FormValues v = formValues(core::messageFields(m_stored), false);
    size_t kept = 0;
    for (int r = 1; r < row; ++r)
        kept += v.at(core::channelKey(size_t(r - 1), "Kind")).empty() ? 0 : 1;
    if (v.at(core::channelKey(size_t(row - 1), "Kind")).empty() || kept >= s->channels.size()) {
        answer->setText(QStringLiteral("Give the channel a kind first."));
        return;
    }
    answer->setText(QStringLiteral("Sending…"));
    QPointer<QLabel> shown(answer);
    m_messenger->test(s->channels[kept], s->caFile, [shown](const SendResult &r) {
        if (shown)
            shown->setText((r.ok ? QStringLiteral("Sent: ") : QStringLiteral("Not sent: ")) + QString::fromStdString(r.answer));
    });
}

void MessagesPage::showStatus()
{
    const QString now = m_messenger ? m_messenger->status() : QString();
    Status->setText(now.isEmpty() ? QString() : now.at(0).toUpper() + now.mid(1) + QStringLiteral("."));
}

} // namespace publish
