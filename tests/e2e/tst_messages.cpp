// SPDX-License-Identifier: GPL-3.0-or-later
// Alarms sent to the owner by the built service, end to end: mail through a
// real SMTP server that requires STARTTLS and a login, and push requests to a
// real HTTPS server, both with certificates of a CA the test makes and names
// in messages.cfg. A wrong password or a certificate of another CA is shown
// and, once mended, the waiting message goes; a receiver that is away while
// alarms come and go, and a kill meanwhile, lose none of them. The simulated
// unit sends 13 V; the battery-high alarm is raised and cleared by moving its
// threshold below and above that and sending SIGHUP.
#include "core/Alarms.h"
#include "core/Messages.h"
#include "core/Turbine.h"
#include "support/MessageServers.h"
#include "support/Processes.h"
#include "support/SiteService.h"
#include "support/TestSupport.h"
#include "web/WebPassword.h"
#include "web/WebSettingsFile.h"

#include <QtTest>
#include <csignal>

using testsupport::ProgramFolder;
using testsupport::PythonServer;

namespace {

// 13 V with the delivered calibration.
const QByteArray kFrame = "[<V>532.48</V><I>522</I><R>2</R><S>3.2</S><M>0</M>]";
const char kSite[] = "North barn";
const char kWebPassword[] = "shed key";
const char kMailUser[] = "owner";
const char kMailPassword[] = "barn door 7";

// Battery high alone, at once: raised with the threshold below 13 V.
QByteArray alarmsText(double batteryHigh)
{
    core::AlarmSettings a;
    a.on.fill(false);
    a.on[size_t(core::AlarmId::BatteryHigh)] = true;
    a.threshold[size_t(core::AlarmId::BatteryHigh)] = batteryHigh;
    a.holdSeconds = 0;
    return QByteArray::fromStdString(core::alarmSettingsText(a));
}
const double kRaise = 12, kClear = 14;

QByteArray messagesText(const std::vector<core::MessageChannel> &channels, const QString &caFile)
{
    core::MessageSettings m;
    m.on = true;
    m.holdOff = "0";
    m.caFile = caFile.toStdString();
    m.channels = channels;
    return QByteArray::fromStdString(core::messageSettingsText(m));
}

core::MessageChannel mailChannel(int port, const std::string &password)
{
    core::MessageChannel c;
    c.kind = "email";
    c.name = "Owner's mail";
    c.server = "127.0.0.1";
    c.port = std::to_string(port);
    c.security = "starttls";
    c.user = kMailUser;
    c.password = password;
    c.from = "turbine@barn.example";
    c.to = "owner@barn.example, neighbour@barn.example";
    return c;
}

core::MessageChannel pushChannel(const std::string &kind, const std::string &url)
{
    core::MessageChannel c;
    c.kind = kind;
    c.name = kind;
    c.url = url;
    if (kind == "telegram") {
        c.token = "123:AbC";
        c.chat = "42";
    }
    return c;
}

// The simulated unit sending 13 V on the folder's COM1, until the object ends.
class Unit {
public:
    bool start(const ProgramFolder &folder)
    {
        folder.write("frame.txt", kFrame + "\n");
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        return testsupport::startUnit(m_process, folder.path(),
                                      {"--replay", folder.file("frame.txt"), "--rate", "4"});
    }
    ~Unit()
    {
        m_process.kill();
        m_process.waitForFinished(3000);
    }

private:
    QProcess m_process;
};

struct Reply {
    int status = 0;
    QByteArray body;
};

Reply curl(const QStringList &args)
{
    QProcess p;
    p.start("curl", QStringList{"-s", "--max-time", "30", "-w", "\n%{http_code}"} + args);
    p.waitForFinished(60000);
    const QByteArray out = p.readAllStandardOutput();
    const qsizetype cut = out.lastIndexOf('\n');
    return {out.mid(cut + 1).toInt(), out.left(cut)};
}

// The built service on a program folder with a site name, the web server
// (with a password) for its counts and the Messages page, and a short first
// wait after a failed send.
class Service {
public:
    explicit Service(const ProgramFolder &folder) : m_folder(folder) { }
    ~Service() { testsupport::endProgram(m_process); }

