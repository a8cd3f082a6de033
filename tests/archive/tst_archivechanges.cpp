// SPDX-License-Identifier: GPL-3.0-or-later
// The archive's changes numbered for data out: every kind of write gives the
// minute a new number, an older archive's minutes are numbered when it is
// brought up to date, and retention counts what it lets go unsent.

#include "archive/ArchiveDb.h"
#include "archive/SummaryRows.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>

namespace {

// 2026-03-29 00:58:00 UTC.
constexpr std::int64_t kBase = 1774745880;

core::ArchiveRow minute(std::int64_t t, double volts, long long frames = 60, double noData = 0)
{
    core::ArchiveRow r;
    r.t = t;
    r.minutes = 1;
    r.frames = frames;
    r.noDataSeconds = noData;
    r.energyWh = volts / 10;
    for (long long i = 0; i < frames; ++i) {
        r.volts.add(volts);
        r.amps.add(10);
    }
    return r;
}

int sql(const QString &path, const char *text)
{
    sqlite3 *db = nullptr;
    sqlite3_open(path.toUtf8().constData(), &db);
    const int rc = sqlite3_exec(db, text, nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return rc;
}

struct Changed {
    QList<qlonglong> times, seqs;
    QList<bool> imported;
    int days = 0;
};

Changed changedAfter(archive::ArchiveDb &db, std::int64_t after)
{
    Changed c;
    const std::int64_t last = db.lastChange().value_or(-1);
    db.changedMinutes(after, last, 100, [&](std::int64_t seq, const core::ArchiveRow &m) {
        c.times << (m.t - kBase) / 60;
        c.seqs << seq;
        c.imported << (m.imported != 0);
    });
    db.changedDays(after, last, [&](const core::ArchiveRow &) { ++c.days; });
    return c;
}

// Hour rows in a form two reads can be compared by.
QStringList hourTexts(const std::vector<core::ArchiveRow> &rows)
{
    QStringList out;
    for (const core::ArchiveRow &r : rows)
        out << QString("%1:%2:%3:%4:%5").arg((r.t - kBase) / 3600).arg(r.minutes).arg(r.imported).arg(r.volts.n).arg(r.volts.sum);
    return out;
}

} // namespace

class TestArchiveChanges : public QObject {
    Q_OBJECT
private slots:
    // After minutes 0 and 1 (measured) and 5 (imported) are kept, one more
    // write: the minutes it changed come after every earlier change, once each.
    void everyWriteIsAChange_data()
    {
        QTest::addColumn<QString>("write");
        QTest::addColumn<QList<qlonglong>>("changed");
        QTest::addColumn<bool>("imported");
        QTest::newRow("a new minute") << "measured 2" << QList<qlonglong>{2} << false;
        QTest::newRow("merged after a restart") << "measured 1" << QList<qlonglong>{1} << false;
        QTest::newRow("imported") << "imported 3" << QList<qlonglong>{3} << true;
        QTest::newRow("an import replaced by a measured minute") << "measured 5" << QList<qlonglong>{5} << false;
        // The daily logs never touch a minute kept: nothing to send.
        QTest::newRow("an import of a kept minute") << "imported 1" << QList<qlonglong>{} << false;
    }
    void everyWriteIsAChange()
    {
        QFETCH(QString, write);
        QFETCH(QList<qlonglong>, changed);
        QFETCH(bool, imported);
        QTemporaryDir dir;
        archive::ArchiveDb db;
        QVERIFY(db.open(dir.filePath("archive.sqlite"), false));
        QVERIFY(db.write(minute(kBase, 12, 30, 30)));
        QVERIFY(db.write(minute(kBase + 60, 12, 30, 30)));
        core::ArchiveRow logged = minute(kBase + 300, 20, 1);
        QCOMPARE(db.addImported({logged}), 1LL);
        const std::int64_t before = *db.lastChange();
        QCOMPARE(changedAfter(db, 0).times, (QList<qlonglong>{0, 1, 5}));

        const QStringList parts = write.split(' ');
        const std::int64_t t = kBase + 60 * parts[1].toInt();
        if (parts[0] == "measured")
            QVERIFY(db.write(minute(t, 12, 30, 30)));
        else
            QVERIFY(db.addImported({minute(t, 20, 1)}) >= 0);

        const Changed c = changedAfter(db, before);
        QCOMPARE(c.times, changed);
        QCOMPARE(c.days, changed.isEmpty() ? 0 : 1);
        if (!changed.isEmpty()) {
            QVERIFY(c.seqs[0] > before);
            QCOMPARE(c.imported[0], imported);
            // The minute is one change, not kept under its old number too.
            QCOMPARE(changedAfter(db, 0).times.count(changed[0]), 1);
        }
    }

