// SPDX-License-Identifier: GPL-3.0-or-later
// An owner whose computer sits in a shed with no screen: the built
// veldra-service on a fresh program folder, fed by the simulated unit on
// port 2, its web password set from the command line, and every other
// setting made from a browser (headless Chromium driven through
// tests/support/cdp.py), each seen taking effect on the running service with
// no restart: the unit's port, logging now, the voltage calibration, an
// alarm, publishing to a real mosquitto, the site's altitude and a new web
// password.
#include "core/Web.h"
#include "support/Broker.h"
#include "support/Browser.h"
#include "support/Processes.h"
#include "web/WebPassword.h"
#include "web/WebSettingsFile.h"

#include <QtTest>
#include <cmath>

using namespace testsupport::browser;

namespace {

const char kPassword[] = "shed door";
const char kNewPassword[] = "new shed door";
// Wind in mph, watts, RPM: the unit sends 13 V and 100 W whatever the wind.
const char kFlatCurve[] = "0 100 200\n20 100 200\n";
// Above the unit's 13 V, below the 26 V the halved voltage divider makes of them.
const char kBatteryHigh[] = "20";
const char kAltitude[] = "350";
const char kTopicPrefix[] = "shed/turbine";

// In the page: /api/now as the browser's login fetches it, then `then`.
QString now(const QString &then)
{
    return "fetch('/api/now', {cache: 'no-store'}).then(r => r.json()).then(o => " + then + ")";
}

QString byId(const QString &id) { return "document.getElementById('" + id + "')"; }

// The settings page of this title shown, with its form.
QString formShown(const QString &title)
{
    return byId("title") + ".textContent === '" + title + "' && " + byId("fields") + ".children.length > 0";
}

// The status code of a GET with HTTP Basic.
int basicStatus(const QString &url, const QString &password)
{
    QProcess p;
    p.start("curl",
            {"-s", "-o", "/dev/null", "-w", "%{http_code}", "--max-time", "30", "-u", "owner:" + password, url});
    p.waitForFinished(40000);
    return p.readAllStandardOutput().toInt();
}

// The browser's steps, in chapters, some of whose answers are kept by name.
class Story {
public:
    void chapter(const QString &name) { m_chapters << std::pair{int(m_steps.size()), name}; }
    Story &operator<<(const QJsonObject &step)
    {
        m_steps << step;
        return *this;
    }
    // The value of `js`, kept as `name`.
    void keep(const QString &name, const QString &js)
    {
        m_kept[name] = int(m_steps.size());
        m_steps << eval(js);
    }
    // Another settings page, chosen in the page's own menu, its form shown.
    void page(const QString &hash, const QString &title)
    {
        *this << eval("document.querySelector('#pages a[href=\"#" + hash + "\"]').click()")
              << wait(formShown(title), 10000);
    }
    // Save pressed and its answer come; the status line's text kept as `name`.
    void save(const QString &name)
    {
        *this << eval(byId("save") + ".click()") << wait("!" + byId("save") + ".disabled", 20000);
        keep(name, byId("status") + ".textContent");
    }
    const QJsonArray &steps() const { return m_steps; }
    QJsonValue value(const Run &r, const QString &name) const
    {
        return r.results[m_kept.value(name)].toObject()["value"];
    }
    // Where the run stopped, by chapter.
    QString failure(const Run &r) const
    {
        const int step = QJsonDocument::fromJson(r.failed.toUtf8())["step"].toInt(-1);
        QString chapter = "the browser";
        for (const auto &[first, name] : m_chapters)
            if (step >= first)
                chapter = name;
        return chapter + ": " + why(r);
    }

private:
    QJsonArray m_steps;
    QMap<QString, int> m_kept;
    QList<std::pair<int, QString>> m_chapters;
};

} // namespace

class TestShed : public QObject {
    Q_OBJECT

    QTemporaryDir m_folder; // the program folder, empty at first
    QTemporaryDir m_aside;  // the broker's files and the unit's curve
    QProcess m_unit, m_service;
    QByteArray m_said; // what the service wrote on its standard output and error
    testsupport::Broker *m_broker = nullptr;
    int m_port = 0;
    QString m_base;

    QString file(const QString &name) const { return m_folder.filePath(name); }

