// SPDX-License-Identifier: GPL-3.0-or-later
#include "Service.h"

#include "alarms/AlarmWatch.h"
#include "archive/Backup.h"
#include "archive/Export.h"
#include "web/WebCommand.h"
#include "core/Alarms.h"
#include "core/CommandLine.h"
#include "core/Number.h"
#include "monitor/Rooms.h"
#include "monitor/Session.h"
#include "web/WebServer.h"
#include "ui/Files.h"
#include "ui/FolderStart.h"
#include "ui/ProgramFolder.h"
#include "ui/Signals.h"
#include "publish/DataOut.h"
#include "ui/StreamMessages.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QTimer>
#include <cstdio>
#include <string>
#include <vector>

namespace service {

namespace {

const char kProgram[] = "veldra-service";

// Nothing asks here: there is no one to choose a file or see a window.
struct NoChooser : ui::FileChooser {
    QString openFile(QObject *, const QString &, const QString &, const QString &) override { return QString(); }
    QString saveFile(QObject *, const QString &, const QString &, const QString &) override { return QString(); }
};
struct NoWindows : ui::ModalRunner {
    void run(QDialog *) override { }
};

int answer(int argc, char **argv, const core::CommandLine &line)
{
    switch (line.action) {
    case core::CommandLine::Action::Version: std::printf("%s (Veldra) %s\n", kProgram, VELDRA_VERSION); return 0;
    case core::CommandLine::Action::Help: {
        QCoreApplication app(argc, argv);
        const ui::FolderPlace place = ui::findProgramFolder(line.folder);
        const core::FolderChoice folder{place.kind,
                                        QDir::toNativeSeparators(place.path).toLocal8Bit().toStdString()};
        const std::string text = core::helpText(kProgram, folder);
        const size_t where = text.find("Program folder:");
        std::fputs((core::usageText(kProgram)
                    + "\n"
                      "Runs what the windows run behind them, with no display: the port, the\n"
                      "frames, energy, the daily log and pages when LogOn is 1, alarms and their\n"
                      "command, and publishing, all as the program folder's settings say. SIGTERM\n"
                      "or SIGINT ends it (energy and curve saved); SIGHUP reads every settings file\n"
                      "again. Messages go to standard error. One program at a time runs on a folder.\n"
                      "\n"
                    + (where == std::string::npos ? std::string() : text.substr(where)))
                       .c_str(),
                   stdout);
        return 0;
    }
    case core::CommandLine::Action::Export:
    case core::CommandLine::Action::Report: return archive::answerFromArchive(argc, argv, line);
    case core::CommandLine::Action::Backup:
    case core::CommandLine::Action::Restore: return archive::answerBackup(argc, argv, line);
    case core::CommandLine::Action::SetWebPassword:
    case core::CommandLine::Action::WebNetwork: return web::runWebCommand(argc, argv, line, kProgram);
    default:
        std::fprintf(stderr, "%s: %s\n%s", kProgram, line.problem.c_str(), core::usageText(kProgram).c_str());
        return 2;
    }
}


// The session as the main window runs it, with lines on standard error
// where the window would show a message box.
class Runner {
public:
    Runner(monitor::Rooms &rooms, ui::StreamMessageService &messages, ui::Clock &clock)
        : m_rooms(rooms), m_session(rooms.session()), m_messages(messages), m_clock(clock)
    { }

    void start()
    {
        if (!m_session.start())
            portFailed();
        applyLogging(std::string());
        const QDate d = m_clock.date();
        m_session.startEnergy({d.year(), d.month(), d.day()});
        QObject::connect(m_session.alarms(), &alarms::AlarmWatch::alarmChanged, &m_session,
                         [this](const QString &, const QString &name, bool raised, const QString &value) {
                             m_messages.info(QStringLiteral("%1 %2: %3.")
                                                 .arg(name, raised ? QStringLiteral("raised") : QStringLiteral("cleared"),
                                                      value));
                         });
        m_messages.info(QStringLiteral("Running on the folder %1 with %2; %3.")
                            .arg(QDir::toNativeSeparators(m_session.services().programFolder),
                                 portText(), loggingText()));
        // What keeps data out from sending, in the server's words, as it changes.
        if (publish::DataOut *d = m_session.dataOut()) {
            const auto tell = [this](const QString &text) {
                m_messages.info(text.isEmpty() ? QStringLiteral("Data out: nothing keeps it from sending.")
                                               : text.at(0).toUpper() + text.mid(1) + QStringLiteral("."));
            };
            if (!d->status().isEmpty())
                tell(d->status());
            QObject::connect(d, &publish::DataOut::statusChanged, &m_session, tell);
        }
        // Where the web server can be reached, when it starts and at each
        // change (its problems are told as they come).
        if (web::WebServer *web = m_session.webServer()) {
            if (web->running())
                m_messages.info(web->statusText());
            QObject::connect(web, &web::WebServer::statusChanged, &m_session, [this, web](const QString &text) {
                if (web->running() || text == QStringLiteral("The web server is off."))
                    m_messages.info(text);
            });
        }
    }

