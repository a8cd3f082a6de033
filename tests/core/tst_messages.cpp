// SPDX-License-Identifier: GPL-3.0-or-later
// Alarms as e-mail and push messages: the settings' rules, what each channel
// sends, the outbox's lines, the back-off and the folding of repeats.
#include "core/Messages.h"

#include <QtTest>

namespace {
QString qs(const std::string &s) { return QString::fromStdString(s); }

core::MessageChannel mail()
{
    core::MessageChannel c;
    c.name = "Home";
    c.server = "mail.example.org";
    c.user = "owner";
    c.password = "s3cret!";
    c.from = "turbine@example.org";
    c.to = "owner@example.org; partner@example.org";
    return c;
}

core::Message raised()
{
    core::Message m;
    m.id = "1765290309-1-0";
    m.created = 1765290309;
    m.state = "raised";
    m.alarm = "battery_low";
    m.title = "Battery low raised";
    m.text = "Battery low: 11.9 V since 14:58:40.\nSecond line.";
    m.value = "11.9 V";
    m.since = "2026-12-09T13:58:40Z";
    return m;
}
} // namespace

class TestMessages : public QObject {
    Q_OBJECT
private slots:
    // A channel's values changed ("field=value;…" over a good e-mail channel
    // or, with "kind=…" first, a push channel): the key of the first problem.
    void rules_data()
    {
        QTest::addColumn<QString>("changes");
        QTest::addColumn<QString>("problem");
        QTest::newRow("good mail") << "" << "";
        QTest::newRow("no server") << "server= " << "Channel1Server";
        QTest::newRow("plain mail leaves") << "security=none" << "Channel1Security";
        QTest::newRow("plain mail to this computer") << "security=none;server=127.0.0.1" << "";
        QTest::newRow("a port beyond") << "port=70000" << "Channel1Port";
        QTest::newRow("two senders") << "from=a@b, c@d" << "Channel1From";
        QTest::newRow("a line break in a header") << "from=a@b\r\nBcc: x@y" << "Channel1From";
        QTest::newRow("no receivers") << "to= ; " << "Channel1To";
        QTest::newRow("a password without a user") << "user=" << "Channel1User";
        QTest::newRow("ntfy over https") << "kind=ntfy;url=https://ntfy.sh/barn" << "";
        QTest::newRow("ntfy over http") << "kind=ntfy;url=http://ntfy.sh/barn" << "Channel1Url";
        QTest::newRow("a file for a webhook") << "kind=webhook;url=file:///etc/passwd" << "Channel1Url";
        QTest::newRow("a bot with its default API") << "kind=telegram;token=123:AbC_d-e;chat=42" << "";
        QTest::newRow("a bot's token with a slash") << "kind=telegram;token=1/../x;chat=42" << "Channel1Token";
        QTest::newRow("another kind") << "kind=pager" << "Channel1Kind";
    }
    void rules()
    {
        QFETCH(QString, changes);
        QFETCH(QString, problem);
        core::MessageSettings s;
        s.channels.push_back(mail());
        core::MessageChannel &c = s.channels.front();
        for (const QString &pair : changes.split(';', Qt::SkipEmptyParts)) {
            const std::string field = pair.section('=', 0, 0).trimmed().toStdString(), value = pair.section('=', 1).toStdString();
            std::string *into = field == "kind" ? &c.kind : field == "server" ? &c.server : field == "security" ? &c.security
                              : field == "port" ? &c.port : field == "from" ? &c.from : field == "to" ? &c.to
                              : field == "user" ? &c.user : field == "url" ? &c.url : field == "token" ? &c.token : &c.chat;
            *into = value;
        }
        const auto p = core::messageSettingsProblem(s);
        QCOMPARE(p ? qs(p->key) : QString(), problem);
        // The file keeps every value as it was.
        QCOMPARE(qs(core::messageSettingsText(core::readMessageSettings(core::messageSettingsText(s)))),
                 qs(core::messageSettingsText(s)));
    }

