// SPDX-License-Identifier: GPL-3.0-or-later
#include "Program.h"

#include "Logger.h"
#include "RoomPages.h"
#include "Rooms.h"
#include "archive/Backup.h"
#include "archive/Export.h"
#include "web/WebCommand.h"
#include "core/CommandLine.h"
#include "core/Number.h"
#include "desktop/Desktop.h"
#include "ui/Files.h"
#include "ui/FolderStart.h"
#include "ui/ProgramFolder.h"
#include "ui/QtServices.h"
#include "ui/RunningProgram.h"
#include "ui/Signals.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <algorithm>
#include <cstring>
#include <cstdio>
#include <string>
#include <vector>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace monitor {

namespace {

// --help, --version and a wrong command line are answered on the terminal
// before the window system starts, so they work without a display.
int answer(int argc, char **argv, const Edition &edition, const core::CommandLine &line)
{
    const std::string program = edition.name.toStdString();
    switch (line.action) {
    case core::CommandLine::Action::Version:
        std::printf("%s (Veldra) %s\n", program.c_str(), VELDRA_VERSION);
        return 0;
    case core::CommandLine::Action::Help: {
        QCoreApplication app(argc, argv);
        const ui::FolderPlace place = ui::findProgramFolder(line.folder);
        const core::FolderChoice folder{place.kind,
                                        QDir::toNativeSeparators(place.path).toLocal8Bit().toStdString()};
        std::fputs(core::helpText(program, folder).c_str(), stdout);
        return 0;
    }
    case core::CommandLine::Action::Export:
    case core::CommandLine::Action::Report: return archive::answerFromArchive(argc, argv, line);
    case core::CommandLine::Action::Backup:
    case core::CommandLine::Action::Restore: return archive::answerBackup(argc, argv, line);
    case core::CommandLine::Action::SetWebPassword:
    case core::CommandLine::Action::WebNetwork: return web::runWebCommand(argc, argv, line, program);
    default:
        std::fprintf(stderr, "%s: %s\n%s", program.c_str(), line.problem.c_str(),
                     core::usageText(program).c_str());
        return 2;
    }
}

} // namespace

int runProgram(int argc, char **argv, const Edition &edition)
{
#ifdef Q_OS_WIN
    // A window program has no console of its own: what the command-line uses
    // print goes to the console it was started from, unless redirected.
    if (argc > 1 && !::GetStdHandle(STD_OUTPUT_HANDLE) && ::AttachConsole(ATTACH_PARENT_PROCESS)) {
        std::freopen("CONOUT$", "w", stdout);
        std::freopen("CONOUT$", "w", stderr);
        // --set-web-password reads the password typed there.
        if (!::GetStdHandle(STD_INPUT_HANDLE))
            std::freopen("CONIN$", "r", stdin);
    }
    // The reports and exports end their lines in CR LF themselves: standard
    // output in text mode would make that CR CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    const core::CommandLine line = ui::readProgramCommandLine(argc, argv);
    if (line.action != core::CommandLine::Action::Run)
        return answer(argc, argv, edition, line);

#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // Without a display Qt would abort with its plugin's words: say what is
    // wrong and what runs without one.
    const bool platformGiven = !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")
                               || std::any_of(argv, argv + argc, [](const char *a) { return !std::strcmp(a, "-platform"); });
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") && !platformGiven) {
        std::fprintf(stderr,
                     "%s: there is no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set). "
                     "veldra-service runs the same without one.\n",
                     edition.name.toLocal8Bit().constData());
        return 1;
    }
#endif
    QApplication app(argc, argv);
    app.setApplicationName(edition.name);

    // Numbers are written with the user's regional decimal separator where
    // the files can hold it.
    core::setDecimalSeparator(core::decimalSeparatorFor(QLocale::system().decimalPoint().toStdString()));

    ui::SystemClock clock;
    ui::QtMessageService messages;
    ui::QtModalRunner modal;
    ui::QtFileChooser files;

    const ui::FolderPlace place = ui::findProgramFolder(line.folder);
    // The folder and its lock first; its files once it is ours.
    ui::FolderLock lock(place);
    qint64 holder = 0;
    QString holderName;
    if (!lock.acquire(&holder, &holderName)) {
        // A window on the folder comes to the front instead; the service has none.
        if (ui::RunningProgram::ask(place.path, ui::RunningProgram::Ask::Show)) {
            std::fprintf(
                stderr,
                "%s: %s (process %lld) already runs on the folder %s; its window was brought to the front.\n",
                edition.name.toLocal8Bit().constData(), holderName.toLocal8Bit().constData(),
                static_cast<long long>(holder), QDir::toNativeSeparators(place.path).toLocal8Bit().constData());
            return 0;
        }
        const QString text = ui::folderInUseText(place.path, holder, holderName);
        std::fprintf(stderr, "%s: %s\n", edition.name.toLocal8Bit().constData(), text.toLocal8Bit().constData());
        messages.inform(nullptr, text);
        return 1;
    }
    ui::makeFolderReady(place, messages);

    // Listening from here on, so a second start during this one's start-up
    // finds it; the window comes up at the end of it anyway.
    ui::RunningProgram running(place.path);

    const ui::Services services = ui::folderServices(place.path, clock, messages, modal, files);

    Rooms rooms(services);
    // SIGTERM and SIGINT (a logout, a shutdown, kill) end the program as its
    // Exit button does, also from inside Setup, Calib, Graph or a message
    // box: those are closed first, and none opens after.
    Logger *ending = nullptr;
    ui::EndSignals endSignals;
    endSignals.catchSignals(false);
    QObject::connect(&endSignals, &ui::EndSignals::endRequested, &app, [&ending] {
        ui::setEnding();
        ui::closeModalWindows();
        if (ending)
            ending->Exit_Click();
    });
    Logger logger(rooms.session(), edition);
    ending = &logger;
    if (ui::ending()) {
        // It came while the window was being made (a box at start).
        logger.Exit_Click();
        return 0;
    }

    // In the background on the desktop: the tray icon, notifications, start at login.
    const auto desk = desktop::Desktop::forProgram(services, rooms.session().alarms(), edition.name,
                                                   place.kind == core::FolderKind::Given);
    desk->setWindow(&logger);
    logger.setDesktop(desk.get());
    addBackupPage(logger, &rooms.backup());
    QObject::connect(desk.get(), &desktop::Desktop::exitRequested, &logger, &Logger::Exit_Click);
    QObject::connect(&running, &ui::RunningProgram::showRequested, desk.get(), &desktop::Desktop::showWindow);
    // A command that changed a settings file (--set-web-password) asks for it to be read.
    QObject::connect(&running, &ui::RunningProgram::reloadRequested, &rooms.session(), [&rooms] { rooms.reload(); });

    logger.show();
    return app.exec();
}

} // namespace monitor