    // SIGHUP: every settings file again; the port opened again only when its
    // number changed, logging started, restarted or stopped as LogOn and
    // LogDelay now say.
    void reload()
    {
        const core::ProgramSettings before = m_session.settings();
        m_session.loadSettings();
        if (m_session.settings().Port != before.Port && !m_session.openPort())
            portFailed();
        applyLogging(before.LogDelay);
        m_rooms.reload();
        m_messages.info(QStringLiteral("Settings read again: %1; %2.")
                            .arg(portText(), loggingText()));
    }

private:
    // "the port COM1", or the device it stands for when the folder has no
    // such entry: "port 1 (/dev/ttyS0, no COM1 entry in the folder)".
    QString portText() const
    {
        const ui::SerialPort *port = m_session.port();
        const std::string name
            = core::portName(m_session.settings().Port, port->portNumber(), ui::toLocal(port->systemDevice()));
        return (name.rfind("COM", 0) == 0 ? QStringLiteral("the port ") : QString()) + ui::fromLocal(name);
    }

    // The retry every 2 s goes on silently, as it does behind the window.
    void portFailed()
    {
        m_messages.inform(nullptr, QStringLiteral("Error opening port %1 (Port in %2). It is tried again every 2 seconds.")
                                       .arg(ui::fromLocal(m_session.settings().Port), settingsFile()));
    }

    void applyLogging(const std::string &runningDelay)
    {
        if (m_session.logAsSettingsSay(runningDelay).result != monitor::Session::LogStart::BadDelay)
            return;
        m_messages.inform(
            nullptr,
            QStringLiteral("Invalid delay period \"%1\" (LogDelay in %2), needs to be a number between 10 and 600. %3")
                .arg(ui::fromLocal(m_session.settings().LogDelay), settingsFile(),
                     m_session.logging() ? QStringLiteral("Logging goes on as it was.")
                                         : QStringLiteral("Nothing is logged.")));
    }

    QString settingsFile() const
    {
        return QDir::toNativeSeparators(ui::ProgramFolder(m_session.services().programFolder).programSettingsFile());
    }

    QString loggingText() const
    {
        if (!m_session.logging())
            return QStringLiteral("logging off");
        return QStringLiteral("logging every %1 s").arg(m_session.logTimer()->interval() / 1000);
    }

    monitor::Rooms &m_rooms;
    monitor::Session &m_session;
    ui::StreamMessageService &m_messages;
    ui::Clock &m_clock;
};

} // namespace

int runService(int argc, char **argv)
{
    const core::CommandLine line = ui::readProgramCommandLine(argc, argv);
    if (line.action != core::CommandLine::Action::Run)
        return answer(argc, argv, line);

    QCoreApplication app(argc, argv);
    app.setApplicationName(QString::fromLatin1(kProgram));
    core::setDecimalSeparator(core::decimalSeparatorFor(QLocale::system().decimalPoint().toStdString()));

    ui::SystemClock clock;
    ui::StreamMessageService messages(stderr, ui::StreamMessageService::prefixFor(stderr), &clock);
    ui::EndSignals endSignals;
    if (!endSignals.catchSignals(true)) {
        messages.inform(nullptr,
                        QStringLiteral("The signals to end and to read the settings again cannot be caught."));
        return 1;
    }

    const ui::FolderPlace place = ui::findProgramFolder(line.folder);
    // The folder and its lock first; its files once it is ours.
    ui::FolderLock lock(place);
    qint64 holder = 0;
    QString holderName;
    if (!lock.acquire(&holder, &holderName)) {
        messages.inform(nullptr, ui::folderInUseText(place.path, holder, holderName));
        return 1;
    }
    ui::makeFolderReady(place, messages);

    NoChooser files;
    NoWindows modal;
    const ui::Services services = ui::folderServices(place.path, clock, messages, modal, files);

    int status = 0;
    {
        monitor::Rooms rooms(services);
        Runner runner(rooms, messages, clock);
        runner.start();

        QObject::connect(&endSignals, &ui::EndSignals::reloadRequested, &app, [&runner] { runner.reload(); });
        QObject::connect(&endSignals, &ui::EndSignals::endRequested, &app, [&messages](const QString &name) {
            messages.info(QStringLiteral("Ending (%1).").arg(name));
            QCoreApplication::quit();
        });
        status = app.exec();
        // The port let go, energy and curve saved; the publisher's goodbye
        // ("offline", then a clean disconnect) comes as the rooms end.
        rooms.session().finish();
    }
    messages.info(QStringLiteral("Ended; energy and power curve saved."));
    return status;
}

} // namespace service
