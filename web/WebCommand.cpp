// SPDX-License-Identifier: GPL-3.0-or-later
#include "WebCommand.h"

#include "WebSettingsFile.h"
#include "ui/FolderStart.h"
#include "ui/ProgramFolder.h"
#include "ui/RunningProgram.h"
#include "ui/StreamMessages.h"
#include "ui/Terminal.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdio>

namespace web {

namespace {
QByteArray local(const QString &text) { return text.toLocal8Bit(); }

// The new password: typed twice on a terminal, or one line of standard input.
std::optional<std::string> newPassword(const std::string &program)
{
    const auto first = ui::readSecretLine("New password for the web server: ");
    if (first && !first->empty() && ui::inputIsTerminal()) {
        const auto again = ui::readSecretLine("The same password again: ");
        if (again != first) {
            std::fprintf(stderr, "%s: the two passwords differ; nothing was changed.\n", program.c_str());
            return std::nullopt;
        }
    }
    if (!first || first->empty()) {
        std::fprintf(stderr, "%s: no password was given; nothing was changed.\n", program.c_str());
        return std::nullopt;
    }
    return first;
}

QString address(const core::WebSettings &s)
{
    return QStringLiteral("%1://127.0.0.1:%2/").arg(s.tls ? "https" : "http").arg(core::webPort(s));
}
} // namespace

int runWebCommand(int argc, char **argv, const core::CommandLine &line, const std::string &program)
{
    QCoreApplication app(argc, argv);
    const ui::FolderPlace place = ui::findProgramFolder(line.folder);
    // The lock held while this runs when no program holds it; else the
    // program that does is told once the file is written.
    ui::FolderLock lock(place);
    qint64 holder = 0;
    QString holderName;
    const bool ours = lock.acquire(&holder, &holderName);
    if (ours) {
        ui::StreamMessageService messages(stderr);
        ui::makeFolderReady(place, messages);
    }
    const QString file = ui::ProgramFolder(place.path).webSettings();
    QString unreadable;
    core::WebSettings s = readWebSettingsFile(file, &unreadable);
    if (!unreadable.isEmpty()) {
        std::fprintf(stderr, "%s: %s\n", program.c_str(), local(unreadable).constData());
        return kCommandFailed;
    }

    std::string password;
    if (line.action == core::CommandLine::Action::SetWebPassword) {
        const auto typed = newPassword(program);
        if (!typed)
            return kCommandNoPassword;
        password = *typed;
        s.on = true;
        s.askPassword = true;
    } else if (line.webNetwork) {
        if (!core::readPasswordHash(s.passwordHash)) {
            std::fprintf(stderr, "%s: other devices may connect only with a password; set one first with %s "
                                 "--set-web-password.\n",
                         program.c_str(), program.c_str());
            return kCommandFailed;
        }
        s.on = true;
        s.network = true;
        s.askPassword = true;
    } else {
        s.network = false;
    }
    if (const auto why = storeWebSettings(file, s, password)) {
        std::fprintf(stderr, "%s: %s\n", program.c_str(), local(*why).constData());
        return kCommandFailed;
    }

    if (line.action == core::CommandLine::Action::SetWebPassword)
        std::printf("The web server's password is set in %s, and the server is on at %s on this computer.\n",
                    local(QDir::toNativeSeparators(file)).constData(), local(address(s)).constData());
    if (s.network)
        std::printf("Other devices on the network reach it too, with the password (at this computer's name or "
                    "address, port %d).\n",
                    core::webPort(s));
    else if (line.action == core::CommandLine::Action::SetWebPassword)
        std::printf("To let other devices on the network reach it (with the password): %s --web-network on\n",
                    program.c_str());
    else
        std::printf("Only this computer reaches the web server now.\n");

    if (!ours) {
        const QByteArray who = local(QStringLiteral("%1 (process %2)").arg(holderName).arg(holder));
        if (ui::tellToReload(place.path, holder, holderName))
            std::printf("%s, which runs on the folder, has taken it up.\n", who.constData());
        else
            std::printf("%s runs on the folder but could not be told: it takes this up when it starts again.\n",
                        who.constData());
    }
    return kCommandDone;
}

} // namespace web
