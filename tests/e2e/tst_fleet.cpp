// SPDX-License-Identifier: GPL-3.0-or-later
// A fleet: ten built services on ten folders, each fed by its own simulated
// unit, push their minutes to one VictoriaMetrics; a query per site counts
// exactly the minutes that site archived, no other site's among them.
#include "archive/ArchiveDb.h"
#include "core/DataOut.h"
#include "core/Turbine.h"
#include "support/Processes.h"
#include "support/TestSupport.h"
#include "support/TimeSeries.h"
#include "web/WebSettingsFile.h"

#include <QtTest>

#include <memory>

using testsupport::ProgramFolder;

namespace {
const QByteArray kFrame = "[<V>532.48</V><I>522</I><R>2</R><S>3.2</S><M>0</M>]";
constexpr int kSites = 10;

struct Site {
    ProgramFolder folder;
    QProcess unit, service;
    ~Site()
    {
        testsupport::endProgram(service);
        unit.kill();
        unit.waitForFinished(3000);
    }
    int minutes() const
    {
        archive::ArchiveDb db;
        return db.open(folder.file("archive.sqlite"), true)
                   ? int(db.rows(archive::Step::Minute, 0, 4102444800).size())
                   : 0;
    }
};
} // namespace

class TestFleet : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        const QString missing = testsupport::timeSeriesMissing();
        if (!missing.isEmpty()) {
            if (qEnvironmentVariableIsSet("CI"))
                QFAIL(qPrintable(missing + " (scripts/install-deps installs it)"));
            QSKIP(qPrintable(missing + "; scripts/install-deps installs it"));
        }
    }

    void tenSitesInOneDatabase()
    {
        QTemporaryDir scratch;
        testsupport::VictoriaServer vm(scratch.filePath("vm"));
        QVERIFY(vm.start());
        std::vector<std::unique_ptr<Site>> sites;
        for (int i = 0; i < kSites; ++i) {
            auto site = std::make_unique<Site>();
            const ProgramFolder &f = site->folder;
            core::TurbineSettings t;
            t.site = "Site " + std::to_string(i);
            f.write("turbine.cfg", QByteArray::fromStdString(core::turbineSettingsText(t)));
            core::DataOutSettings d;
            d.on = true;
            d.kind = "victoriametrics";
            d.url = vm.url().toStdString();
            f.write("dataout.cfg", QByteArray::fromStdString(core::dataOutSettingsText(d)));
            const int port = testsupport::freePort();
            core::WebSettings w;
            w.on = true;
            w.port = std::to_string(port);
            QVERIFY(web::writeWebSettingsFile(f.file("web.cfg"), w));
            f.write("frame.txt", kFrame + "\n");
            site->unit.setProcessChannelMode(QProcess::ForwardedChannels);
            QVERIFY(
                testsupport::startUnit(site->unit, f.path(), {"--replay", f.file("frame.txt"), "--rate", "2"}));
            QTRY_VERIFY_WITH_TIMEOUT(f.exists("COM1"), 10000);
            QVERIFY(testsupport::startServing(site->service, f.path(), "veldra-service", testsupport::progCfg("1"),
                                              port));
            sites.push_back(std::move(site));
        }
        // Each archives its first minute when it ends; then each site's
        // count in the database is its own archive's.
        for (const auto &site : sites)
            QTRY_VERIFY_WITH_TIMEOUT(site->minutes() >= 1, 90000);
        for (int i = 0; i < kSites; ++i) {
            const QString name = QStringLiteral("Site %1").arg(i);
            const int kept = sites[size_t(i)]->minutes();
            QTRY_COMPARE_WITH_TIMEOUT(vm.points("veldra_minute", "frames", name), kept, 20000);
            QCOMPARE(vm.points("veldra_minute", "volts_mean", name), kept);
        }
        QCOMPARE(vm.points("veldra_minute", "frames", "Site 10"), 0);
    }
};

QTEST_GUILESS_MAIN(TestFleet)
#include "tst_fleet.moc"