    // The hours kept between two reads of a span, after a change between
    // them, are what the archive holds then, read afresh.
    void hoursKeptBetweenReads_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("from"); // the second span, in hours from the base
        QTest::addColumn<int>("to");
        QTest::newRow("nothing") << "" << 0 << 20;
        QTest::newRow("the current hour written") << "measured 1199" << 0 << 20;
        QTest::newRow("a new hour") << "measured 1230" << 0 << 22;
        QTest::newRow("an old hour imported into") << "imported 61" << 0 << 20;
        QTest::newRow("a change outside the span") << "imported 1500" << 0 << 20;
        QTest::newRow("moved later") << "measured 1199" << 10 << 25;
        QTest::newRow("moved earlier") << "" << -5 << 15;
        QTest::newRow("apart") << "" << 22 << 28;
        QTest::newRow("more changes than are taken one by one") << "import 2500" << 0 << 20;
        QTest::newRow("a new archive in its place") << "new" << 0 << 20;
    }
    void hoursKeptBetweenReads()
    {
        QFETCH(QString, change);
        QFETCH(int, from);
        QFETCH(int, to);
        QTemporaryDir dir;
        const QString path = dir.filePath("archive.sqlite");
        auto writer = std::make_unique<archive::ArchiveDb>();
        QVERIFY(writer->open(path, false));
        for (int i = 0; i < 1800; i += 7)
            QVERIFY(writer->write(minute(kBase + 60 * i, 12 + i % 5)));
        archive::ArchiveDb reader;
        QVERIFY(reader.open(path, true));
        archive::SummaryRows kept;
        const auto hour = [](int h) { return kBase + 3600 * h; };
        QVERIFY(kept.read(reader, path, archive::Step::Hour, hour(0), hour(20), [](const auto &) {}));

        const QStringList parts = change.split(' ');
        if (parts[0] == "measured") {
            QVERIFY(writer->write(minute(kBase + 60 * parts[1].toInt(), 14)));
        } else if (parts[0] == "imported") {
            QCOMPARE(writer->addImported({minute(kBase + 60 * parts[1].toInt(), 20, 1)}), 1LL);
        } else if (parts[0] == "import") {
            std::vector<core::ArchiveRow> logs;
            for (int i = 0; i < parts[1].toInt(); ++i)
                if (i % 7)
                    logs.push_back(minute(kBase + 60 * i, 30, 1));
            QVERIFY(writer->addImported(logs) > 2000);
        } else if (change == "new") {
            reader.close();
            writer.reset();
            QVERIFY(QFile::remove(path));
            writer = std::make_unique<archive::ArchiveDb>();
            QVERIFY(writer->open(path, false));
            for (int i = 0; i < 600; i += 11)
                QVERIFY(writer->write(minute(kBase + 60 * i, 40)));
            QVERIFY(reader.open(path, true));
        }
        std::vector<core::ArchiveRow> again;
        QVERIFY(kept.read(reader, path, archive::Step::Hour, hour(from), hour(to), [&again](const auto &rows) { again = rows; }));
        QCOMPARE(hourTexts(again), hourTexts(reader.rows(archive::Step::Hour, hour(from), hour(to))));
        QVERIFY(!again.empty());
    }

    // An archive of the schema before: its minutes and days take numbers
    // oldest first, and new changes follow them.
    void olderArchiveNumbered()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("archive.sqlite");
        {
            archive::ArchiveDb db;
            QVERIFY(db.open(path, false));
            for (const int i : {2, 0, 1})
                QVERIFY(db.write(minute(kBase + 60 * i, 12)));
        }
        QCOMPARE(sql(path, "DROP INDEX minute_seq; DROP INDEX day_seq; ALTER TABLE minute DROP COLUMN seq; "
                           "ALTER TABLE day DROP COLUMN seq; DELETE FROM meta WHERE key = 'seq'; "
                           "PRAGMA user_version = 4;"),
                 SQLITE_OK);
        archive::ArchiveDb db;
        QVERIFY2(db.open(path, false), qPrintable(db.error()));
        QCOMPARE(*db.lastChange(), std::int64_t(4)); // three minutes and a day
        const Changed all = changedAfter(db, 0);
        QCOMPARE(all.times, (QList<qlonglong>{0, 1, 2}));
        QCOMPARE(all.seqs, (QList<qlonglong>{1, 2, 3}));
        QCOMPARE(all.days, 1);
        QVERIFY(db.write(minute(kBase + 180, 12)));
        QCOMPARE(changedAfter(db, 4).times, QList<qlonglong>{3});
        QCOMPARE(db.integrityCheck(), std::string("ok"));
    }

    // Minutes let go before the sender had them are counted, ever; those it
    // had, or with nothing sent at all, are not.
    void retentionCountsUnsent_data()
    {
        QTest::addColumn<int>("sentUpTo"); // -1: nothing is sent
        QTest::addColumn<qlonglong>("unsent");
        QTest::newRow("nothing sent") << -1 << 0LL;
        QTest::newRow("none confirmed") << 0 << 3LL;
        QTest::newRow("the first two confirmed") << 2 << 1LL;
        QTest::newRow("all confirmed") << 100 << 0LL;
    }
    void retentionCountsUnsent()
    {
        QFETCH(int, sentUpTo);
        QFETCH(qlonglong, unsent);
        QTemporaryDir dir;
        archive::ArchiveDb db;
        QVERIFY(db.open(dir.filePath("archive.sqlite"), false));
        // Minutes 0, 1, 2 take numbers 1, 3, 5 (each with its day's change).
        for (int i = 0; i < 5; ++i)
            QVERIFY(db.write(minute(kBase + 60 * i, 12)));
        const auto seqOf = [&](int i) {
            std::int64_t seq = 0;
            db.changedMinutes(0, 1000, 100, [&](std::int64_t s, const core::ArchiveRow &m) {
                if (m.t == kBase + 60 * i)
                    seq = s;
            });
            return seq;
        };
        const std::optional<std::int64_t> sent = sentUpTo < 0 ? std::nullopt
                                                              : std::optional<std::int64_t>(
                                                                  sentUpTo == 2 ? seqOf(1) : sentUpTo);
        QVERIFY(db.forgetMinutesBefore(kBase + 180, sent));
        QCOMPARE(db.rows(archive::Step::Minute, 0, kBase * 2).size(), size_t(2));
        QCOMPARE(qlonglong(db.unsentForgotten()), unsent);
        // Counted again at the next cut, added up.
        QVERIFY(db.forgetMinutesBefore(kBase + 240, sent));
        QCOMPARE(qlonglong(db.unsentForgotten()), unsent + (sentUpTo == 0 || sentUpTo == 2 ? 1 : 0));
    }
};

QTEST_GUILESS_MAIN(TestArchiveChanges)
#include "tst_archivechanges.moc"
