// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Headless Chromium for the end-to-end tests, driven through the DevTools
// protocol by tests/support/cdp.py: a run's steps as JSON, one fresh browser
// a run, and what it gave back. Header-only.

#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTest>
#include <QtGlobal>

#include <functional>

namespace testsupport::browser {

struct Run {
    QJsonArray results, errors;
    QString failed;
};

// The driver's steps, run in one fresh browser; `meanwhile` is called once
// step `after` (counted from 0) has ended.
inline Run browse(const QJsonArray &steps, int after = -1, const std::function<void()> &meanwhile = {})
{
    QProcess p;
    p.start("python3", {qEnvironmentVariable("VELDRA_SOURCE") + "/tests/support/cdp.py",
                        QString::fromUtf8(QJsonDocument(steps).toJson(QJsonDocument::Compact))});
    Run r;
    QByteArray err;
    QElapsedTimer t;
    t.start();
    while (!p.waitForFinished(100)) {
        err += p.readAllStandardError();
        if (meanwhile && err.contains("step " + QByteArray::number(after) + "\n")) {
            meanwhile();
            after = -2;
        }
        if (t.elapsed() > 150000) {
            p.kill();
            p.waitForFinished();
            r.failed = "the browser driver did not finish";
            return r;
        }
    }
    err += p.readAllStandardError();
    for (const QByteArray &line : err.split('\n'))
        if (!line.isEmpty() && !line.startsWith("step "))
            qWarning("cdp.py: %s", line.constData());
    const QJsonObject o = QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    r.results = o["results"].toArray();
    r.errors = o["errors"].toArray();
    r.failed = o["failed"].isNull() ? QString() : QJsonDocument(o["failed"].toObject()).toJson();
    if (o.isEmpty())
        r.failed = "the browser driver printed nothing";
    return r;
}

// The steps, as cdp.py reads them.
inline QJsonObject open(const QString &url, int w, int h) { return {{"open", url}, {"width", w}, {"height", h}}; }
inline QJsonObject wait(const QString &js, int ms) { return {{"wait", js}, {"timeout", ms}}; }
inline QJsonObject eval(const QString &js) { return {{"eval", js}}; }
inline QJsonObject shot(const QString &path) { return {{"shot", path}}; }

// A test's rows at a phone's and a desktop's size.
inline void screenRows()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("phone") << 390 << 844;
    QTest::newRow("desktop") << 1280 << 800;
}

// Fails (on CI) or skips the test without Chromium and Python to drive it.
#define VELDRA_NEED_BROWSER()                                                                                       \
    for (const char *tool : {"chromium", "python3"})                                                                \
        if (QStandardPaths::findExecutable(tool).isEmpty()) {                                                       \
            if (qEnvironmentVariableIsSet("CI"))                                                                    \
                QFAIL(qPrintable(QString(tool) + " is missing (scripts/install-deps installs it)"));                \
            QSKIP(qPrintable(QString(tool) + " is missing; scripts/install-deps installs it"));                     \
        }

// What went wrong in a run: the step that did not finish, and the page's errors.
inline QString why(const Run &r) { return r.failed + " " + QJsonDocument(r.errors).toJson(); }

} // namespace testsupport::browser