    bool start()
    {
        m_port = testsupport::freePort();
        m_cookie.clear();
        return testsupport::startSiteService(m_process, m_folder, kSite, m_port, kWebPassword, "VELDRA_MESSAGE_RETRY_MS",
                                             "100");
    }
    void reload() { QVERIFY(testsupport::signalProcess(m_process, SIGHUP)); }
    bool kill()
    {
        return testsupport::signalProcess(m_process, SIGKILL) && m_process.waitForFinished(10000);
    }
    bool running() const { return m_process.state() == QProcess::Running; }

    // A sample of /metrics, or -1.
    double metric(const QByteArray &name)
    {
        const Reply r = curl({"-u", QString("x:") + kWebPassword, base() + "/metrics"});
        for (const QByteArray &line : r.body.split('\n'))
            if (line.startsWith(name + ' '))
                return line.mid(name.size() + 1).toDouble();
        return -1;
    }
    // What the Messages page says of the channels now.
    QString status()
    {
        if (m_cookie.isEmpty()) {
            QProcess p;
            p.start("curl", {"-s", "-o", "/dev/null", "-D", "-", "--data-urlencode",
                             QString("password=") + kWebPassword, base() + "/login"});
            p.waitForFinished(60000);
            for (const QByteArray &line : p.readAllStandardOutput().split('\n'))
                if (line.toLower().startsWith("set-cookie:"))
                    m_cookie = QString::fromLatin1(line.mid(11).split(';').value(0).trimmed());
        }
        const Reply r = curl({"-H", "Cookie: " + m_cookie, base() + "/api/settings/messages"});
        return QJsonDocument::fromJson(r.body).object()["status"].toString();
    }

private:
    QString base() const { return QString("http://127.0.0.1:%1").arg(m_port); }
    const ProgramFolder &m_folder;
    QProcess m_process;
    int m_port = 0;
    QString m_cookie;
};

// The value of the mail's first header called `name` (one line).
QByteArray header(const QByteArray &mail, const QByteArray &name)
{
    for (const QByteArray &line : mail.left(mail.indexOf("\r\n\r\n")).split('\n'))
        if (line.startsWith(name + ": "))
            return line.mid(name.size() + 2).trimmed();
    return QByteArray();
}

QByteArray bodyOf(const QByteArray &mail) { return mail.mid(mail.indexOf("\r\n\r\n") + 4); }

// The ids added to the outbox and not yet done, in order.
QStringList pendingIds(const QByteArray &outbox)
{
    QStringList ids;
    for (const core::Message &m : core::readOutbox(outbox.toStdString()))
        ids << QString::fromStdString(m.id);
    return ids;
}

} // namespace

class TestMessages : public QObject {
    Q_OBJECT
    QTemporaryDir m_certs;
    // The push receiver and its service, shared by pushRequests' rows.
    std::unique_ptr<ProgramFolder> m_pushFolder;
    std::unique_ptr<PythonServer> m_receiver;
    std::unique_ptr<Service> m_pushService;
    std::unique_ptr<Unit> m_pushUnit;

    QString cert(const QString &name) const { return m_certs.filePath(name); }

private slots:
    void initTestCase()
    {
        const QString missing = testsupport::messageServersMissing();
        if (!missing.isEmpty()) {
            if (qEnvironmentVariableIsSet("CI"))
                QFAIL(qPrintable(missing + " (scripts/install-deps installs it)"));
            QSKIP(qPrintable(missing + "; scripts/install-deps installs it"));
        }
        QVERIFY(testsupport::makeCertificates(m_certs.path(), "veldra"));
        QVERIFY(testsupport::makeCertificates(m_certs.path(), "foreign"));
    }

    void cleanupTestCase()
    {
        m_pushService.reset();
        m_receiver.reset();
        m_pushUnit.reset();
    }