    const QByteArray &said()
    {
        m_said += m_service.readAll();
        return m_said;
    }

    // A record of the daily log with the unit's volts (an interval without
    // frames would log zeros), in the file of `day`.
    bool logged(const QDate &day) const
    {
        const QString name = QString("logs/%1_%2_%3.txt").arg(day.year()).arg(day.month()).arg(day.day());
        static const QRegularExpression record("<V>([0-9.]+)</V>");
        for (auto it = record.globalMatch(QString::fromLatin1(testsupport::readFile(file(name)))); it.hasNext();)
            if (it.next().captured(1).toDouble() > 10)
                return true;
        return false;
    }

private slots:
    void initTestCase()
    {
        for (const char *tool : {"chromium", "python3", "curl"})
            if (QStandardPaths::findExecutable(tool).isEmpty()) {
                if (qEnvironmentVariableIsSet("CI"))
                    QFAIL(qPrintable(QString(tool) + " is missing (scripts/install-deps installs it)"));
                QSKIP(qPrintable(QString(tool) + " is missing; scripts/install-deps installs it"));
            }
        if (!testsupport::Broker::available()) {
            if (qEnvironmentVariableIsSet("CI"))
                QFAIL("mosquitto or mosquitto_sub is missing (scripts/install-deps installs them)");
            QSKIP("mosquitto or mosquitto_sub is missing; scripts/install-deps installs them");
        }
        QVERIFY(m_folder.isValid() && m_aside.isValid());
        QVERIFY(QDir(m_folder.path()).isEmpty());
        m_broker = new testsupport::Broker(m_aside.path());
        QVERIFY(m_broker->start());
    }

    void cleanup()
    {
        if (QTest::currentTestFailed())
            qWarning("veldra-service said:\n%s", said().constData());
    }

    void cleanupTestCase()
    {
        testsupport::endProgram(m_service);
        testsupport::endProgram(m_unit);
        delete m_broker;
    }

