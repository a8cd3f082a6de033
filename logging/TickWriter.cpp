// SPDX-License-Identifier: GPL-3.0-or-later
#include "TickWriter.h"

#include "core/Number.h"
#include "core/TickTexts.h"
#include "ui/Files.h"
#include "ui/Notices.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>

namespace logging {

namespace {
const QByteArray lineEnd("\r\n");
} // namespace

TickWriter::TickWriter(const ui::Services &services, QObject *messageParent)
    : m_services(services), m_folder(services.programFolder), m_notices(services.messages, messageParent)
{ }

void TickWriter::write(const TickValues &v)
{
    const ui::Clock &clock = *m_services.clock;
    const QDate day = clock.date();
    const std::string stamp = core::logDateStamp(day.year(), day.month(), day.day());
    const std::string mode = core::modeText(v.mode);

    const QTime now = clock.time();
    appendLine(m_folder.logFile(QString::fromStdString(stamp)),
               core::logRecord(v.maxima, v.mode, now.hour(), now.minute()) + "\r\n");

    if (core::isOn(v.savehtml)) {
        appendLine(m_folder.historyFile(clock.shortDateText()),
                   core::historyLine(v.maxima, v.wsUnits, mode, ui::toLocal(clock.longTimeText())) + "\r\n");
        writePage(v, mode);
    }

    if (core::isOn(v.saveExcel)) {
        const QString sheet = m_folder.spreadsheetFile(QString::fromStdString(stamp));
        std::string text;
        // A new or removed file starts with its header; both go in one append so
        // a failed write never leaves a header without its first row. An empty
        // file (a failed first write of the day leaves one) has no header yet.
        if (!ui::hasContent(sheet))
            text = core::spreadsheetHeader(v.wsUnits);
        text += core::spreadsheetRow(v.maxima, mode, ui::toLocal(clock.longTimeText()));
        appendLine(sheet, text);
    }
}

void TickWriter::appendLine(const QString &file, const std::string &bytes)
{
    // A failed folder creation shows as a failed append below.
    ui::ensureFolder(QFileInfo(file).absolutePath());
    m_notices.outcome(file, ui::append(file, ui::bytesOf(bytes)), ui::cannotWrite(file));
}

void TickWriter::writePage(const TickValues &v, const std::string &modeText)
{
    const QString templ = m_folder.pageTemplate();
    const auto text = ui::readWhole(templ);
    m_notices.outcome(templ, text.has_value(),
                      QStringLiteral("Could not read the page template %1; the live page is not updated")
                          .arg(QDir::toNativeSeparators(templ)));
    if (!text)
        return;

    const std::string eight = core::substituteTemplate(ui::textOf(*text), v.maxima, v.wattHours,
                                                       ui::toLocal(m_services.clock->longTimeText()), modeText);
    const std::string today = ui::toLocal(m_services.clock->date().toString(Qt::ISODate));
    const std::string lastLive = v.lastLive.isValid()
                                     ? core::lastLiveText(today,
                                                          ui::toLocal(v.lastLive.date().toString(Qt::ISODate)),
                                                          v.lastLive.time().hour(), v.lastLive.time().minute())
                                     : std::string();
    const std::string page = core::substituteDataState(
        core::substitutePageExtras(core::substituteEnergyTotals(eight, v.yesterdayWh, v.lifetimeWh), v.wsUnits,
                                   today, v.logSeconds),
        v.state, lastLive);
    // Replaced through a temporary file: a web server never sees half a page,
    // and on failure the previous page stays. The same page as .html, a type
    // every web server knows.
    // One page under two names: one message for both.
    const QString asp = m_folder.livePage(), html = m_folder.livePageHtml();
    const bool aspOk = ui::replaceWhole(asp, ui::bytesOf(page) + lineEnd);
    const bool htmlOk = ui::replaceWhole(html, ui::bytesOf(page) + lineEnd);
    m_notices.outcome(asp, aspOk && htmlOk, ui::cannotWrite(aspOk ? html : asp));
}

} // namespace logging
