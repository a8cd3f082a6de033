// SPDX-License-Identifier: GPL-3.0-or-later
// The messages of a program without windows: one line each on the stream.
#include "ui/StreamMessages.h"

#include <QtTest>
#include <cstdio>

class TestStreamMessages : public QObject {
    Q_OBJECT
private slots:
    void writesOneLineEach_data()
    {
        QTest::addColumn<QString>("call");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("inform") << "inform" << "Could not write /data/logs/ 07-03-2026.csv"
                                << QByteArray("Could not write /data/logs/ 07-03-2026.csv\n");
        QTest::newRow("notify, breaks become blanks")
            << "notify" << "The file alarms.cfg is damaged.\nIt was kept as alarms-1.cfg."
            << QByteArray("The file alarms.cfg is damaged. It was kept as alarms-1.cfg.\n");
        QTest::newRow("paragraphs and CR LF: one blank")
            << "notify" << "\nFirst.\r\n\r\nSecond.\r\n" << QByteArray("First. Second.\n");
        QTest::newRow("not ASCII") << "inform" << QString::fromUtf8("Wind 5 m/s \u00b5 \u00e9")
                                   << QByteArray("Wind 5 m/s \xc2\xb5 \xc3\xa9\n");
        QTest::newRow("ask: No, and says so")
            << "ask" << "Start a new power curve?\nThe measured one is kept."
            << QByteArray("Start a new power curve? The measured one is kept. Answered No: there is no window to ask in.\n");
    }
    void writesOneLineEach()
    {
        QFETCH(QString, call);
        QFETCH(QString, text);
        QFETCH(QByteArray, written);
        std::FILE *out = std::tmpfile();
        QVERIFY(out);
        ui::StreamMessageService messages(out);
        if (call == "inform")
            messages.inform(nullptr, text);
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
};

QTEST_GUILESS_MAIN(TestStreamMessages)
#include "tst_streammessages.moc"
