// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A real MQTT broker (Debian's mosquitto) for tests and benchmarks: started on
// 127.0.0.1 at a free port with a configuration of its own, and a subscriber
// (mosquitto_sub) that reads back what was published. Header-only.

#include "core/Mqtt.h"

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testsupport {

// Whether a TCP connection to 127.0.0.1:port is accepted.
inline bool listening(int port)
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(quint16(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0;
    ::close(s);
    return ok;
}

// A port on 127.0.0.1 that nothing listens on now.
inline int freePort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0
        && ::getsockname(s, reinterpret_cast<sockaddr *>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(s);
    return port;
}

// MQTT settings that publish to a broker on 127.0.0.1:port as `clientId`.
inline core::MqttSettings mqttTo(int port, const std::string &clientId = "site-a")
{
    core::MqttSettings s;
    s.on = true;
    s.host = "127.0.0.1";
    s.port = std::to_string(port);
    s.clientId = clientId;
    return s;
}

class Broker {
public:
    // Its configuration and log go into `folder`.
    explicit Broker(QString folder) : m_folder(std::move(folder)), m_port(freePort()) { }
    ~Broker() { stop(); }

    static bool available()
    {
        return !QStandardPaths::findExecutable("mosquitto", {"/usr/sbin", "/usr/bin"}).isEmpty()
               && !QStandardPaths::findExecutable("mosquitto_sub").isEmpty();
    }

    // Only `user` with `password` may connect (mosquitto_passwd makes the file).
    bool requirePassword(const QString &user, const QString &password)
    {
        m_passwords = m_folder + "/broker.passwd";
        QFile::remove(m_passwords);
        QFile(m_passwords).open(QIODevice::WriteOnly);
        return QProcess::execute("mosquitto_passwd", {"-b", m_passwords, user, password}) == 0;
    }

    // A second listener, with TLS, on tlsPort(): the server's certificate and
    // key, read at each start().
    void addTlsListener(const QString &cert, const QString &key)
    {
        m_cert = cert;
        m_key = key;
        if (!m_tlsPort)
            m_tlsPort = freePort();
    }

    // Starts it (again, on the same ports) and waits until it listens.
    bool start()
    {
        QFile conf(m_folder + "/broker.conf");
        if (!conf.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
        QByteArray text = "listener " + QByteArray::number(m_port)
                          + " 127.0.0.1\npersistence false\n"
                            "log_dest stderr\nlog_type all\nconnection_messages true\n";
        // As root it would drop to a user that cannot read the test's files.
        if (::geteuid() == 0)
            text += "user root\n";
        text += m_passwords.isEmpty()
                    ? QByteArray("allow_anonymous true\n")
                    : "allow_anonymous false\npassword_file " + QFile::encodeName(m_passwords) + "\n";
        if (m_tlsPort)
            text += "listener " + QByteArray::number(m_tlsPort) + " 127.0.0.1\ncertfile "
                    + QFile::encodeName(m_cert) + "\nkeyfile " + QFile::encodeName(m_key) + "\n";
        conf.write(text);
        conf.close();
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardErrorFile(logFile(), QIODevice::Append);
        m_process.start(QStandardPaths::findExecutable("mosquitto", {"/usr/sbin", "/usr/bin"}),
                        {"-c", conf.fileName()});
        if (!m_process.waitForStarted(5000))
            return false;
        QElapsedTimer t;
        t.start();
        while (!listening(m_port) || (m_tlsPort && !listening(m_tlsPort))) {
            if (t.elapsed() > 10000 || m_process.state() == QProcess::NotRunning)
                return false;
            QThread::msleep(20);
        }
        return true;
    }

    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(2000);
        }
    }

    int port() const { return m_port; }
    int tlsPort() const { return m_tlsPort; }
    QString logFile() const { return m_folder + "/broker.log"; }
    // Connections the broker has accepted or refused since it first started.
    int connections() const { return logCount("New connection from"); }
    // How often its log says `what`.
    int logCount(const QByteArray &what) const
    {
        QFile f(logFile());
        return f.open(QIODevice::ReadOnly) ? int(f.readAll().count(what)) : 0;
    }

private:
    QString m_folder, m_passwords, m_cert, m_key;
    int m_port, m_tlsPort = 0;
    QProcess m_process;
};

struct Received {
    // Whether the broker held it retained; the payload is the latest, which
    // may have come live after that.
    bool retained = false;
    QByteArray payload;
};

// What a subscriber to `topics` gets within `seconds`: the retained messages
// first, then whatever comes. The latest message of each topic.
inline QMap<QString, Received> subscribe(int port, const QStringList &topics, int seconds)
{
    QStringList args{"-h", "127.0.0.1", "-p", QString::number(port),
                     "-F", "%r %t %p",  "-W", QString::number(seconds)};
    for (const QString &t : topics)
        args << "-t" << t;
    QProcess p;
    p.start("mosquitto_sub", args);
    p.waitForFinished((seconds + 10) * 1000);
    QMap<QString, Received> out;
    for (const QByteArray &line : p.readAllStandardOutput().split('\n')) {
        const int a = line.indexOf(' '), b = line.indexOf(' ', a + 1);
        if (a < 0 || b < 0)
            continue;
        Received &r = out[QString::fromUtf8(line.mid(a + 1, b - a - 1))];
        r.retained = r.retained || line.left(a) == "1";
        r.payload = line.mid(b + 1);
    }
    return out;
}

} // namespace testsupport
