// SPDX-License-Identifier: GPL-3.0-or-later
// Backups by the built program: one taken while minutes are written as fast
// as the archive takes them (whole, holding every minute up to its start,
// and no minute lost meanwhile); the backup killed at moments through its
// work (nothing that looks whole is left, the next one works); a folder
// damaged and restored (every file back byte for byte, the files replaced
// kept aside, the program starting on it; refused while a program holds the
// folder); and the destinations that must be refused.
#include "archive/ArchiveDb.h"
#include "archive/ArchiveWriter.h"
#include "archive/Backup.h"
#include "web/WebSettingsFile.h"
#include "support/Processes.h"
#include "support/TestSupport.h"

#include <QtTest>
#include <atomic>
#include <cmath>
#include <csignal>
#include <thread>

namespace {

core::ArchiveRow minuteAt(std::int64_t t, int i)
{
    core::ArchiveRow r;
    r.t = t;
    r.utcOffset = 0;
    r.minutes = 1;
    r.frames = 30;
    const double wind = 4 + 3 * std::sin(i / 37.0), watts = wind * wind * 4;
    r.volts = {30, 30 * 13.0, 12.9, 13.1};
    r.watts = {30, 30 * watts, watts, watts};
    r.wind = {30, 30 * wind, wind, wind};
    r.windUnit = "mph";
    r.energyWh = watts / 60;
    return r;
}

// A folder with its settings, logs (the last line being written), a
// template, what is not backed up, and an archive of `minutes`.
void fill(const testsupport::ProgramFolder &f, int minutes)
{
    f.write("prog.cfg", testsupport::progCfg("1"));
    f.write("settings.cfg", "<Gain>1</Gain>\r\n");
    f.write("turbine.cfg", "<RotorDiameter>2.2</RotorDiameter>\r\n");
    f.write("logs/2026_3_7.txt", "<V>13.1</V>\r\n<V>13.2</V>\r\n<V>13");
    f.write("logs/energy.csv", "date,energy_wh\r\n2026-03-07,1500\r\n");
    f.write("html/template.asp", "<html>[V]</html>\r\n");
    f.write("outbox.txt", "a message waiting\n");
    f.write("web.sessions", "logins\n");
    archive::ArchiveDb db;
    QVERIFY(db.open(f.file("archive.sqlite"), false));
    const std::int64_t start = 1772841600;
    for (int i = 0; i < minutes; ++i)
        QVERIFY(db.write(minuteAt(start + 60 * std::int64_t(i), i)));
}

long long minutesIn(const QString &archiveFile)
{
    archive::ArchiveDb db;
    if (!db.open(archiveFile, true))
        return -1;
    const auto span = db.minuteSpan();
    return span ? (long long)db.rows(archive::Step::Minute, span->first, span->second + 60).size() : 0;
}

QString backupOf(const QString &folder, const QString &dest, QString *printed = nullptr)
{
    QProcess p;
    p.start(qEnvironmentVariable("VELDRA_BIN") + "/veldra-service", {"--backup", dest, "--folder", folder});
    p.waitForFinished(120000);
    if (printed)
        *printed = QString::fromLocal8Bit(p.readAllStandardOutput() + p.readAllStandardError());
    const QStringList made = archive::backupsIn(dest);
    return p.exitCode() == 0 && !made.isEmpty() ? QDir(dest).filePath(made.last()) : QString();
}

} // namespace

