// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Shared helpers for the tests: a temporary program folder laid out like a
// fresh install, and (from Fakes.h) a bundle of fake services.

#include "Fakes.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <string>

namespace testsupport {

// A temporary program folder with the delivered prog.cfg, settings.cfg,
// logs/, html/template.asp and Excel/.
class ProgramFolder {
public:
    ProgramFolder();
    QString path() const { return m_dir.path(); }
    QString file(const QString &relative) const;
    void write(const QString &relative, const QByteArray &bytes) const;
    QByteArray read(const QString &relative) const;
    bool exists(const QString &relative) const;

private:
    QTemporaryDir m_dir;
};

// prog.cfg text with the given values in the written layout.
QByteArray progCfg(const QString &port = "1", const QString &savehtml = "0", const QString &saveExcel = "0",
                   const QString &logDelay = "60", const QString &logOn = "0", const QString &displayRPM = "1",
                   const QString &displayWS = "1", const QString &wsUnits = "mph");

// The local zone as TZ names it, taken up at once by the C library (and so Qt).
void setZone(const QByteArray &tz);

// What a report writing to (out, err) printed: its output when it returned
// 0, else its errors; the code it returned in `code`.
std::string printed(const std::function<int(std::FILE *out, std::FILE *err)> &report, int *code);

} // namespace testsupport
