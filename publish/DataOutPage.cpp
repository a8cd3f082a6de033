// SPDX-License-Identifier: GPL-3.0-or-later
#include "DataOutPage.h"

#include "DataOut.h"
#include "core/Forms.h"
#include "ui/Controls.h"
#include "ui/Notices.h"
#include "ui/ProgramFolder.h"
#include "ui/Twips.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

namespace publish {

namespace {
const ui::PageRows kRows;
} // namespace

DataOutPage::DataOutPage(const ui::Services &services, DataOut *dataOut, QWidget *parent)
    : ui::OptionsPage(parent), m_services(services), m_dataOut(dataOut)
{
    setObjectName(QStringLiteral("DataOutPage"));
    setMinimumSize(420, kRows.rowTop(10) + 4 + 72 + 6);
    ui::setColours(this, ui::darkGreen(), ui::brightGreen());
    DataOutOn = kRows.tickBox(this, "DataOutOn", QStringLiteral("Send every minute to a time-series database"), 0);
    // Its words across the page, not in the entries' column.
    DataOutOn->setGeometry(8, DataOutOn->y(), 404, DataOutOn->height());
    Kind = kRows.entry(this, "Kind", QStringLiteral("Database"), 1);
    Kind->setPlaceholderText(QStringLiteral("influxdb1, influxdb2 or victoriametrics"));
    Url = kRows.entry(this, "Url", QStringLiteral("Address"), 2);
    Url->setPlaceholderText(QStringLiteral("http://192.168.1.20:8086"));
    Database = kRows.entry(this, "Database", QStringLiteral("Database (InfluxDB 1.x)"), 3);
    User = kRows.entry(this, "User", QStringLiteral("User name"), 4);
    Password = kRows.entry(this, "Password", QStringLiteral("Password"), 5);
    Password->setEchoMode(QLineEdit::Password);
    Org = kRows.entry(this, "Org", QStringLiteral("Organization (2.x)"), 6);
    Bucket = kRows.entry(this, "Bucket", QStringLiteral("Bucket (2.x)"), 7);
    Token = kRows.entry(this, "Token", QStringLiteral("Token (2.x)"), 8);
    Token->setEchoMode(QLineEdit::Password);
    CaFile = kRows.entry(this, "CaFile", QStringLiteral("CA file"), 9);
    Status = ui::greenLabel(this, QStringLiteral("Status"), QString());
    Status->setWordWrap(true);
    Status->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Status->setGeometry(8, kRows.rowTop(10) + 4, 404, 72);
    if (m_dataOut)
        connect(m_dataOut, &DataOut::statusChanged, this, &DataOutPage::showStatus);
    Form_Load();
}

void DataOutPage::Form_Load()
{
    m_stored = readDataOutSettingsFile(ui::ProgramFolder(m_services.programFolder).dataOutSettings());
    showFormValues(core::dataOutValues(m_stored), false);
    Password->setPlaceholderText(m_stored.password.empty() ? QString()
                                                           : QStringLiteral("(stored; type to replace)"));
    Token->setPlaceholderText(m_stored.token.empty() ? QString() : QStringLiteral("(stored; type to replace)"));
    showStatus();
}

std::optional<core::DataOutSettings> DataOutPage::read()
{
    core::DataOutSettings s;
    if (const auto problem = core::readDataOutValues(formValues(core::dataOutFields(), false), m_stored, s)) {
        tellProblem(*problem, *m_services.messages, false);
        return std::nullopt;
    }
    if (const auto fault = dataOutFileFault(s)) {
        m_services.messages->inform(this, *fault);
        return std::nullopt;
    }
    return s;
}

bool DataOutPage::check() { return read().has_value(); }

bool DataOutPage::save()
{
    const auto s = read();
    if (!s)
        return false;
    const QString file = ui::ProgramFolder(m_services.programFolder).dataOutSettings();
    if (!writeDataOutSettingsFile(file, *s)) {
        m_services.messages->inform(this, ui::cannotSave(file));
        return false;
    }
    m_stored = *s;
    return true;
}

void DataOutPage::showStatus() { Status->setText(m_dataOut ? m_dataOut->summary() : QString()); }

} // namespace publish
