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
            QStringLiteral("--window-size=%1,900").arg(width),
            "--dump-dom",
            url};
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
            logging::TickValues v;
            v.maxima = core::Maxima{13.4567, 2.06, 28.25, 312.4, 4.56};
            v.mode = 1;
            v.wattHours = 23.8385972222222;
            v.yesterdayWh = 1234.56;
            v.lifetimeWh = 5432100;
            v.savehtml = "1";
            v.wsUnits = "mph";
            v.logSeconds = 30;
            writer.write(v);
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
        QVERIFY2(!dom.contains(QRegularExpression("<(VV|II|WW|WH|RR|SS|TT|MM|WY|WT|SU|DD|LD)>")),
                 "a placeholder was left");
    }
};

QTEST_MAIN(TestLivePage)
#include "tst_livepage.moc"
