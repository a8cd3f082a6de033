// SPDX-License-Identifier: GPL-3.0-or-later
// The delivered live page as a browser shows it: a tick writes html/log.html
// from the delivered template, headless Chromium renders it at phone and
// desktop widths, and the rendered document holds the values the tick wrote,
// rounded by the page's script (and as written with scripts off).
#include "core/Number.h"
#include "logging/TickWriter.h"
#include "support/TestSupport.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

namespace {
QStringList chromiumArgs(int width, const QString &url)
{
    return {"--headless",
            "--no-sandbox",
            "--disable-gpu",
            "--no-first-run",
            "--disable-quic",
            "--disable-background-networking",
            "--disable-component-update",
            "--disable-sync",
            QStringLiteral("--window-size=%1,900").arg(width),
            "--dump-dom",
            url};
}

logging::TickValues values(core::DataState state = core::DataState::Live, const QDateTime &lastLive = {})
{
    logging::TickValues v;
    v.maxima = core::Maxima{13.4567, 2.06, 28.25, 312.4, 4.56};
    v.mode = 1;
    v.wattHours = 23.8385972222222;
    v.yesterdayWh = 1234.56;
    v.lifetimeWh = 5432100;
    v.savehtml = "1";
    v.wsUnits = "mph";
    v.logSeconds = 30;
    v.state = state;
    v.lastLive = lastLive;
    return v;
}

QString render(const QStringList &args)
{
    QProcess p;
    p.setStandardErrorFile(QProcess::nullDevice());
    p.start("chromium", args);
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}
} // namespace

