// SPDX-License-Identifier: GPL-3.0-or-later
// The Archive and Backup pages of the Options window: what they save and
// what they refuse; and the daily backup over days of a settable clock.

#include "archive/ArchivePage.h"
#include "archive/Backup.h"
#include "archive/BackupPage.h"
#include "archive/BackupWatch.h"
#include "core/Archive.h"
#include "support/Fakes.h"
#include "support/TestSupport.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

class TstArchivePage : public QObject {
    Q_OBJECT
private slots:
    void save_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<int>("saved"); // -1: refused
        QTest::newRow("a month") << "30" << 30;
        QTest::newRow("for ever") << "0" << 0;
        QTest::newRow("blanks around") << " 365 " << 365;
        QTest::newRow("negative") << "-1" << -1;
        QTest::newRow("a fraction") << "1.5" << -1;
        QTest::newRow("empty") << "" << -1;
        QTest::newRow("words") << "two years" << -1;
    }
    void save()
    {
        QFETCH(QString, entry);
        QFETCH(int, saved);
        testsupport::ProgramFolder folder;
        testsupport::FakeServices fake(folder.path());
        archive::ArchivePage page(fake.services());
        QCOMPARE(page.MinuteDays->text(), QString("730"));
        page.MinuteDays->setText(entry);
        QCOMPARE(page.save(), saved >= 0);
        QCOMPARE(fake.messages.texts.size(), saved >= 0 ? 0 : 1);
        QCOMPARE(folder.exists("archive.cfg"), saved >= 0);
        if (saved >= 0)
            QCOMPARE(core::readArchiveSettings(folder.read("archive.cfg").toStdString()).minuteDays, saved);
    }

    void backupPage_data()
    {
        QTest::addColumn<QString>("folder"); // "<other>" another disk's folder, "<own>" the program folder
        QTest::addColumn<bool>("saved");
        QTest::newRow("another disk") << "<other>" << true;
        QTest::newRow("none, off") << "" << true;
        QTest::newRow("the program folder") << "<own>" << false;
        QTest::newRow("not there") << "/nonexistent/stick" << false;
    }
    void backupPage()
    {
        QFETCH(QString, folder);
        QFETCH(bool, saved);
        testsupport::ProgramFolder own;
        QTemporaryDir other;
        testsupport::FakeServices fake(own.path());
        archive::BackupWatch watch(fake.services());
        archive::BackupPage page(fake.services(), &watch);
        const QString dest = QString(folder).replace("<other>", other.path()).replace("<own>", own.path());
        page.Folder->setText(dest);
        QCOMPARE(page.save(), saved);
        QCOMPARE(own.exists("backup.cfg"), saved);
        QCOMPARE(QFileInfo::exists(other.path() + "/veldra-backups.txt"), folder == "<other>");
        if (folder != "<other>")
            return;
        own.write("prog.cfg", "<Port>1</Port>\r\n");
        page.BackupNow->click();
        QTRY_VERIFY(!watch.running() && watch.lastGood());
        QCOMPARE(archive::backupsIn(other.path()).size(), 1);
        QVERIFY2(page.Status->text().startsWith("Last backup: "), qPrintable(page.Status->text()));
    }

    // Ten days of a daily backup at 03:00 keeping 3 days and 2 weeks; the
    // marker taken away on day 6 (a share not mounted) fails two tries,
    // told once, counted for the alarm.
    void dailyBackup()
    {
        testsupport::ProgramFolder own;
        own.write("prog.cfg", "<Port>1</Port>\r\n");
        QTemporaryDir dest;
        QString why;
        QVERIFY(archive::markBackupDestination(dest.path(), &why));
        core::BackupSettings s;
        s.on = true;
        s.folder = dest.path().toStdString();
        s.days = "3";
        s.weeks = "2";
        own.write("backup.cfg", QByteArray::fromStdString(core::backupSettingsText(s)));
        testsupport::FakeServices fake(own.path());
        fake.clock.msPerRead = 0;
        archive::BackupWatch watch(fake.services());
        QSignalSpy failures(&watch, &archive::BackupWatch::failures);
        const QDate first(2026, 11, 30); // a Monday
        QList<int> kept, failed;
        for (int d = 0; d < 10; ++d) {
            if (d == 6)
                QFile::remove(dest.path() + "/veldra-backups.txt");
            if (d == 7)
                QVERIFY(archive::markBackupDestination(dest.path(), &why));
            for (const QTime t : {QTime(2, 59), QTime(3, 0), QTime(3, 30), QTime(4, 1)}) {
                fake.clock.set(QDateTime(first.addDays(d), t));
                watch.check();
                QTRY_VERIFY(!watch.running());
            }
            kept << int(archive::backupsIn(dest.path()).size());
            failed << watch.failedInARow();
        }
        // Days kept: the last 3, and the newest of this week and of the week before.
        QCOMPARE(kept, (QList<int>{1, 2, 3, 3, 3, 3, 3, 2, 3, 4}));
        QCOMPARE(failed, (QList<int>{0, 0, 0, 0, 0, 0, 2, 0, 0, 0}));
        QCOMPARE(fake.messages.texts.size(), 1);
        QVERIFY2(fake.messages.texts[0].contains("lacks veldra-backups.txt"), qPrintable(fake.messages.texts[0]));
        QCOMPARE(failures.last().at(0).toInt(), 0);
    }
};

QTEST_MAIN(TstArchivePage)
#include "tst_archivepage.moc"
