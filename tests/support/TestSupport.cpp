// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <ctime>

namespace testsupport {

namespace {
QString sourceFolder()
{
    const QByteArray s = qgetenv("VELDRA_SOURCE");
    return s.isEmpty() ? QStringLiteral(".") : QString::fromLocal8Bit(s);
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

ProgramFolder::ProgramFolder()
{
    const QString dist = sourceFolder() + QStringLiteral("/dist");
    QDir d(m_dir.path());
    d.mkpath(QStringLiteral("logs"));
    d.mkpath(QStringLiteral("html"));
    d.mkpath(QStringLiteral("Excel"));
    write(QStringLiteral("prog.cfg"), readFile(dist + QStringLiteral("/prog.cfg")));
    write(QStringLiteral("settings.cfg"), readFile(dist + QStringLiteral("/settings.cfg")));
    write(QStringLiteral("html/template.asp"), readFile(dist + QStringLiteral("/html/template.asp")));
}

QString ProgramFolder::file(const QString &relative) const { return QDir(m_dir.path()).filePath(relative); }

void ProgramFolder::write(const QString &relative, const QByteArray &bytes) const
{
    QFile f(file(relative));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

QByteArray ProgramFolder::read(const QString &relative) const { return readFile(file(relative)); }

bool ProgramFolder::exists(const QString &relative) const { return QFileInfo::exists(file(relative)); }

QByteArray progCfg(const QString &port, const QString &savehtml, const QString &saveExcel, const QString &logDelay,
                   const QString &logOn, const QString &displayRPM, const QString &displayWS,
                   const QString &wsUnits)
{
    QByteArray t = "Program Config File\r\n\r\n";
    auto line = [&](const char *k, const QString &v) {
        t += QByteArray("<") + k + ">" + v.toLocal8Bit() + "</" + k + ">\r\n";
    };
    line("Port", port);
    line("Savehtml", savehtml);
    line("SaveExcel", saveExcel);
    line("LogDelay", logDelay);
    line("LogOn", logOn);
    line("DisplayRPM", displayRPM);
    line("DisplayWS", displayWS);
    line("WSUnits", wsUnits);
    return t + "\r\n";
}

void setZone(const QByteArray &tz)
{
    qputenv("TZ", tz);
#ifdef _WIN32
    _tzset();
#else
    tzset();
#endif
}

std::string printed(const std::function<int(std::FILE *out, std::FILE *err)> &report, int *code)
{
    std::FILE *out = std::tmpfile();
    std::FILE *err = std::tmpfile();
    *code = report(out, err);
    std::string text;
    std::FILE *written = *code == 0 ? out : err;
    std::rewind(written);
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, written)) > 0)
        text.append(buffer, n);
    std::fclose(out);
    std::fclose(err);
    return text;
}

} // namespace testsupport
