// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Real time-series databases for data out, on 127.0.0.1 at free ports with
// their data in a scratch folder: Debian's influxdb (1.x: /write, /query) and
// victoria-metrics (deduplication on, so a minute sent twice is kept once).
// Each can be stopped and started again on the same port and data, for an
// outage. Header-only.

#include "Broker.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QUrl>
#include <QUrlQuery>

#include <map>

namespace testsupport {

// The answer's body of a request by curl (a POST when `post` is given).
inline QByteArray httpBody(const QString &url, const QByteArray &post = QByteArray())
{
    QProcess p;
    QStringList args{"-s", "--max-time", "60", url};
    if (!post.isNull())
        args << "--data-binary"
             << "@-";
    p.start("curl", args);
    if (!post.isNull()) {
        p.write(post);
        p.closeWriteChannel();
    }
    p.waitForFinished(90000);
    return p.readAllStandardOutput();
}

// Why the databases cannot run here, or "" when they can.
inline QString timeSeriesMissing()
{
    for (const char *program : {"influxd", "victoria-metrics", "curl"})
        if (QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty())
            return QString::fromLatin1(program) + " is missing";
    return QString();
}

class TimeSeriesServer {
public:
    explicit TimeSeriesServer(QString folder) : m_folder(std::move(folder)), m_port(freePort()) { }
    virtual ~TimeSeriesServer() { stop(); }
    int port() const { return m_port; }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }
    bool start()
    {
        QDir().mkpath(m_folder);
        m_process.setStandardOutputFile(m_folder + "/server.log", QIODevice::Append);
        m_process.setStandardErrorFile(m_folder + "/server.log", QIODevice::Append);
        m_process.start(program(), arguments());
        if (!m_process.waitForStarted(10000))
            return false;
        QElapsedTimer t;
        t.start();
        while (!ready()) {
            if (t.elapsed() > 30000 || m_process.state() == QProcess::NotRunning)
                return false;
            QThread::msleep(50);
        }
        return true;
    }
    void stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(15000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }
    // Each minute's (Unix seconds) value of a field, of one site.
    virtual std::map<qint64, double> field(const QString &measurement, const QString &field,
                                           const QString &site) = 0;
    // How many points a site has of a measurement's field, duplicates counted.
    virtual int points(const QString &measurement, const QString &field, const QString &site) = 0;

protected:
    virtual QString program() const = 0;
    virtual QStringList arguments() = 0;
    virtual bool ready() = 0;
    QString m_folder;
    int m_port;
    QProcess m_process;
};

class InfluxServer : public TimeSeriesServer {
public:
    using TimeSeriesServer::TimeSeriesServer;
    // Started, with the database made.
    bool startWith(const QString &database)
    {
        m_database = database;
        if (!start())
            return false;
        const QByteArray answer = httpBody(url() + "/query",
                                           "q=" + QUrl::toPercentEncoding("CREATE DATABASE \"" + database + "\""));
        return answer.contains("\"results\"");
    }
    std::map<qint64, double> field(const QString &measurement, const QString &f, const QString &site) override
    {
        std::map<qint64, double> out;
        for (const QJsonValue &row :
             select("SELECT \"" + f + "\" FROM " + measurement + " WHERE site = '" + site + "'"))
            out[qint64(row.toArray()[0].toDouble())] = row.toArray()[1].toDouble();
        return out;
    }
    int points(const QString &measurement, const QString &f, const QString &site) override
    {
        const QJsonArray rows = select("SELECT count(\"" + f + "\") FROM " + measurement + " WHERE site = '" + site
                                       + "'");
        return rows.isEmpty() ? 0 : rows.first().toArray().last().toInt();
    }

private:
    QJsonArray select(const QString &q)
    {
        QUrlQuery query;
        query.addQueryItem("db", m_database);
        query.addQueryItem("epoch", "s");
        query.addQueryItem("q", q);
        const QJsonObject answer =
            QJsonDocument::fromJson(httpBody(url() + "/query?" + query.toString(QUrl::FullyEncoded))).object();
        // No series (nothing written yet) is no rows.
        const QJsonArray results = answer["results"].toArray();
        const QJsonArray series = results.isEmpty() ? QJsonArray()
                                                    : results.first().toObject()["series"].toArray();
        return series.isEmpty() ? QJsonArray() : series.first().toObject()["values"].toArray();
    }
    QString program() const override { return QStringLiteral("influxd"); }
    QStringList arguments() override
    {
        if (!m_rpc)
            m_rpc = freePort();
        const QString config = m_folder + "/influxdb.conf";
        QFile f(config);
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            f.write(
                QStringLiteral("reporting-disabled = true\n"
                               "bind-address = \"127.0.0.1:%1\"\n"
                               "[meta]\n  dir = \"%2/meta\"\n"
                               "[data]\n  dir = \"%2/data\"\n  wal-dir = \"%2/wal\"\n  query-log-enabled = false\n"
                               "[http]\n  bind-address = \"127.0.0.1:%3\"\n  log-enabled = false\n"
                               "[monitor]\n  store-enabled = false\n"
                               "[logging]\n  level = \"warn\"\n")
                    .arg(m_rpc)
                    .arg(m_folder)
                    .arg(m_port)
                    .toUtf8());
        return {"run", "-config", config};
    }
    bool ready() override
    {
        QProcess p;
        p.start("curl", {"-s", "-o", "/dev/null", "-w", "%{http_code}", url() + "/ping"});
        p.waitForFinished(5000);
        return p.readAllStandardOutput() == "204";
    }
    QString m_database;
    int m_rpc = 0;
};

class VictoriaServer : public TimeSeriesServer {
public:
    using TimeSeriesServer::TimeSeriesServer;
    std::map<qint64, double> field(const QString &measurement, const QString &f, const QString &site) override
    {
        std::map<qint64, double> out;
        for (const auto &[t, v] : exported(measurement, f, site))
            out[t] = v;
        return out;
    }
    int points(const QString &measurement, const QString &f, const QString &site) override
    {
        return int(exported(measurement, f, site).size());
    }

private:
    QList<std::pair<qint64, double>> exported(const QString &measurement, const QString &f, const QString &site)
    {
        httpBody(url() + "/internal/force_flush");
        QString quoted = site;
        quoted.replace("\\", "\\\\").replace("\"", "\\\"");
        const QString match = measurement + "_" + f + "{site=\"" + quoted + "\"}";
        QList<std::pair<qint64, double>> out;
        const QByteArray body = httpBody(url() + "/api/v1/export", "match[]=" + QUrl::toPercentEncoding(match));
        for (const QByteArray &line : body.split('\n')) {
            const QJsonObject series = QJsonDocument::fromJson(line).object();
            const QJsonArray values = series["values"].toArray(), times = series["timestamps"].toArray();
            for (int i = 0; i < values.size() && i < times.size(); ++i)
                out.append({qint64(times[i].toDouble() / 1000), values[i].toDouble()});
        }
        return out;
    }
    QString program() const override { return QStringLiteral("victoria-metrics"); }
    QStringList arguments() override
    {
        return {"-httpListenAddr=127.0.0.1:" + QString::number(m_port), "-storageDataPath=" + m_folder + "/data",
                "-retentionPeriod=100y", "-dedup.minScrapeInterval=1ms", "-loggerLevel=ERROR"};
    }
    bool ready() override { return httpBody(url() + "/health").startsWith("OK"); }
};

} // namespace testsupport