    // An alarm raised and cleared arrives as two mails; a fault is shown on
    // the Messages page and counted, and once messages.cfg is mended (and
    // SIGHUP) the message that waited goes.
    void mailThroughStartTls_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("shown");
        QTest::newRow("delivered") << "" << "";
        QTest::newRow("a wrong password") << "password" << "Login denied";
        QTest::newRow("a certificate of another CA") << "certificate" << "certificate";
    }
    void mailThroughStartTls()
    {
        QFETCH(QString, fault);
        QFETCH(QString, shown);
        ProgramFolder folder;
        QDir(folder.path()).mkpath("mail");
        PythonServer smtp(testsupport::kSmtpServer, folder.file("smtp.log"));
        const QString serverCert = cert(fault == "certificate" ? "foreign-server" : "veldra-server");
        QVERIFY2(
            smtp.start({serverCert + ".pem", serverCert + ".key", kMailUser, kMailPassword, folder.file("mail")}),
            folder.read("smtp.log").constData());
        const core::MessageChannel good = mailChannel(smtp.port(), kMailPassword);
        const core::MessageChannel typed = mailChannel(smtp.port(),
                                                       fault == "password" ? "wrong one" : kMailPassword);
        // The other CA's certificate is trusted only once CaFile names it.
        const QString mendedCa = cert(fault == "certificate" ? "foreign.pem" : "veldra.pem");
        folder.write("messages.cfg", messagesText({typed}, cert("veldra.pem")));
        folder.write("alarms.cfg", alarmsText(kRaise));

        Unit unit;
        QVERIFY(unit.start(folder));
        Service service(folder);
        QVERIFY(service.start());
        const auto mails = [&] { return testsupport::keptMails(folder.file("mail")); };

        if (!fault.isEmpty()) {
            QTRY_VERIFY_WITH_TIMEOUT(service.metric("veldra_message_failures_total") >= 2, 60000);
            const QString status = service.status();
            qInfo("shown: %s", qPrintable(status));
            QVERIFY2(status.startsWith("messages to Owner's mail fail: ") && status.contains(shown),
                     qPrintable(status));
            QVERIFY2(!status.contains("wrong one"), qPrintable(status));
            QCOMPARE(mails().size(), 0);
            QCOMPARE(service.metric("veldra_messages_waiting"), 1.0);
            folder.write("messages.cfg", messagesText({good}, mendedCa));
            service.reload();
        }
        QTRY_COMPARE_WITH_TIMEOUT(mails().size(), 1, 60000);
        folder.write("alarms.cfg", alarmsText(kClear));
        service.reload();
        QTRY_COMPARE_WITH_TIMEOUT(mails().size(), 2, 60000);
        // The server keeps a mail before its answer reaches the service.
        QTRY_COMPARE_WITH_TIMEOUT(service.metric("veldra_messages_sent_total"), 2.0, 10000);
        QCOMPARE(service.metric("veldra_messages_waiting"), 0.0);
        QCOMPARE(service.status(), QString());
        if (fault.isEmpty())
            QCOMPARE(service.metric("veldra_message_failures_total"), 0.0);

        const QList<QByteArray> kept = mails();
        QStringList ids;
        for (int i = 0; i < 2; ++i) {
            const QByteArray &mail = kept[i];
            const QByteArray state = i == 0 ? "raised" : "cleared";
            QCOMPARE(header(mail, "X-Envelope-From"), QByteArray("turbine@barn.example"));
            QCOMPARE(header(mail, "X-Envelope-To"), QByteArray("owner@barn.example,neighbour@barn.example"));
            QCOMPARE(header(mail, "Subject"), "[North barn] Battery high " + state);
            QCOMPARE(header(mail, "From"), QByteArray("Veldra North barn <turbine@barn.example>"));
            QCOMPARE(header(mail, "To"), QByteArray("owner@barn.example, neighbour@barn.example"));
            const QRegularExpressionMatch id = QRegularExpression("^<([0-9]+-[0-9a-f]{8}-[0-9]+-1)@veldra>$")
                                                   .match(QString::fromLatin1(header(mail, "Message-ID")));
            QVERIFY2(id.hasMatch(), mail.constData());
            ids << id.captured(1);
            QVERIFY2(QRegularExpression(i == 0 ? "^Battery high raised: 13 V since \\d\\d:\\d\\d:\\d\\d\\.\r\n$"
                                               : "^Battery high cleared: 13 V\\.\r\n$")
                         .match(QString::fromUtf8(bodyOf(mail)))
                         .hasMatch(),
                     mail.constData());
        }
        QVERIFY(ids[0] != ids[1]);
    }

    // One channel of each push kind, to one HTTPS receiver: each request as
    // documented, for a raise and for its clear.
    void pushRequests_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("channel");
        QTest::newRow("ntfy") << "ntfy" << "/barn" << 1;
        QTest::newRow("telegram") << "telegram" << "/bot123:AbC/sendMessage" << 2;
        QTest::newRow("webhook") << "webhook" << "/hook" << 3;
    }
    void pushRequests()
    {
        QFETCH(QString, kind);
        QFETCH(QString, path);
        QFETCH(int, channel);
        if (!m_pushService) {
            m_pushFolder = std::make_unique<ProgramFolder>();
            const ProgramFolder &folder = *m_pushFolder;
            m_receiver = std::make_unique<PythonServer>(testsupport::kHttpsServer, folder.file("https.log"));
            QVERIFY2(m_receiver->start(
                         {cert("veldra-server.pem"), cert("veldra-server.key"), folder.file("requests.jsonl")}),
                     folder.read("https.log").constData());
            const std::string base = "https://127.0.0.1:" + std::to_string(m_receiver->port());
            folder.write("messages.cfg",
                         messagesText({pushChannel("ntfy", base + "/barn"), pushChannel("telegram", base),
                                       pushChannel("webhook", base + "/hook")},
                                      cert("veldra.pem")));
            folder.write("alarms.cfg", alarmsText(kRaise));
            m_pushUnit = std::make_unique<Unit>();
            QVERIFY(m_pushUnit->start(folder));
            m_pushService = std::make_unique<Service>(folder);
            QVERIFY(m_pushService->start());
            QTRY_COMPARE_WITH_TIMEOUT(testsupport::recordedRequests(folder.file("requests.jsonl")).size(), 3,
                                      60000);
            folder.write("alarms.cfg", alarmsText(kClear));
            m_pushService->reload();
            QTRY_COMPARE_WITH_TIMEOUT(testsupport::recordedRequests(folder.file("requests.jsonl")).size(), 6,
                                      60000);
            QCOMPARE(m_pushService->metric("veldra_message_failures_total"), 0.0);
        }
        QList<QJsonObject> requests;
        for (const QJsonObject &r : testsupport::recordedRequests(m_pushFolder->file("requests.jsonl")))
            if (r["path"].toString() == path)
                requests << r;
        QCOMPARE(requests.size(), 2);
        QStringList ids;
        for (int i = 0; i < 2; ++i) {
            const QJsonObject r = requests[i];
            const QJsonObject headers = r["headers"].toObject();
            const bool raised = i == 0;
            const QString state = raised ? "raised" : "cleared";
            const QString title = "Battery high " + state;
            const QRegularExpression text(raised ? "^Battery high raised: 13 V since \\d\\d:\\d\\d:\\d\\d\\.$"
                                                 : "^Battery high cleared: 13 V\\.$");
            QCOMPARE(r["method"].toString(), QString("POST"));
            const QString id = headers["x-veldra-message-id"].toString();
            QVERIFY2(
                QRegularExpression(QString("^[0-9]+-[0-9a-f]{8}-[0-9]+-%1$").arg(channel)).match(id).hasMatch(),
                qPrintable(id));
            ids << id;
            const QString body = r["body"].toString();
            if (kind == "ntfy") {
                QCOMPARE(headers["title"].toString(), "[North barn] " + title);
                QCOMPARE(headers["priority"].toString(), QString(raised ? "high" : "default"));
                QCOMPARE(headers["tags"].toString(), QString(raised ? "warning" : "white_check_mark"));
                QCOMPARE(headers["content-type"].toString(), QString("text/plain; charset=utf-8"));
                QVERIFY2(text.match(body).hasMatch(), qPrintable(body));
                continue;
            }
            QCOMPARE(headers["content-type"].toString(), QString("application/json"));
            const QJsonObject o = QJsonDocument::fromJson(body.toUtf8()).object();
            if (kind == "telegram") {
                QCOMPARE(o.keys(), QStringList({"chat_id", "text"}));
                QCOMPARE(o["chat_id"].toString(), QString("42"));
                const QStringList lines = o["text"].toString().split('\n');
                QCOMPARE(lines.size(), 2);
                QCOMPARE(lines[0], "[North barn] " + title);
                QVERIFY2(text.match(lines[1]).hasMatch(), qPrintable(lines[1]));
                continue;
            }
            QCOMPARE(o.keys(),
                     QStringList({"alarm", "id", "program", "since", "site", "state", "text", "title", "value"}));
            QCOMPARE(o["id"].toString(), id);
            QCOMPARE(o["alarm"].toString(), QString("battery_high"));
            QCOMPARE(o["state"].toString(), state);
            QCOMPARE(o["site"].toString(), QString(kSite));
            QCOMPARE(o["program"].toString(), QString("Veldra"));
            QCOMPARE(o["title"].toString(), title);
            QVERIFY2(text.match(o["text"].toString()).hasMatch(), qPrintable(o["text"].toString()));
            QVERIFY2(QRegularExpression(raised ? "^13 V since \\d\\d:\\d\\d:\\d\\d$" : "^13 V$")
                         .match(o["value"].toString())
                         .hasMatch(),
                     qPrintable(o["value"].toString()));
            const QDateTime since = QDateTime::fromString(o["since"].toString(), Qt::ISODate);
            QVERIFY2(since.isValid() && std::abs(since.secsTo(QDateTime::currentDateTimeUtc())) < 600,
                     qPrintable(o["since"].toString()));
        }
        QVERIFY(ids[0] != ids[1]);
    }

    // The receiver away while three alarms rise and clear, the service killed
    // and started again, and then the receiver back: all six messages come,
    // in order, a repeat only under the id it had.
    void outboxLosesNothing()
    {
        ProgramFolder folder;
        PythonServer receiver(testsupport::kHttpsServer, folder.file("https.log"));
        const QString record = folder.file("requests.jsonl");
        folder.write("messages.cfg",
                     messagesText({pushChannel("webhook",
                                               "https://127.0.0.1:" + std::to_string(receiver.port()) + "/hook")},
                                  cert("veldra.pem")));
        folder.write("alarms.cfg", alarmsText(kClear));
        Unit unit;
        QVERIFY(unit.start(folder));
        Service service(folder);
        QVERIFY(service.start());
        for (int change = 1; change <= 6; ++change) {
            folder.write("alarms.cfg", alarmsText(change % 2 ? kRaise : kClear));
            service.reload();
            QTRY_COMPARE_WITH_TIMEOUT(pendingIds(folder.read("outbox.txt")).size(), change, 30000);
        }
        QTRY_VERIFY_WITH_TIMEOUT(service.metric("veldra_message_failures_total") >= 1, 30000);
        const QStringList ids = pendingIds(folder.read("outbox.txt"));
        QCOMPARE(QStringList(ids).removeDuplicates(), qsizetype(0));
        QVERIFY(service.kill());

        QVERIFY(service.start());
        QVERIFY2(receiver.start({cert("veldra-server.pem"), cert("veldra-server.key"), record}),
                 folder.read("https.log").constData());
        QTRY_COMPARE_WITH_TIMEOUT(service.metric("veldra_messages_waiting"), 0.0, 60000);
        QCOMPARE(service.metric("veldra_messages_sent_total"), 6.0);
        QCOMPARE(pendingIds(folder.read("outbox.txt")), QStringList());

        // In the order added; a repeat is the same request again.
        QStringList came;
        QMap<QString, QString> bodies;
        for (const QJsonObject &r : testsupport::recordedRequests(record)) {
            const QString id = r["headers"].toObject()["x-veldra-message-id"].toString();
            const QString body = r["body"].toString();
            QVERIFY2(!bodies.contains(id) || bodies[id] == body, qPrintable(body));
            bodies[id] = body;
            if (!came.contains(id))
                came << id;
            else
                QCOMPARE(came.last(), id);
        }
        QCOMPARE(came, ids);
        for (int i = 0; i < ids.size(); ++i)
            QCOMPARE(QJsonDocument::fromJson(bodies[ids[i]].toUtf8()).object()["state"].toString(),
                     QString(i % 2 ? "cleared" : "raised"));
        QVERIFY(service.running());
    }
};

QTEST_GUILESS_MAIN(TestMessages)
#include "tst_messages.moc"