class TestLivePage : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        const bool found = !QStandardPaths::findExecutable("chromium").isEmpty();
        if (!found || !render(chromiumArgs(360, "about:blank")).contains("<body")) {
            if (qEnvironmentVariableIsSet("CI"))
                QFAIL(
                    "headless Chromium does not start here, so the live page cannot be checked (scripts/install-deps installs chromium)");
            QSKIP("headless Chromium is missing or does not start; scripts/install-deps installs chromium");
        }
    }

    // Without live data the page says since when and hides the unit's values
    // (by its style, so also with scripts off); the energy totals stay.
    void dataState_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<QDateTime>("lastLive");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QStringList>("hidden");
        const QDate today(2026, 3, 7);
        const QStringList values{"13.4567", "2.06", "28.25", "312.4", "Load On"};
        const QStringList totals{"23.8385972222222", "1234.6", "5432.1"};
        QTest::newRow("live") << int(core::DataState::Live) << QDateTime(today, QTime(14, 5, 1))
                              << values + totals << QStringList{"No data since", "Paused"};
        QTest::newRow("stale") << int(core::DataState::Stale) << QDateTime(today, QTime(3, 16, 40))
                               << QStringList{"No data since 03:16"} + totals << values + QStringList{"Paused"};
        QTest::newRow("stale since yesterday")
            << int(core::DataState::Stale) << QDateTime(today.addDays(-1), QTime(22, 1))
            << QStringList{"No data since 2026-03-06 22:01"} + totals << values;
        QTest::newRow("paused") << int(core::DataState::Paused) << QDateTime(today, QTime(14, 4))
                                << QStringList{"Paused: the setup or calibration window holds the port. Last data at 14:04"}
                                       + totals
                                << values + QStringList{"No data since"};
    }
    void dataState()
    {
        QFETCH(int, state);
        QFETCH(QDateTime, lastLive);
        QFETCH(QStringList, shown);
        QFETCH(QStringList, hidden);
        testsupport::ProgramFolder folder;
        testsupport::FakeServices fake(folder.path());
        {
            logging::TickWriter writer(fake.services(), nullptr);
            writer.write(values(core::DataState(state), lastLive));
        }
        // The page without its own script, and with one that writes out the
        // text as rendered (innerText leaves out what the style hides).
        QString page = QString::fromUtf8(folder.read("html/log.html"))
                           .remove(QRegularExpression("<script>.*</script>",
                                                      QRegularExpression::DotMatchesEverythingOption));
        page.replace("</body>",
                     "<script>var t = document.createElement('pre'); t.id = 'rendered';"
                     "t.textContent = document.body.innerText; document.body.appendChild(t);</script></body>");
        folder.write("html/log.html", page.toUtf8());
        const QString dom = render(
            chromiumArgs(360, QUrl::fromLocalFile(folder.file("html/log.html")).toString()));
        const QRegularExpressionMatch m = QRegularExpression("<pre id=\"rendered\">(.*)</pre>",
                                                             QRegularExpression::DotMatchesEverythingOption)
                                              .match(dom);
        QVERIFY2(m.hasMatch(), qPrintable("nothing rendered:\n" + dom));
        const QString rendered = m.captured(1);
        for (const QString &t : shown)
            QVERIFY2(rendered.contains(t), qPrintable(t + " not shown in:\n" + rendered));
        for (const QString &t : hidden)
            QVERIFY2(!rendered.contains(t), qPrintable(t + " shown in:\n" + rendered));
    }

    void rendered_data()
    {
        QTest::addColumn<char>("separator");
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("scripts");
        QTest::addColumn<QStringList>("expected");
        const QStringList rounded{">13.5<", ">2.1<", ">28<", ">312<", ">4.6<", ">23.8<", ">1234.6<", ">5432.10<"};
        QStringList roundedComma;
        for (const QString &v : rounded)
            roundedComma << QString(v).replace('.', ',');
        QTest::newRow("phone") << '.' << 360 << true << rounded;
        QTest::newRow("desktop") << '.' << 1280 << true << rounded;
        QTest::newRow("phone, comma") << ',' << 360 << true << roundedComma;
        QTest::newRow("desktop, comma") << ',' << 1280 << true << roundedComma;
        // Without scripts the values read as the tick wrote them.
        QTest::newRow("phone, scripts off") << '.' << 360 << false
                                            << QStringList{">13.4567<", ">2.06<", ">28.25<", ">23.8385972222222<", ">5432.1<"};
    }
    void rendered()
    {
        QFETCH(char, separator);
        QFETCH(int, width);
        QFETCH(bool, scripts);
        QFETCH(QStringList, expected);
        const char old = core::decimalSeparator();
        core::setDecimalSeparator(separator);
        testsupport::ProgramFolder folder;
        testsupport::FakeServices fake(folder.path());
        {
            logging::TickWriter writer(fake.services(), nullptr);
            writer.write(values());
        }
        core::setDecimalSeparator(old);
        QCOMPARE(fake.messages.texts, QStringList());
        // Chromium's DOM dump needs scripts, so "scripts off" is the page
        // without its script.
        if (!scripts)
            folder.write("html/log.html",
                         QString::fromUtf8(folder.read("html/log.html"))
                             .remove(QRegularExpression("<script>.*</script>",
                                                        QRegularExpression::DotMatchesEverythingOption))
                             .toUtf8());
        const QString dom = render(
            chromiumArgs(width, QUrl::fromLocalFile(folder.file("html/log.html")).toString()));
        QVERIFY2(dom.contains("<body"), "Chromium rendered nothing");
        for (const QString &value : expected)
            QVERIFY2(dom.contains(value), qPrintable(value + " missing in:\n" + dom));
        QVERIFY(dom.contains(">mph<"));
        QVERIFY(dom.contains("2026-03-07"));
        QVERIFY(dom.contains("Load On"));
        QVERIFY(dom.contains("content=\"30\""));
        QVERIFY2(!dom.contains(QRegularExpression("<(VV|II|WW|WH|RR|SS|TT|MM|WY|WT|SU|DD|LD|DS|DL)>")),
                 "a placeholder was left");
    }
};

QTEST_MAIN(TestLivePage)
#include "tst_livepage.moc"