    void whatIsSent()
    {
        const core::Message m = raised();
        core::MessageChannel c = mail();
        const QString mailText = qs(core::emailText(m, c, "Barn \xc3\xa4", core::mailDate(m.created)));
        for (const char *line : {"Date: Tue, 09 Dec 2025 14:25:09 +0000\r\n", "To: owner@example.org, partner@example.org\r\n",
                                 "Message-ID: <1765290309-1-0@veldra>\r\n", "Content-Type: text/plain; charset=utf-8\r\n",
                                 "\r\n\r\nBattery low: 11.9 V since 14:58:40.\r\nSecond line.\r\n"})
            QVERIFY2(mailText.contains(line), qPrintable(mailText));
        // A site that is not plain ASCII goes as an encoded word.
        QVERIFY2(mailText.contains("Subject: =?UTF-8?B?"), qPrintable(mailText));
        QVERIFY(!mailText.contains("s3cret"));

        c.kind = "ntfy";
        c.url = "https://ntfy.example/barn";
        auto r = core::pushRequest(m, c, "Barn");
        QCOMPARE(qs(r.url), QString("https://ntfy.example/barn"));
        QVERIFY(r.headers[0] == "Title: [Barn] Battery low raised" && r.headers[1] == "Priority: high");
        QCOMPARE(qs(r.body), qs(m.text));

        c.kind = "telegram";
        c.url = "https://127.0.0.1:8443/";
        c.token = "123:AbC";
        c.chat = "42";
        r = core::pushRequest(m, c, "Barn");
        QCOMPARE(qs(r.url), QString("https://127.0.0.1:8443/bot123:AbC/sendMessage"));
        QCOMPARE(qs(r.body), QString("{\"chat_id\":\"42\",\"text\":\"[Barn] Battery low raised\\u000aBattery low: 11.9 V since "
                                     "14:58:40.\\u000aSecond line.\"}"));
        // The token stands in the URL: never in a log.
        QCOMPARE(qs(core::redacted("could not reach " + r.url, c)),
                 QString("could not reach https://127.0.0.1:8443/bot\u2026/sendMessage"));

        c.kind = "webhook";
        c.url = "https://hooks.example/in";
        r = core::pushRequest(m, c, "Barn");
        QVERIFY2(qs(r.body).startsWith("{\"id\":\"1765290309-1-0\",\"alarm\":\"battery_low\",\"state\":\"raised\","
                                       "\"value\":\"11.9 V\",\"since\":\"2026-12-09T13:58:40Z\",\"site\":\"Barn\","
                                       "\"program\":\"Veldra\""),
                 r.body.c_str());
    }

    // The outbox as a kill may leave it: what is still to send, in order.
    void outbox_data()
    {
        QTest::addColumn<QString>("lines"); // a: add, d: done, p: part of a line, x: junk
        QTest::addColumn<QString>("pending");
        QTest::newRow("empty") << "" << "";
        QTest::newRow("two added") << "a1 a2" << "1 2";
        QTest::newRow("one done") << "a1 a2 d1" << "2";
        QTest::newRow("killed while adding") << "a1 a2 p3" << "1 2";
        QTest::newRow("junk passed over") << "a1 x a2" << "1 2";
        QTest::newRow("done before added is nothing") << "d1 a1" << "1";
    }
    void outbox()
    {
        QFETCH(QString, lines);
        QFETCH(QString, pending);
        std::string text;
        for (const QString &l : lines.split(' ', Qt::SkipEmptyParts)) {
            core::Message m = raised();
            m.id = l.mid(1).toStdString();
            const std::string add = core::outboxAddLine(m);
            text += l[0] == 'a' ? add : l[0] == 'd' ? core::outboxDoneLine(m.id, "sent")
                  : l[0] == 'p' ? add.substr(0, add.size() / 2) : std::string("{\"add\":\n");
        }
        QStringList got;
        for (const core::Message &m : core::readOutbox(text)) {
            QCOMPARE(qs(m.text), qs(raised().text));
            got << qs(m.id);
        }
        QCOMPARE(got.join(' '), pending);
    }

    void retries()
    {
        const double got[] = {core::retrySeconds(0), core::retrySeconds(1), core::retrySeconds(2), core::retrySeconds(5),
                              core::retrySeconds(11), core::retrySeconds(12), core::retrySeconds(400), core::retrySeconds(3, 0.05)};
        const double want[] = {0, 1, 2, 16, 1024, 1800, 1800, 0.2};
        for (size_t i = 0; i < std::size(want); ++i)
            QCOMPARE(got[i], want[i]);
    }

    // Changes of one alarm at the given seconds with a 600 s hold-off: what
    // goes at once and when each hold-off ends.
    void folding_data()
    {
        QTest::addColumn<QString>("changes"); // "+10": raised at 10, "-20": cleared at 20, "@700": the hold-off looked at
        QTest::addColumn<QString>("sent");    // "+10/0": raised sent at 10, folding 0 changes
        QTest::newRow("one raise") << "+10 @700" << "+10/0";
        QTest::newRow("raise and clear apart") << "+10 -900" << "+10/0 -900/0";
        QTest::newRow("flapping ends cleared") << "+10 -20 +30 -40 @610" << "+10/0 -610/2";
        QTest::newRow("flapping ends raised") << "+10 -20 +30 @610" << "+10/0";
        QTest::newRow("held again after a fold") << "+10 -20 @610 +620 @1300" << "+10/0 -610/0 +1300/0";
    }
    void folding()
    {
        QFETCH(QString, changes);
        QFETCH(QString, sent);
        core::AlarmFold fold(600);
        QStringList got;
        const auto said = [&](const core::AlarmFold::Send &s, double at) {
            got << QString("%1%2/%3").arg(s.raised ? '+' : '-').arg(at).arg(s.folded);
        };
        for (const QString &c : changes.split(' ')) {
            const double at = c.mid(1).toDouble();
            for (const auto &s : fold.due(at))
                said(s, at);
            if (c[0] != '@')
                if (const auto s = fold.change("battery_low", c[0] == '+', at))
                    said(*s, at);
        }
        QCOMPARE(got.join(' '), sent);
    }
};

QTEST_MAIN(TestMessages)
#include "tst_messages.moc"
