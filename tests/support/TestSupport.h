#pragma once
// Shared helpers for the tests: a temporary program folder laid out like a
// fresh install, and a bundle of fake services.

#include "ui/Clock.h"
#include "ui/Services.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <vector>

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

// Fake clock, recorded messages, scripted modal windows and fake ports. Every
// port made is kept in `ports` (the window owns it; the pointer is for tests).
struct FakeServices {
    explicit FakeServices(const QString &folder);
    ui::Services services() ;

    QString folder;
    ui::FakeClock clock;
    ui::RecordingMessages messages;
    ui::ScriptedModalRunner modal;
    std::vector<ui::FakeSerialPort *> ports;
    bool failOpen = false;
};

// prog.cfg text with the given values in the written layout.
QByteArray progCfg(const QString &port = "1", const QString &savehtml = "0",
                   const QString &saveExcel = "0", const QString &logDelay = "60",
                   const QString &logOn = "0", const QString &displayRPM = "1",
                   const QString &displayWS = "1", const QString &wsUnits = "mph");

} // namespace testsupport
