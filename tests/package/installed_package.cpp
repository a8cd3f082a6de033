// SPDX-License-Identifier: GPL-3.0-or-later
// The Debian package, installed into a scratch root with dpkg-deb -x and run
// from there by a user with a fresh home on a virtual X display: the data
// folder is made with the delivered files, the program logs there, and a
// second program on it is refused; the manual and the file reference come
// with their pictures, and the simulated unit runs. scripts/package builds
// the package and runs this with VELDRA_DEB naming it.
#include "support/Processes.h"
#include "support/TestSupport.h"

#include <QtTest>

using testsupport::Pty;
using testsupport::lockHolder;
using testsupport::readFile;
using testsupport::run;

namespace { } // namespace

class TestInstalledPackage : public QObject {
    Q_OBJECT
    testsupport::VirtualDisplay m_xvfb;
    QTemporaryDir m_scratch;
    QString m_root;
    QString m_data;
    QProcessEnvironment m_env;

    void start(QProcess &p, const QString &edition)
    {
        p.setProcessEnvironment(m_env);
        p.start(m_root + "/usr/bin/" + edition, {});
        QVERIFY(p.waitForStarted());
    }

private slots:
    void initTestCase()
    {
        const QString deb = qEnvironmentVariable("VELDRA_DEB");
        QVERIFY2(QFileInfo(deb).isFile(), "VELDRA_DEB must name the package (scripts/package sets it)");
        m_root = m_scratch.filePath("root");
        QCOMPARE(QProcess::execute("dpkg-deb", {"-x", deb, m_root}), 0);
        QVERIFY(QDir().mkpath(m_scratch.filePath("home")));
        m_data = m_scratch.filePath("home/.local/share/veldra");

        QVERIFY2(m_xvfb.start(), "Xvfb and xdotool are needed (scripts/install-deps installs them)");
        const QString display = m_xvfb.name();

        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert("HOME", m_scratch.filePath("home"));
        m_env.remove("XDG_DATA_HOME");
        m_env.insert("DISPLAY", display);
        m_env.insert("QT_QPA_PLATFORM", "xcb");
    }

    void versionIsThePackages()
    {
        const QString version = run("dpkg-deb", {"-f", qEnvironmentVariable("VELDRA_DEB"), "Version"});
        QVERIFY(!version.isEmpty());
        for (const QString edition : {"crestdial", "flankdial", "veldra-service"})
            QCOMPARE(run(m_root + "/usr/bin/" + edition, {"--version"}), edition + " (Veldra) " + version);
    }

    // Every picture and page a page of the manual refers to lies beside it.
    void documentationIsWhole_data()
    {
        QTest::addColumn<QString>("page");
        QTest::newRow("manual") << "manual.html";
        QTest::newRow("file reference") << "files.html";
    }
    void documentationIsWhole()
    {
        QFETCH(QString, page);
        const QString doc = m_root + "/usr/share/doc/veldra/";
        const QString html = QString::fromUtf8(readFile(doc + page));
        QVERIFY2(html.contains("<h1"), qPrintable(page + " is missing or has no heading"));
        static const QRegularExpression refs("(?:src|href)=\"([^\"#:]+)[^\"]*\"");
        int pictures = 0;
        for (const auto &m : refs.globalMatch(html)) {
            const QString ref = m.captured(1);
            pictures += ref.endsWith(".png");
            QVERIFY2(QFileInfo(doc + ref).isFile(), qPrintable(page + " refers to " + ref + ", not installed"));
        }
        QVERIFY2(pictures > 0 || page != "manual.html", "the manual shows no picture");
    }

