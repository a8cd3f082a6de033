// SPDX-License-Identifier: GPL-3.0-or-later
// The messages of a program without windows: one line each on the stream.
#include "ui/Clock.h"
#include "ui/StreamMessages.h"

#include <QtTest>
#include <cstdio>
#include <sys/stat.h>

namespace {
struct FixedClock : ui::Clock {
    QDateTime now() const override { return QDateTime(QDate(2026, 12, 8), QTime(14, 5, 15)); }
    double monotonicSeconds() const override { return 0; }
};
} // namespace

class TestStreamMessages : public QObject {
    Q_OBJECT
private slots:
    void writesOneLineEach_data()
    {
        QTest::addColumn<QString>("call");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<int>("prefix");
        const int none = int(ui::StreamMessageService::Prefix::None);
        const int journal = int(ui::StreamMessageService::Prefix::Journal);
        const int time = int(ui::StreamMessageService::Prefix::Time);
        // The journal adds its own time: only the priority goes in front.
        QTest::newRow("journal: a box that waits is an error")
            << "inform" << "Error opening port 2." << QByteArray("<3>Error opening port 2.\n") << journal;
        QTest::newRow("journal: one that does not, a warning")
            << "notify" << "Could not write x" << QByteArray("<4>Could not write x\n") << journal;
        QTest::newRow("journal: the program's own, information")
            << "info" << "Settings read again." << QByteArray("<6>Settings read again.\n") << journal;
        QTest::newRow("time in front, breaks still blanks")
            << "notify" << "One.\nTwo." << QByteArray("2026-12-08 14:05:15 One. Two.\n") << time;
        QTest::newRow("inform") << "inform" << "Could not write /data/logs/ 07-03-2026.csv"
                                << QByteArray("Could not write /data/logs/ 07-03-2026.csv\n") << none;
        QTest::newRow("notify, breaks become blanks")
            << "notify" << "The file alarms.cfg is damaged.\nIt was kept as alarms-1.cfg."
            << QByteArray("The file alarms.cfg is damaged. It was kept as alarms-1.cfg.\n") << none;
        QTest::newRow("paragraphs and CR LF: one blank")
            << "notify" << "\nFirst.\r\n\r\nSecond.\r\n" << QByteArray("First. Second.\n") << none;
        // In the system's encoding: UTF-8, or on Windows its ANSI code page.
#ifdef Q_OS_WIN
        const QByteArray nonAscii("Wind 5 m/s \xb5 \xe9\n");
#else
        const QByteArray nonAscii("Wind 5 m/s \xc2\xb5 \xc3\xa9\n");
#endif
        QTest::newRow("not ASCII") << "inform" << QString::fromUtf8("Wind 5 m/s \u00b5 \u00e9") << nonAscii << none;
        QTest::newRow("ask: No, and says so")
            << "ask" << "Start a new power curve?\nThe measured one is kept."
            << QByteArray("Start a new power curve? The measured one is kept. Answered No: there is no window to ask in.\n")
            << none;
    }
    void writesOneLineEach()
    {
        QFETCH(QString, call);
        QFETCH(QString, text);
        QFETCH(QByteArray, written);
        QFETCH(int, prefix);
        std::FILE *out = std::tmpfile();
        QVERIFY(out);
        FixedClock clock;
        ui::StreamMessageService messages(out, ui::StreamMessageService::Prefix(prefix), &clock);
        if (call == "inform")
            messages.inform(nullptr, text);
        else if (call == "info")
            messages.info(text);
        else if (call == "notify")
            messages.notify(nullptr, text);
        else
            QVERIFY(!messages.ask(nullptr, text));
        std::rewind(out);
        char buffer[512];
        const size_t n = std::fread(buffer, 1, sizeof buffer, out);
        std::fclose(out);
        QCOMPARE(QByteArray(buffer, int(n)), written);
    }

    // The journal's prefix only where standard error is the journal's own
    // stream: a variable inherited by a program writing elsewhere is ignored.
    void journalOnlyOnItsStream_data()
    {
        QTest::addColumn<QString>("variable");
        QTest::addColumn<bool>("journal");
        QTest::newRow("this stream") << "self" << true;
        QTest::newRow("another stream") << "other" << false;
        QTest::newRow("not set") << "" << false;
        QTest::newRow("not numbers") << "a:b" << false;
    }
    void journalOnlyOnItsStream()
    {
        QFETCH(QString, variable);
        QFETCH(bool, journal);
        std::FILE *out = std::tmpfile();
        QVERIFY(out);
        struct stat st { };
        QCOMPARE(fstat(fileno(out), &st), 0);
        if (variable == "self")
            variable = QStringLiteral("%1:%2").arg(qulonglong(st.st_dev)).arg(qulonglong(st.st_ino));
        else if (variable == "other")
            variable = QStringLiteral("%1:%2").arg(qulonglong(st.st_dev)).arg(qulonglong(st.st_ino) + 1);
        if (variable.isEmpty())
            qunsetenv("JOURNAL_STREAM");
        else
            qputenv("JOURNAL_STREAM", variable.toLatin1());
        const auto prefix = ui::StreamMessageService::prefixFor(out);
        std::fclose(out);
        qunsetenv("JOURNAL_STREAM");
        QCOMPARE(prefix == ui::StreamMessageService::Prefix::Journal, journal);
    }
};

QTEST_GUILESS_MAIN(TestStreamMessages)
#include "tst_streammessages.moc"
