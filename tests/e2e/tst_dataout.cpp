// SPDX-License-Identifier: GPL-3.0-or-later
// Data out end to end: the built service on a folder whose archive holds days
// of minutes (measured and imported) sends every one to a real InfluxDB 1.x
// and a real VictoriaMetrics, each with the archive's values; an outage of
// the database with the service killed and restarted meanwhile leaves no gap
// and no minute twice; the InfluxDB 2.x form reaches a small HTTPS receiver
// with its path, token header and lines; a certificate of an unknown CA is
// refused and shown in the server's words.
#include "archive/ArchiveDb.h"
#include "core/DataOut.h"
#include "core/Turbine.h"
#include "support/MessageServers.h"
#include "support/Processes.h"
#include "support/SiteService.h"
#include "support/TestSupport.h"
#include "support/TimeSeries.h"
#include "web/WebPassword.h"
#include "web/WebSettingsFile.h"

#include <QtTest>
#include <cmath>
#include <csignal>

using testsupport::ProgramFolder;

namespace {

const char kSite[] = "North barn, 2=b";
const char kWebPassword[] = "shed key";

// `count` minutes ending ten minutes ago, every 7th imported from the logs,
// in the archive at `path`; the minutes' times.
QList<qint64> seed(const QString &path, int count, int first = 0, double volts = 12)
{
    const qint64 end = QDateTime::currentSecsSinceEpoch() / 60 * 60 - 600;
    archive::ArchiveDb db;
    if (!db.open(path, false))
        return {};
    QList<qint64> times;
    std::vector<core::ArchiveRow> imported;
    for (int i = first; i < first + count; ++i) {
        core::ArchiveRow m;
        m.t = end - 60 * qint64(i);
        m.minutes = 1;
        m.frames = 10 + i % 50;
        m.noDataSeconds = i % 3;
        m.energyWh = volts * (i % 11) / 60;
        for (int k = 0; k < 4; ++k) {
            m.volts.add(volts + (i % 13) * 0.01 + k * 0.1);
            m.amps.add(i % 11);
            m.watts.add((volts + k * 0.1) * (i % 11));
            m.wind.add(3 + (i % 5));
        }
        m.windUnit = "m/s";
        times << m.t;
        if (i % 7 == 0) {
            m.imported = 1;
            imported.insert(imported.begin(), m);
        } else if (!db.write(m)) {
            return {};
        }
    }
    if (db.addImported(imported) < 0)
        return {};
    return times;
}

// The archive's minutes by time: volts' mean, energy and whether imported.
std::map<qint64, core::ArchiveRow> archived(const QString &path)
{
    archive::ArchiveDb db;
    std::map<qint64, core::ArchiveRow> out;
    if (db.open(path, true))
        for (const core::ArchiveRow &m : db.rows(archive::Step::Minute, 0, 4102444800))
            out[m.t] = m;
    return out;
}

core::DataOutSettings settingsFor(const QString &kind, const QString &url)
{
    core::DataOutSettings s;
    s.on = true;
    s.kind = kind.toStdString();
    s.url = url.toStdString();
    s.database = "turbines";
    return s;
}

// The built service with the web server (for /metrics and the page's status).
class Service {
public:
    explicit Service(const ProgramFolder &folder) : m_folder(folder) { }
    ~Service() { testsupport::endProgram(m_process); }
    bool start()
    {
        if (!m_port)
            m_port = testsupport::freePort();
        return testsupport::startSiteService(m_process, m_folder, kSite, m_port, kWebPassword, "VELDRA_DATAOUT_RETRY_MS",
                                             "200");
    }
    bool kill()
    {
        return testsupport::signalProcess(m_process, SIGKILL) && m_process.waitForFinished(10000);
    }
    double metric(const QByteArray &name)
    {
        QProcess p;
        p.start("curl",
                {"-s", "-u", QString("x:") + kWebPassword, QString("http://127.0.0.1:%1/metrics").arg(m_port)});
        p.waitForFinished(30000);
        for (const QByteArray &line : p.readAllStandardOutput().split('\n'))
            if (line.startsWith(name + ' '))
                return line.mid(name.size() + 1).toDouble();
        return -1;
    }

private:
    const ProgramFolder &m_folder;
    QProcess m_process;
    int m_port = 0;
};

std::unique_ptr<testsupport::TimeSeriesServer> database(const QString &kind, const QString &folder)
{
    if (kind == "influxdb1") {
        auto influx = std::make_unique<testsupport::InfluxServer>(folder);
        return influx->startWith("turbines") ? std::move(influx) : nullptr;
    }
    auto vm = std::make_unique<testsupport::VictoriaServer>(folder);
    return vm->start() ? std::move(vm) : nullptr;
}

} // namespace