    // The installed simulator links its terminal into a folder while it runs
    // and takes the link away when it stops.
    void simulatorRunsFromThePackage()
    {
        const QString folder = m_scratch.filePath("trial");
        QVERIFY(QDir().mkpath(folder));
        QProcess unit;
        unit.start(m_root + "/usr/bin/veldra-simunit", {"--folder", folder, "--seconds", "3", "--quiet"});
        QVERIFY(unit.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(folder + "/COM1").symLinkTarget().startsWith("/dev/pts/"), 10000);
        QVERIFY(unit.waitForFinished(15000));
        QCOMPARE(unit.exitCode(), 0);
        QVERIFY(!QFileInfo(folder + "/COM1").isSymLink());
        QVERIFY(QFileInfo(m_root + "/usr/share/man/man1/veldra-simunit.1.gz").isFile());
    }

    void firstStartMakesTheDataFolder()
    {
        QVERIFY(!QFileInfo::exists(m_data));
        QProcess program;
        start(program, "crestdial");
        QTRY_COMPARE_WITH_TIMEOUT(lockHolder(m_data), program.processId(), 15000);
        // The lock is taken first and the files are written once the folder
        // is the program's, so they may come a moment after it.
        for (const QString f : {"prog.cfg", "settings.cfg", "html/template.asp"}) {
            const QByteArray delivered = readFile(m_root + "/usr/share/veldra/" + f);
            QVERIFY(!delivered.isEmpty());
            QTRY_COMPARE_WITH_TIMEOUT(readFile(m_data + "/" + f), delivered, 15000);
        }
        QVERIFY(QFileInfo(m_data + "/logs").isDir() && QFileInfo(m_data + "/Excel").isDir());
        // Killed, as when the session ends abruptly: the lock stays behind.
        program.kill();
        QVERIFY(program.waitForFinished(5000));
    }

    void logsThereAndShowsItToASecondStart()
    {
        QVERIFY(QFile::remove(m_data + "/prog.cfg"));
        QFile cfg(m_data + "/prog.cfg");
        QVERIFY(cfg.open(QIODevice::WriteOnly));
        cfg.write(testsupport::progCfg("1", "0", "0", "10", "1"));
        cfg.close();
        Pty pty(m_data + "/COM1");
        QVERIFY(pty.ok());

        QProcess logging;
        start(logging, "crestdial");
        QTRY_COMPARE_WITH_TIMEOUT(lockHolder(m_data), logging.processId(), 15000);
        const QString log = m_data + "/logs/" + QDate::currentDate().toString("yyyy_M_d") + ".txt";
        QElapsedTimer t;
        t.start();
        while (!QFileInfo::exists(log) && t.elapsed() < 30000) {
            pty.send("[<V>550.9</V><I>533</I><R>20.8</R><S>7.2</S><M>1</M>]");
            QTest::qWait(300);
        }
        QVERIFY2(readFile(log).startsWith("<V>13.45</V>"), "no record in the data folder's log after 30 s");

        // A second start on the data folder brings the running window to the front.
        QProcess second;
        start(second, "flankdial");
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(second.readAllStandardError().contains(
            QString("crestdial (process %1) already runs on the folder %2; its window was brought to the front.")
                .arg(logging.processId())
                .arg(m_data)
                .toLocal8Bit()));
        QCOMPARE(logging.state(), QProcess::Running);
        logging.terminate();
        logging.waitForFinished(5000);
    }

    // The service runs on the same data folder with no display at all, and
    // SIGTERM ends it cleanly.
    void serviceRunsWithoutADisplay()
    {
        QProcess service;
        QProcessEnvironment env = m_env;
        env.remove("DISPLAY");
        env.remove("QT_QPA_PLATFORM");
        service.setProcessEnvironment(env);
        service.start(m_root + "/usr/bin/veldra-service", {});
        QVERIFY(service.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(testsupport::lockHolder(m_data), service.processId(), 15000);
        service.terminate();
        QVERIFY(service.waitForFinished(10000));
        QCOMPARE(service.exitCode(), 0);
        QVERIFY(service.readAllStandardError().contains("Running on the folder " + m_data.toLocal8Bit()));
    }
};

QTEST_GUILESS_MAIN(TestInstalledPackage)
#include "installed_package.moc"
