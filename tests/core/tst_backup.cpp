// SPDX-License-Identifier: GPL-3.0-or-later
// Backups' names, their manifest read back (and every way a damaged or
// hostile one is refused), what the schedule keeps, and backup.cfg's checks.
#include "core/Backup.h"

#include <QtTest>

using core::BackupStamp;

namespace {
BackupStamp at(int y, int m, int d, int h = 3) { return {{y, m, d}, h, 0, 0}; }
const std::string kDigest(64, 'a');
} // namespace

class TstBackup : public QObject {
    Q_OBJECT
private slots:
    void names_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("read");
        QTest::newRow("one we make") << "veldra-backup-20261210-030000" << true;
        QTest::newRow("the leap day") << "veldra-backup-20280229-235959" << true;
        QTest::newRow("no such day") << "veldra-backup-20270229-030000" << false;
        QTest::newRow("hour 24") << "veldra-backup-20261210-240000" << false;
        QTest::newRow("half made") << ".veldra-backup-20261210-030000.partial" << false;
        QTest::newRow("short") << "veldra-backup-2026121-030000" << false;
        QTest::newRow("something else") << "photos" << false;
    }
    void names()
    {
        QFETCH(QString, name);
        QFETCH(bool, read);
        const auto stamp = core::readBackupName(name.toStdString());
        QCOMPARE(stamp.has_value(), read);
        if (stamp)
            QCOMPARE(QString::fromStdString(core::backupName(*stamp)), name);
    }

    void manifest_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("why"); // empty: read
        const QString head = "Veldra backup\nschema 4\nmade 2026-12-10T03:00:00\n";
        const QString digest = QString::fromStdString(kDigest);
        QTest::newRow("files with blanks") << head + "file 12 " + digest + " logs/2026_3_7.txt\nfile 0 " + digest
                                                      + " my notes.cfg\n"
                                           << "";
        QTest::newRow("not a manifest") << "hello\n" << "it is not a backup's manifest";
        QTest::newRow("up a folder") << head + "file 1 " + digest + " ../prog.cfg\n" << "line 4 names a file outside the backup";
        QTest::newRow("absolute") << head + "file 1 " + digest + " /etc/passwd\n" << "line 4 names a file outside the backup";
        QTest::newRow("a drive") << head + "file 1 " + digest + " C:evil\n" << "line 4 names a file outside the backup";
        QTest::newRow("twice") << head + "file 1 " + digest + " a\nfile 1 " + digest + " a\n" << "line 5 names a a second time";
        QTest::newRow("bad digest") << head + "file 1 " + QString(64, 'G') + " a\n" << "line 4 has no size or digest";
        QTest::newRow("cut short") << head + "file 1 " + digest.left(20) << "line 4 is not a file's line";
        QTest::newRow("no schema") << "Veldra backup\nmade x\n" << "it lacks the schema or the time it was made";
    }
    void manifest()
    {
        QFETCH(QString, text);
        QFETCH(QString, why);
        std::string said;
        const auto m = core::readManifest(text.toStdString(), &said);
        QCOMPARE(QString::fromStdString(said), why);
        QCOMPARE(m.has_value(), why.isEmpty());
        if (m) {
            QCOMPARE(m->schema, 4);
            QCOMPARE(QString::fromStdString(core::manifestText(*m)), text);
        }
    }

    void keeps_data()
    {
        QTest::addColumn<QList<int>>("days");    // backups made this many days before today (Thu 2026-12-10)
        QTest::addColumn<int>("keepDays");
        QTest::addColumn<int>("keepWeeks");
        QTest::addColumn<QList<int>>("dropped"); // indexes
        QTest::newRow("a daily backup for 40 days, 7 and 4") << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 17, 24, 31, 39}
                                                            << 7 << 4 << QList<int>{7, 8, 9, 10, 12, 14, 15};
        QTest::newRow("two the same day: the later kept") << QList<int>{0, 0} << 7 << 0 << QList<int>{0};
        QTest::newRow("weeks only") << QList<int>{0, 3, 4, 10, 20} << 1 << 2 << QList<int>{1, 3, 4};
    }
    void keeps()
    {
        QFETCH(QList<int>, days);
        QFETCH(int, keepDays);
        QFETCH(int, keepWeeks);
        QFETCH(QList<int>, dropped);
        const QDate today(2026, 12, 10);
        std::vector<BackupStamp> made;
        for (int i = 0; i < days.size(); ++i) {
            const QDate d = today.addDays(-days[i]);
            made.push_back(at(d.year(), d.month(), d.day(), 3 + i % 2));
        }
        QList<int> got;
        for (const size_t i : core::backupsToDrop(made, {2026, 12, 10}, keepDays, keepWeeks))
            got << int(i);
        QCOMPARE(got, dropped);
    }

    void settings_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("problem");
        QTest::newRow("defaults, off") << "" << "";
        QTest::newRow("on, a folder") << "<BackupOn>1</BackupOn><Folder>/media/usb stick</Folder>" << "";
        QTest::newRow("on, no folder") << "<BackupOn>1</BackupOn>" << "Choose the folder the backups go to (a USB stick, a mounted share).";
        QTest::newRow("a bad time") << "<Time>3 am</Time>" << "The time of the daily backup must be hh:mm, such as 03:00.";
        QTest::newRow("25:00") << "<Time>25:00</Time>" << "The time of the daily backup must be hh:mm, such as 03:00.";
        QTest::newRow("no days") << "<Days>0</Days>" << "The days of backups kept must be a whole number from 1 to 366.";
        QTest::newRow("weeks not a number") << "<Weeks>four</Weeks>" << "The weeks of backups kept must be a whole number from 0 to 520.";
    }
    void settings()
    {
        QFETCH(QString, text);
        QFETCH(QString, problem);
        const core::BackupSettings s = core::readBackupSettings(text.toStdString());
        QCOMPARE(QString::fromStdString(core::backupSettingsProblem(s).value_or("")), problem);
        QCOMPARE(core::readBackupSettings(core::backupSettingsText(s)).folder, s.folder);
    }
};

QTEST_MAIN(TstBackup)
#include "tst_backup.moc"