class TestDataOut : public QObject {
    Q_OBJECT
    QTemporaryDir m_certs;

private slots:
    void initTestCase()
    {
        QString missing = testsupport::timeSeriesMissing();
        if (missing.isEmpty())
            missing = testsupport::messageServersMissing();
        if (!missing.isEmpty()) {
            if (qEnvironmentVariableIsSet("CI"))
                QFAIL(qPrintable(missing + " (scripts/install-deps installs it)"));
            QSKIP(qPrintable(missing + "; scripts/install-deps installs it"));
        }
        QVERIFY(testsupport::makeCertificates(m_certs.path(), "veldra"));
    }

    // Three days of minutes, and the database down meanwhile (when `outage`):
    // the service killed, more minutes archived (new ones, one merged, an
    // import), the service started again while the database is away (the
    // failure shown), then the database back: every minute there once, with
    // the archive's values.
    void everyMinuteOnce_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("outage");
        QTest::newRow("InfluxDB 1.x") << "influxdb1" << false;
        QTest::newRow("VictoriaMetrics") << "victoriametrics" << false;
        QTest::newRow("InfluxDB 1.x, an outage") << "influxdb1" << true;
        QTest::newRow("VictoriaMetrics, an outage") << "victoriametrics" << true;
    }
    void everyMinuteOnce()
    {
        QFETCH(QString, kind);
        QFETCH(bool, outage);
        ProgramFolder folder;
        const QString archivePath = folder.file("archive.sqlite");
        const int first = outage ? 1500 : 4000;
        QCOMPARE(seed(archivePath, first, 500).size(), first);
        auto db = database(kind, folder.file("db"));
        QVERIFY(db);
        folder.write("dataout.cfg",
                     QByteArray::fromStdString(core::dataOutSettingsText(settingsFor(kind, db->url()))));
        Service service(folder);
        QVERIFY(service.start());
        const auto points = [&] { return db->points("veldra_minute", "frames", kSite); };
        QTRY_COMPARE_WITH_TIMEOUT(points(), first, 60000);

        if (outage) {
            db->stop();
            QVERIFY(service.kill());
            // Newer minutes, an older minute written again with more frames
            // (merged after a restart), and minutes imported from the logs.
            QCOMPARE(seed(archivePath, 500, 0, 13).size(), 500);
            QCOMPARE(seed(archivePath, 1, 600, 14).size(), 1);
            QVERIFY(service.start());
            QTRY_VERIFY_WITH_TIMEOUT(service.metric("veldra_dataout_failures_total") >= 2, 30000);
            QCOMPARE(service.metric("veldra_dataout_backlog_minutes"), 501.0);
            QVERIFY(db->start());
        }
        const std::map<qint64, core::ArchiveRow> kept = archived(archivePath);
        QCOMPARE(int(kept.size()), outage ? 2000 : 4000);
        QTRY_COMPARE_WITH_TIMEOUT(points(), int(kept.size()), 60000);
        QTRY_COMPARE_WITH_TIMEOUT(service.metric("veldra_dataout_backlog_minutes"), 0.0, 20000);
        if (!outage)
            QCOMPARE(service.metric("veldra_dataout_failures_total"), 0.0);

        const auto volts = db->field("veldra_minute", "volts_mean", kSite);
        const auto energy = db->field("veldra_minute", "energy_wh", kSite);
        const auto frames = db->field("veldra_minute", "frames", kSite);
        const auto imported = db->field("veldra_minute", "imported", kSite);
        QCOMPARE(volts.size(), kept.size());
        for (const auto &[t, m] : kept) {
            const QString at = QDateTime::fromSecsSinceEpoch(t).toString(Qt::ISODate);
            QVERIFY2(volts.count(t) && std::abs(volts.at(t) - m.volts.mean()) < 0.006, qPrintable(at));
            QVERIFY2(energy.count(t) && std::abs(energy.at(t) - m.energyWh) < 0.0006, qPrintable(at));
            QVERIFY2(frames.count(t) && frames.at(t) == double(m.frames), qPrintable(at));
            QVERIFY2(imported.count(t) && imported.at(t) == double(m.imported), qPrintable(at));
        }
        // The days as the archive sums them, the last change of each.
        archive::ArchiveDb reader;
        QVERIFY(reader.open(archivePath, true));
        const auto days = db->field("veldra_day", "energy_wh", kSite);
        const auto archivedDays = reader.rows(archive::Step::Day, 0, 4102444800);
        QCOMPARE(days.size(), archivedDays.size());
        for (const core::ArchiveRow &d : archivedDays)
            QVERIFY(days.count(d.t) && std::abs(days.at(d.t) - d.energyWh) < 0.0006);
        // The cursor file is whole and names the last change.
        const auto cursor = core::readCursor(folder.read("dataout-cursor.txt").toStdString());
        QVERIFY(cursor);
        QCOMPARE(cursor->seq, *reader.lastChange());
    }

    // An archive put back from an older copy, while sending is off: the
    // cursor comes back to the copy's last change at the next start, so the
    // minutes archived after it (numbered anew below the old cursor) are sent.
    void archiveRestoredFromACopy()
    {
        ProgramFolder folder;
        const QString archivePath = folder.file("archive.sqlite");
        QCOMPARE(seed(archivePath, 50, 50).size(), 50);
        QVERIFY(QFile::copy(archivePath, folder.file("copy.sqlite")));
        QCOMPARE(seed(archivePath, 50, 0).size(), 50);
        auto db = database("victoriametrics", folder.file("db"));
        QVERIFY(db);
        core::DataOutSettings s = settingsFor("victoriametrics", db->url());
        const auto run = [&](bool on, const std::function<bool()> &until) {
            s.on = on;
            folder.write("dataout.cfg", QByteArray::fromStdString(core::dataOutSettingsText(s)));
            Service service(folder);
            if (!service.start())
                return false;
            QElapsedTimer t;
            t.start();
            while (!until() && t.elapsed() < 30000)
                QTest::qWait(50);
            return until();
        };
        const auto points = [&] { return db->points("veldra_minute", "frames", kSite); };
        QVERIFY(run(true, [&] { return points() == 100; }));
        const auto sent = core::readCursor(folder.read("dataout-cursor.txt").toStdString());
        QVERIFY(sent);

        for (const QString &name : {archivePath, archivePath + "-wal", archivePath + "-shm"})
            QFile::remove(name);
        QVERIFY(QFile::copy(folder.file("copy.sqlite"), archivePath));
        std::int64_t copied = 0;
        {
            archive::ArchiveDb reader;
            QVERIFY(reader.open(archivePath, true));
            copied = *reader.lastChange();
        }
        QVERIFY(copied < sent->seq);
        const auto cursor = [&] { return core::readCursor(folder.read("dataout-cursor.txt").toStdString()); };
        QVERIFY(run(false, [&] { return cursor() && cursor()->seq == copied; }));
        QCOMPARE(cursor()->target, sent->target);

        // Minutes the database never had, archived after the copy came back.
        QCOMPARE(seed(archivePath, 80, 100).size(), 80);
        QVERIFY(run(true, [&] { return points() == 180; }));
    }

    // The 2.x form to a receiver over HTTPS: the write path with org, bucket
    // and precision, the token in its header only, and the lines. Without
    // the CA file the receiver's certificate is refused, in the library's words.
    void influxDb2Form_data()
    {
        QTest::addColumn<bool>("trusted");
        QTest::newRow("the CA named") << true;
        QTest::newRow("an unknown CA") << false;
    }
    void influxDb2Form()
    {
        QFETCH(bool, trusted);
        ProgramFolder folder;
        QCOMPARE(seed(folder.file("archive.sqlite"), 12).size(), 12);
        testsupport::PythonServer receiver(testsupport::kHttpsServer, folder.file("https.log"));
        const QString cert = m_certs.filePath("veldra-server");
        QVERIFY(receiver.start({cert + ".pem", cert + ".key", folder.file("requests.jsonl")}));
        core::DataOutSettings s = settingsFor("influxdb2", QString("https://127.0.0.1:%1/").arg(receiver.port()));
        s.org = "North & co";
        s.bucket = "wind";
        s.token = "tok3n-secret==";
        if (trusted)
            s.caFile = m_certs.filePath("veldra.pem").toStdString();
        folder.write("dataout.cfg", QByteArray::fromStdString(core::dataOutSettingsText(s)));
        Service service(folder);
        QVERIFY(service.start());
        if (!trusted) {
            QTRY_VERIFY_WITH_TIMEOUT(service.metric("veldra_dataout_failures_total") >= 1, 30000);
            QCOMPARE(testsupport::recordedRequests(folder.file("requests.jsonl")).size(), 0);
            QCOMPARE(service.metric("veldra_dataout_backlog_minutes"), 12.0);
            return;
        }
        QTRY_COMPARE_WITH_TIMEOUT(testsupport::recordedRequests(folder.file("requests.jsonl")).size(), 1, 30000);
        const QJsonObject r = testsupport::recordedRequests(folder.file("requests.jsonl"))[0];
        QCOMPARE(r["method"].toString(), QString("POST"));
        QCOMPARE(r["path"].toString(), QString("/api/v2/write?org=North%20%26%20co&bucket=wind&precision=s"));
        const QJsonObject headers = r["headers"].toObject();
        QCOMPARE(headers["authorization"].toString(), QString("Token tok3n-secret=="));
        QCOMPARE(headers["content-type"].toString(), QString("text/plain; charset=utf-8"));
        const QStringList lines = r["body"].toString().split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 12 + 1);
        for (int i = 0; i < 12; ++i)
            QVERIFY2(QRegularExpression("^veldra_minute,site=North\\\\ barn\\\\,\\\\ 2\\\\=b volts_mean=[0-9.]+,.*"
                                        ",imported=[01]i,category=[0-7]i [0-9]{10}$")
                         .match(lines[i])
                         .hasMatch(),
                     qPrintable(lines[i]));
        QVERIFY(lines[12].startsWith("veldra_day,site=North\\ barn\\,\\ 2\\=b "));
    }
};

QTEST_GUILESS_MAIN(TestDataOut)
#include "tst_dataout.moc"