class TestBackup : public QObject {
    Q_OBJECT
private slots:
    // The writer goes on at full rate while the built program copies.
    void whileMinutesAreWritten()
    {
        testsupport::ProgramFolder folder;
        fill(folder, 2000);
        QTemporaryDir dest;
        std::atomic<bool> stop{false};
        std::atomic<long long> written{2000}, failed{0};
        std::thread writer([&] {
            archive::ArchiveDb db;
            if (!db.open(folder.file("archive.sqlite"), false))
                return void(++failed);
            for (long long i = written; !stop; ++i) {
                if (!db.write(minuteAt(1772841600 + 60 * i, int(i))))
                    ++failed;
                written = i + 1;
            }
        });
        QThread::msleep(300);
        const long long before = written;
        const QString made = backupOf(folder.path(), dest.path());
        stop = true;
        writer.join();
        QVERIFY2(!made.isEmpty(), "no backup was made");
        QCOMPARE(failed.load(), 0LL);
        QString why;
        QVERIFY2(archive::checkBackup(made, &why), qPrintable(why));
        const long long copied = minutesIn(made + "/archive.sqlite");
        QVERIFY2(copied >= before && copied <= written, qPrintable(QString("%1 of %2..%3").arg(copied).arg(before).arg(written.load())));
        QCOMPARE(minutesIn(folder.file("archive.sqlite")), written.load());
        // The line being written stays for the next backup; the running program's own files stay out.
        QCOMPARE(testsupport::readFile(made + "/logs/2026_3_7.txt"), QByteArray("<V>13.1</V>\r\n<V>13.2</V>\r\n"));
        QVERIFY(!QFileInfo::exists(made + "/outbox.txt") && !QFileInfo::exists(made + "/web.sessions"));
        QCOMPARE(QFileInfo(made).permissions() & (QFile::ReadOther | QFile::ReadGroup), QFile::Permissions());
        QCOMPARE(QFileInfo(made + "/prog.cfg").permissions() & (QFile::ReadOther | QFile::ReadGroup), QFile::Permissions());
    }

    // Killed at moments through its work: a folder named as a backup is
    // always whole, and the next backup works and sweeps up the half-made.
    void killed()
    {
        testsupport::ProgramFolder folder;
        fill(folder, 60000);
        QTemporaryDir dest;
        for (const int ms : {20, 60, 120, 200, 350, 600}) {
            QProcess p;
            p.start(qEnvironmentVariable("VELDRA_BIN") + "/veldra-service", {"--backup", dest.path(), "--folder", folder.path()});
            QVERIFY(p.waitForStarted());
            QThread::msleep(ms);
            testsupport::signalProcess(p, SIGKILL); // a backup done already is no fault
            p.waitForFinished();
            for (const QString &name : archive::backupsIn(dest.path())) {
                QString why;
                QVERIFY2(archive::checkBackup(QDir(dest.path()).filePath(name), &why), qPrintable(why));
            }
            QThread::msleep(1000); // a second apart, as two backups' names are
        }
        const QString made = backupOf(folder.path(), dest.path());
        QString why;
        QVERIFY2(!made.isEmpty() && archive::checkBackup(made, &why), qPrintable(why));
        QCOMPARE(minutesIn(made + "/archive.sqlite"), 60000LL);
        QCOMPARE(QDir(dest.path()).entryList({".veldra-backup-*"}, QDir::Dirs | QDir::Hidden), QStringList());
    }

