// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Real servers for the messages to the owner, on 127.0.0.1 at free ports:
// certificates made by openssl (a CA, a server certificate for 127.0.0.1
// signed by it, and a second CA that the program is not told of), an SMTP
// server (Debian's aiosmtpd, STARTTLS and AUTH required) that keeps each mail
// as a file, and an HTTPS server that records every request as a JSON line.
// Both are small Python programs run by Debian's /usr/bin/python3, which has
// aiosmtpd. Header-only.

#include "Broker.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QThread>

namespace testsupport {

inline const QString kSystemPython = QStringLiteral("/usr/bin/python3");

// Why the message servers cannot run here, or "" when they can.
inline QString messageServersMissing()
{
    if (QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty())
        return QStringLiteral("openssl is missing");
    QProcess p;
    p.start(kSystemPython, {"-c", "import aiosmtpd.controller"});
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return QStringLiteral("/usr/bin/python3 has no aiosmtpd (Debian's python3-aiosmtpd)");
    return QString();
}

// A CA and a server certificate for 127.0.0.1 that it signed, in `folder`:
// NAME.pem and NAME.key for the CA, NAME-server.pem and NAME-server.key.
inline bool makeCertificates(const QString &folder, const QString &name)
{
    const QStringList key{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2"};
    const QString ca = folder + "/" + name, server = folder + "/" + name + "-server";
    const auto openssl = [](const QStringList &args) {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(QStringLiteral("openssl"), args);
        const bool ok = p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
        if (!ok)
            qWarning("openssl %s: %s", qPrintable(args.join(' ')), p.readAll().constData());
        return ok;
    };
    return openssl(QStringList{"req", "-x509"} + key
                   + QStringList{"-keyout", ca + ".key", "-out", ca + ".pem", "-subj", "/CN=" + name, "-addext",
                                 "basicConstraints=critical,CA:TRUE", "-addext",
                                 "keyUsage=critical,keyCertSign,cRLSign"})
           && openssl(QStringList{"req", "-x509", "-CA", ca + ".pem", "-CAkey", ca + ".key"} + key
                      + QStringList{"-keyout", server + ".key", "-out", server + ".pem", "-subj", "/CN=127.0.0.1",
                                    "-addext", "subjectAltName=IP:127.0.0.1", "-addext",
                                    "basicConstraints=CA:FALSE", "-addext", "extendedKeyUsage=serverAuth"});
}

// Keeps each mail as NNN.eml (the envelope's sender and receivers as two
// headers first); only `user` with `password`, and only after STARTTLS.
inline const char kSmtpServer[] = R"(
import os, ssl, sys, time
from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult
port, cert, key, user, password, folder = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5], sys.argv[6]
tls = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
tls.load_cert_chain(cert, key)
def check(server, session, envelope, mechanism, data):
    ok = data.login == user.encode() and data.password == password.encode()
    return AuthResult(success=ok, handled=False, auth_data=data)
class Keep:
    count = 0
    async def handle_DATA(self, server, session, envelope):
        Keep.count += 1
        name = os.path.join(folder, "%03d.eml" % Keep.count)
        with open(name + ".part", "wb") as f:
            f.write(b"X-Envelope-From: %s\r\nX-Envelope-To: %s\r\n" % (envelope.mail_from.encode(), ",".join(envelope.rcpt_tos).encode()))
            f.write(envelope.original_content)
        os.rename(name + ".part", name)
        return "250 2.0.0 kept"
controller = Controller(Keep(), hostname="127.0.0.1", port=port, require_starttls=True, auth_required=True,
                        authenticator=check, tls_context=tls)
controller.start()
try:
    while True:
        time.sleep(3600)
finally:
    controller.stop()
)";

// Records each request as a JSON line {method, path, headers (names in lower
// case), body} and answers 200.
inline const char kHttpsServer[] = R"(
import json, ssl, sys, threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
port, cert, key, record = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
lock = threading.Lock()
class Keep(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        line = {"method": self.command, "path": self.path, "headers": {k.lower(): v for k, v in self.headers.items()},
                "body": body.decode("utf-8", "replace")}
        with lock, open(record, "a") as f:
            f.write(json.dumps(line) + "\n")
        answer = b'{"ok":true}'
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(answer)))
        self.end_headers()
        self.wfile.write(answer)
    def log_message(self, *args):
        pass
tls = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
tls.load_cert_chain(cert, key)
server = ThreadingHTTPServer(("127.0.0.1", port), Keep)
server.socket = tls.wrap_socket(server.socket, server_side=True)
server.serve_forever()
)";

// One of the Python servers above, on a port chosen once: started (again)
// and stopped by the test.
class PythonServer {
public:
    PythonServer(const char *program, QString log) : m_program(program), m_log(std::move(log)), m_port(freePort())
    { }
    ~PythonServer() { stop(); }

    // Starts it with these arguments after the port; true once it listens.
    bool start(const QStringList &args)
    {
        stop();
        m_process.setStandardOutputFile(m_log, QIODevice::Append);
        m_process.setStandardErrorFile(m_log, QIODevice::Append);
        m_process.start(kSystemPython, QStringList{"-c", m_program, QString::number(m_port)} + args);
        if (!m_process.waitForStarted(5000))
            return false;
        QElapsedTimer t;
        t.start();
        while (!listening(m_port)) {
            if (t.elapsed() > 20000 || m_process.state() == QProcess::NotRunning)
                return false;
            QThread::msleep(20);
        }
        return true;
    }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    int port() const { return m_port; }

private:
    QString m_program, m_log;
    int m_port;
    QProcess m_process;
};

// The requests an HTTPS server recorded in `record`, in order.
inline QList<QJsonObject> recordedRequests(const QString &record)
{
    QList<QJsonObject> out;
    QFile f(record);
    if (f.open(QIODevice::ReadOnly))
        for (const QByteArray &line : f.readAll().split('\n'))
            if (!line.isEmpty())
                out << QJsonDocument::fromJson(line).object();
    return out;
}

// The mails an SMTP server kept in `folder`, in the order they came.
inline QList<QByteArray> keptMails(const QString &folder)
{
    QList<QByteArray> out;
    for (const QString &name : QDir(folder).entryList({"*.eml"}, QDir::Files, QDir::Name)) {
        QFile f(folder + "/" + name);
        if (f.open(QIODevice::ReadOnly))
            out << f.readAll();
    }
    return out;
}

} // namespace testsupport