    void ownerInTheShed()
    {
        // The one setting written by hand, before anything else: the web
        // server's port, a free one, as the tests run side by side and 8080
        // may be taken. Then the password, on standard input (no terminal:
        // read once).
        m_port = testsupport::freePort();
        m_base = QString("http://127.0.0.1:%1").arg(m_port);
        QFile cfg(file("web.cfg"));
        QVERIFY(cfg.open(QIODevice::WriteOnly));
        cfg.write(QString("<Port>%1</Port>\r\n").arg(m_port).toLatin1());
        cfg.close();
        const QString service = qEnvironmentVariable("VELDRA_BIN") + "/veldra-service";
        QProcess set;
        set.setProcessChannelMode(QProcess::MergedChannels);
        set.start(service, {"--folder", m_folder.path(), "--set-web-password"});
        set.write(QByteArray(kPassword) + "\n");
        set.closeWriteChannel();
        QVERIFY(set.waitForFinished(30000));
        const QByteArray setSaid = set.readAll();
        QVERIFY2(set.exitStatus() == QProcess::NormalExit && set.exitCode() == 0, setSaid.constData());
        const core::WebSettings web = web::readWebSettingsFile(file("web.cfg"));
        QVERIFY2(web.on && web.askPassword && !web.network && web.port == std::to_string(m_port),
                 setSaid.constData());
        QVERIFY(web::passwordMatches(kPassword, *core::readPasswordHash(web.passwordHash)));

        // The unit on port 2; the folder's port is the delivered 1.
        const QString curve = m_aside.filePath("curve.txt");
        QFile c(curve);
        QVERIFY(c.open(QIODevice::WriteOnly) && c.write(kFlatCurve) > 0);
        c.close();
        m_unit.setProcessChannelMode(QProcess::ForwardedChannels);
        m_unit.start(qEnvironmentVariable("VELDRA_BIN") + "/../tools/veldra-simunit",
                     {"--folder", m_folder.path(), "--port", "2", "--quiet", "--curve", curve, "--rate", "4"});
        QVERIFY(m_unit.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(file("COM2")).isSymLink(), 10000);

        m_service.setProcessChannelMode(QProcess::MergedChannels);
        m_service.start(service, {"--folder", m_folder.path()});
        QVERIFY(m_service.waitForStarted());
        const qint64 pid = m_service.processId();
        QTRY_VERIFY_WITH_TIMEOUT(said().contains("Serving at " + m_base.toLatin1() + "/"), 60000);

        // What the broker gets on the volts topic, from before publishing is switched on.
        QProcess subscriber;
        subscriber.start("mosquitto_sub", {"-h", "127.0.0.1", "-p", QString::number(m_broker->port()), "-t",
                                           QString(kTopicPrefix) + "/volts", "-C", "1", "-W", "100"});
        QVERIFY(subscriber.waitForStarted());
        auto stopSubscriber = qScopeGuard([&subscriber] { testsupport::endProgram(subscriber); });

        Story s;
        s.chapter("login");
        s << open(m_base + "/login", 1280, 800)
          << eval(QString("document.querySelector('input[name=password]').value = '%1';"
                          "document.querySelector('form').submit()")
                      .arg(kPassword))
          << wait("location.pathname === '/' && document.readyState === 'complete'", 20000)
          << open(m_base + "/settings?shed#setup", 1280, 800) << wait(formShown("Setup"), 10000);

        s.chapter("Setup: the unit's port");
        s.keep("before port", now("[o.state, o.frames.received, " + byId("f-Port") + ".value]"));
        s << eval(byId("f-Port") + ".value = '2'");
        s.save("port saved");
        s << wait(now("o.state === 'live' && o.volts > 0"), 20000);
        s.keep("live", now("[o.state, o.frames.received]"));

        s.chapter("Logging now");
        s.keep("logging before", byId("logging-state") + ".textContent");
        s << eval(byId("logging-delay") + ".value = '10'; " + byId("logging-start") + ".click()")
          << wait(byId("logging-status") + ".textContent !== ''", 10000);
        s.keep("logging",
               "[" + byId("logging-status") + ".textContent, " + byId("logging-state") + ".textContent]");

        s.chapter("Calibration");
        s.page("calibration", "Calibration");
        s << wait(byId("txtBattV") + ".textContent !== ''", 10000);
        s.keep("raw", now("(window.voltsBefore = o.volts, [" + byId("txtBattV") + ".textContent, "
                          + byId("f-VoltDivider") + ".value, o.volts])"));
        s << eval(byId("f-VoltDivider") + ".value = String(Number(" + byId("f-VoltDivider") + ".value) / 2)");
        s.save("calibration saved");
        s << wait(now("o.volts > 1.5 * window.voltsBefore"), 15000);
        s.keep("calibrated", now("(window.voltsAfter = o.volts, [o.volts, " + byId("f-VoltDivider") + ".value])"));

        s.chapter("Alarms");
        s.page("alarms", "Alarms");
        s.keep("alarm before", now("o.alarms.battery_high"));
        s << eval(byId("f-BatteryHighOn") + ".checked = true; " + byId("f-BatteryHigh") + ".value = '"
                  + kBatteryHigh + "'; " + byId("f-HoldTime") + ".value = '0'");
        s.save("alarms saved");
        s << wait(now("o.alarms.battery_high"), 15000);
        s.keep("alarm raised", now("[o.alarms.battery_high, o.raised]"));

        s.chapter("MQTT");
        s.page("mqtt", "MQTT");
        s << eval(byId("f-MqttOn") + ".checked = true; " + byId("f-Host") + ".value = '127.0.0.1'; "
                  + byId("f-Port") + ".value = '" + QString::number(m_broker->port()) + "'; "
                  + byId("f-TopicPrefix") + ".value = '" + kTopicPrefix + "'");
        s.save("mqtt saved");

        s.chapter("Turbine and site");
        s.page("turbine", "Turbine and site");
        s << eval(byId("f-Altitude") + ".value = '" + kAltitude + "'");
        s.save("turbine saved");

        s.chapter("Web password");
        s.page("password", "Web password");
        s << eval(byId("f-old") + ".value = '" + kPassword + "'; " + byId("f-new") + ".value = '" + kNewPassword
                  + "'; " + byId("f-again") + ".value = '" + kNewPassword + "'");
        s.save("password saved");

        QVERIFY(!QFileInfo::exists(file("turbine.cfg")) && !QFileInfo::exists(file("mqtt.cfg")));
        const QDate day = QDate::currentDate();
        const Run r = browse(s.steps());
        QVERIFY2(r.failed.isEmpty(), qPrintable(s.failure(r)));
        QVERIFY2(r.errors.isEmpty(), qPrintable(why(r)));
        const auto saved = [&](const char *name) {
            const QString status = s.value(r, name).toString();
            QVERIFY2(status.startsWith("Saved at "), qPrintable(QString(name) + ": " + status));
        };

        // Setup: nothing on the delivered port 1; port 2 live at once.
        const QJsonArray beforePort = s.value(r, "before port").toArray();
        QVERIFY2(beforePort[0].toString() != "live" && beforePort[1].toInt() == 0
                     && beforePort[2].toString() == "1",
                 qPrintable(QJsonDocument(beforePort).toJson()));
        saved("port saved");
        QCOMPARE(s.value(r, "live").toArray()[0].toString(), QString("live"));
        QVERIFY(s.value(r, "live").toArray()[1].toInt() > 0);

        // Logging: started every 10 s; a record in the day's file.
        QCOMPARE(s.value(r, "logging before").toString(), QString("Not logging."));
        QCOMPARE(s.value(r, "logging").toArray()[0].toString(), QString("Logging every 10 seconds."));
        QCOMPARE(s.value(r, "logging").toArray()[1].toString(), QString("Logging every 10 seconds."));
        QTRY_VERIFY_WITH_TIMEOUT(logged(day) || logged(QDate::currentDate()), 30000);

        // Calibration: the raw count shown; half the divider, twice the volts.
        const QJsonArray raw = s.value(r, "raw").toArray();
        const double count = raw[0].toString().toDouble(), divider = raw[1].toString().toDouble(),
                     before = raw[2].toDouble();
        QVERIFY2(divider > 0 && before > 0 && std::abs(count / divider - before) < 0.05,
                 qPrintable(QJsonDocument(raw).toJson()));
        saved("calibration saved");
        const QJsonArray calibrated = s.value(r, "calibrated").toArray();
        QCOMPARE(calibrated[1].toString().toDouble(), divider / 2);
        const double after = calibrated[0].toDouble();
        QVERIFY2(after > 1.95 * before && after < 2.05 * before,
                 qPrintable(QString("%1 V, then %2 V").arg(before).arg(after)));

        // Alarms: Battery high raised by the volts above its threshold.
        QCOMPARE(s.value(r, "alarm before").toBool(), false);
        saved("alarms saved");
        const QJsonArray raised = s.value(r, "alarm raised").toArray();
        QVERIFY2(raised[0].toBool() && raised[1].toArray().size() == 1
                     && raised[1].toArray()[0].toObject()["alarm"].toString() == "battery_high",
                 qPrintable(QJsonDocument(raised).toJson()));

        // MQTT: the volts on the broker.
        saved("mqtt saved");
        QTRY_COMPARE_WITH_TIMEOUT(subscriber.state(), QProcess::NotRunning, 20000);
        const QByteArray volts = subscriber.readAllStandardOutput().trimmed();
        QVERIFY2(subscriber.exitCode() == 0 && std::abs(volts.toDouble() - after) < 0.5,
                 (volts + subscriber.readAllStandardError()).constData());

        // Turbine and site: the altitude in the file.
        saved("turbine saved");
        QVERIFY2(testsupport::readFile(file("turbine.cfg"))
                     .contains(QByteArray("<Altitude>") + kAltitude + "</Altitude>"),
                 testsupport::readFile(file("turbine.cfg")).constData());

        // Web password: the new one opens, the old one no longer.
        const QString changed = s.value(r, "password saved").toString();
        QVERIFY2(changed.startsWith("The password was changed at ") && changed.endsWith(" Log in again with it."),
                 qPrintable(changed));
        QCOMPARE(basicStatus(m_base + "/api/now", kNewPassword), 200);
        QCOMPARE(basicStatus(m_base + "/api/now", kPassword), 401);

        // All of it taken up by the one service, never restarted.
        QCOMPARE(m_service.state(), QProcess::Running);
        QCOMPARE(m_service.processId(), pid);
        QCOMPARE(said().count("Serving at "), 1);
    }
};

QTEST_MAIN(TestShed)
#include "tst_shed.moc"