    void roundTrip()
    {
        testsupport::ProgramFolder folder;
        fill(folder, 500);
        QTemporaryDir dest;
        const QString made = backupOf(folder.path(), dest.path());
        QVERIFY(!made.isEmpty());
        const QStringList files{"prog.cfg", "settings.cfg", "turbine.cfg", "logs/energy.csv", "html/template.asp",
                                "archive.sqlite"};
        // Damaged: the archive gone (its journal left behind), a setting changed, a log grown.
        QVERIFY(QFile::remove(folder.file("archive.sqlite")));
        folder.write("archive.sqlite-wal", "not this archive's journal");
        folder.write("settings.cfg", "<Gain>9</Gain>\r\n");

        // Refused while a program holds the folder, naming it.
        QProcess service;
        const int port = testsupport::freePort();
        core::WebSettings web;
        web.on = true;
        web.port = std::to_string(port);
        QVERIFY(web::writeWebSettingsFile(folder.file("web.cfg"), web));
        QVERIFY(testsupport::startServing(service, folder.path(), "veldra-service", testsupport::progCfg("1"), port));
        QString said;
        {
            QProcess p;
            p.start(qEnvironmentVariable("VELDRA_BIN") + "/crestdial", {"--restore", made, "--folder", folder.path()});
            p.waitForFinished(60000);
            said = QString::fromLocal8Bit(p.readAllStandardError());
            QCOMPARE(p.exitCode(), 1);
        }
        QVERIFY2(said.contains("Nothing was restored") && said.contains("veldra-service"), qPrintable(said));
        testsupport::endProgram(service);
        QFile::remove(folder.file("archive.sqlite")); // the service made a new one
        QFile::remove(folder.file("archive.sqlite-wal"));
        folder.write("archive.sqlite-wal", "not this archive's journal");
        folder.write("outbox.txt", "a newer message\n");

        const QString printed = testsupport::run(qEnvironmentVariable("VELDRA_BIN") + "/crestdial",
                                                 {"--restore", made, "--folder", folder.path()});
        QVERIFY2(printed.contains("Restored into"), qPrintable(printed));
        for (const QString &f : files)
            QVERIFY2(folder.read(f) == testsupport::readFile(made + "/" + f), qPrintable(f));
        QCOMPARE(folder.read("settings.cfg.before-restore"), QByteArray("<Gain>9</Gain>\r\n"));
        QVERIFY(!folder.exists("archive.sqlite-wal") && folder.exists("archive.sqlite-wal.before-restore"));
        QCOMPARE(folder.read("outbox.txt"), QByteArray("a newer message\n"));
        // The program starts on it and goes on.
        QVERIFY(testsupport::startServing(service, folder.path(), "veldra-service", testsupport::progCfg("1"), port));
        testsupport::endProgram(service);
        QCOMPARE(minutesIn(folder.file("archive.sqlite")), 500LL);

        // Into a new folder: a working program folder.
        QTemporaryDir elsewhere;
        const QString fresh = elsewhere.path() + "/a new folder é";
        QVERIFY(testsupport::run(qEnvironmentVariable("VELDRA_BIN") + "/veldra-service",
                                 {"--restore", made, "--folder", fresh})
                    .contains("Restored into"));
        QVERIFY(web::writeWebSettingsFile(fresh + "/web.cfg", web));
        QVERIFY(testsupport::startServing(service, fresh, "veldra-service", testsupport::progCfg("1"), port));
        testsupport::endProgram(service);
        QCOMPARE(minutesIn(fresh + "/archive.sqlite"), 500LL);
    }

    void refused_data()
    {
        QTest::addColumn<QString>("dest"); // "<folder>" stands for the program folder
        QTest::addColumn<bool>("marked");
        QTest::addColumn<QString>("why");
        QTest::newRow("the folder itself") << "<folder>" << false << "cannot go into the program folder";
        QTest::newRow("inside it") << "<folder>/logs" << false << "cannot go into the program folder";
        QTest::newRow("gone") << "/nonexistent/stick" << false << "is not there";
        QTest::newRow("without the marker") << "<dest>" << true << "lacks veldra-backups.txt";
        QTest::newRow("full") << "<full>" << false << "is there room";
    }
    void refused()
    {
        QFETCH(QString, dest);
        QFETCH(bool, marked);
        QFETCH(QString, why);
        testsupport::ProgramFolder folder;
        fill(folder, 3000);
        QTemporaryDir other;
        const QString small = other.path() + "/small disk";
        if (dest == "<full>") {
            QDir().mkpath(small);
            if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", small}) != 0) {
                if (qEnvironmentVariableIsSet("CI"))
                    QFAIL("a small disk could not be mounted (the tests run as root)");
                QSKIP("a small disk needs root to mount");
            }
        }
        const QString to = QString(dest).replace("<folder>", folder.path()).replace("<dest>", other.path()).replace("<full>", small);
        QString said;
        const auto made = archive::makeBackup(folder.path(), to, QDateTime::currentDateTime(), marked, &said);
        if (dest == "<full>") {
            QStringList left = QDir(small).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
            QProcess::execute("umount", {small});
            QCOMPARE(left, QStringList());
            QVERIFY2(said.contains("could not be") || said.contains(why), qPrintable(said));
        } else {
            QVERIFY2(said.contains(why), qPrintable(said));
        }
        QVERIFY(!made);
    }
};

QTEST_MAIN(TestBackup)
#include "tst_backup.moc"
