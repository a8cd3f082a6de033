// SPDX-License-Identifier: GPL-3.0-or-later
// The messages' outbox taken up at a start: what is dropped, told and kept,
// the gap since the program last ran, and a channel that cannot be reached
// tried again after its back-off, none of it lost.
#include "publish/Messenger.h"
#include "support/TestSupport.h"

#include <QtTest>

namespace {
core::MessageChannel webhook(const std::string &name, int port)
{
    core::MessageChannel c;
    c.kind = "webhook";
    c.name = name;
    c.url = "https://127.0.0.1:" + std::to_string(port) + "/in";
    return c;
}

core::Message inOutbox(const std::string &id, std::int64_t created, const std::string &channelName)
{
    core::Message m;
    m.id = id;
    m.created = created;
    m.channelName = channelName;
    m.state = "raised";
    m.title = "Battery low raised";
    return m;
}
} // namespace

class TestMessenger : public QObject {
    Q_OBJECT
private slots:
    // An outbox and the channels as they are now.
    void takenUp_data()
    {
        QTest::addColumn<QString>("outbox"); // id:hours old:channel name, space between
        QTest::addColumn<bool>("on");
        QTest::addColumn<QString>("alive"); // hours since the program last ran, "" for never
        QTest::addColumn<int>("dropped");
        QTest::addColumn<int>("waiting");
        QTest::addColumn<QString>("told");
        QTest::newRow("kept while off") << "a:1:Phone b:2:Phone" << false << "" << 0 << 2 << "";
        QTest::newRow("older than 48 hours") << "a:49:Phone b:2:Phone" << true << "" << 1 << 1
                                             << "could not be sent for 48 hours";
        QTest::newRow("its channel removed") << "a:1:Old b:1:Phone" << true << "" << 1 << 1 << "its channel was removed";
        QTest::newRow("a gap told") << "" << true << "3" << 0 << 1 << "";
        QTest::newRow("no gap within the setting") << "" << true << "0" << 0 << 0 << "";
        QTest::newRow("no gap while off") << "" << false << "3" << 0 << 0 << "";
    }
    void takenUp()
    {
        QFETCH(QString, outbox);
        QFETCH(bool, on);
        QFETCH(QString, alive);
        QFETCH(int, dropped);
        QFETCH(int, waiting);
        QFETCH(QString, told);
        testsupport::ProgramFolder folder;
        testsupport::FakeServices fake(folder.path());
        fake.clock.msPerRead = 0;
        const std::int64_t now = fake.clock.now().toSecsSinceEpoch();
        core::MessageSettings s;
        s.on = on;
        // Port 1 refuses at once: every try fails.
        s.channels = {webhook("Phone", 1)};
        folder.write("messages.cfg", QByteArray::fromStdString(core::messageSettingsText(s)));
        std::string text;
        for (const QString &m : outbox.split(' ', Qt::SkipEmptyParts))
            text += core::outboxAddLine(inOutbox(m.section(':', 0, 0).toStdString(),
                                                now - m.section(':', 1, 1).toLongLong() * 3600,
                                                m.section(':', 2).toStdString()));
        folder.write("outbox.txt", QByteArray::fromStdString(text));
        if (!alive.isEmpty())
            folder.write("messages-state.txt", QString("alive %1\nsummary \n").arg(now - alive.toLongLong() * 3600).toLatin1());

        publish::Messenger messenger(fake.services());
        messenger.loadSettings();
        QCOMPARE(messenger.counts().dropped, (long long)dropped);
        QCOMPARE(messenger.counts().waiting, (long long)waiting);
        QCOMPARE(fake.messages.texts.filter("was dropped").join('|').contains(told), true);
        if (told.isEmpty())
            QVERIFY(fake.messages.texts.filter("was dropped").isEmpty());
        // What is still to send is all the outbox holds, the gap's message too.
        const QByteArray kept = folder.read("outbox.txt");
        QCOMPARE(int(core::readOutbox(std::string_view(kept.constData(), size_t(kept.size()))).size()), waiting);
        QVERIFY(folder.read("messages-state.txt").startsWith("alive "));
        if (on && waiting > 0) {
            // The refused try counted, its channel on the status line, and
            // the message still waiting for the next try.
            QTRY_VERIFY_WITH_TIMEOUT(messenger.counts().failed >= 1, 10000);
            QVERIFY2(messenger.status().startsWith("messages to Phone fail: "), qPrintable(messenger.status()));
            QCOMPARE(messenger.counts().waiting, (long long)waiting);
        }
    }
};

QTEST_MAIN(TestMessenger)
#include "tst_messenger.moc"
