// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandLine.h"

namespace core {

namespace {
const std::string kFolderOption = "--folder";

std::string lastComponent(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

CommandLine wrong(const std::string &problem)
{
    CommandLine line;
    line.action = CommandLine::Action::Wrong;
    line.problem = problem;
    return line;
}
} // namespace

CommandLine parseCommandLine(const std::vector<std::string> &args)
{
    CommandLine line;
    bool help = false;
    bool version = false;
    bool folderGiven = false;
    bool exporting = false, stepGiven = false, reporting = false;
    // The actions that exclude each other, as given.
    std::vector<std::string> actions;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (arg == "--help" || arg == "-h") {
            help = true;
        } else if (arg == "--version") {
            version = true;
        } else if (arg == kFolderOption || arg.rfind(kFolderOption + "=", 0) == 0) {
            std::string value;
            if (arg == kFolderOption) {
                if (i + 1 == args.size())
                    return wrong("--folder needs a folder");
                value = args[++i];
            } else {
                value = arg.substr(kFolderOption.size() + 1);
            }
            if (value.empty())
                return wrong("--folder needs a folder");
            if (folderGiven)
                return wrong("--folder is given more than once");
            folderGiven = true;
            line.folder = value;
        } else if (arg == "--set-web-password") {
            actions.push_back(arg);
            line.action = CommandLine::Action::SetWebPassword;
        } else if (arg == "--web-network") {
            if (i + 1 == args.size() || (args[i + 1] != "on" && args[i + 1] != "off"))
                return wrong("--web-network needs on or off");
            actions.push_back(arg);
            line.action = CommandLine::Action::WebNetwork;
            line.webNetwork = args[++i] == "on";
        } else if (arg == "--export") {
            if (exporting)
                return wrong("--export is given more than once");
            if (i + 2 >= args.size())
                return wrong("--export needs FROM and TO");
            exporting = true;
            actions.push_back(arg);
            line.exportFrom = args[++i];
            line.exportTo = args[++i];
        } else if (arg == "--report") {
            if (reporting)
                return wrong("--report is given more than once");
            if (i + 1 == args.size())
                return wrong("--report needs powercurve, wind, energy, availability, or curve and a FILE");
            reporting = true;
            actions.push_back(arg);
            line.report = args[++i];
            if (line.report == "curve") {
                if (i + 1 == args.size() || args[i + 1].empty() || args[i + 1][0] == '-')
                    return wrong("--report curve needs a FILE");
                line.reportFile = args[++i];
            } else if (line.report != "powercurve" && line.report != "wind" && line.report != "energy"
                       && line.report != "availability") {
                return wrong("--report needs powercurve, wind, energy, availability, or curve and a FILE, not '"
                             + line.report + "'");
            }
        } else if (arg == "--backup" || arg == "--restore") {
            if (i + 1 == args.size() || args[i + 1].empty() || args[i + 1][0] == '-')
                return wrong(arg == "--backup" ? "--backup needs the folder to put the backup in"
                                               : "--restore needs the backup's folder");
            actions.push_back(arg);
            line.action = arg == "--backup" ? CommandLine::Action::Backup : CommandLine::Action::Restore;
            line.backupPath = args[++i];
        } else if (arg == "--step") {
            if (i + 1 == args.size())
                return wrong("--step needs minute, hour or day");
            const std::string &step = args[++i];
            if (step != "minute" && step != "hour" && step != "day")
                return wrong("--step needs minute, hour or day, not '" + step + "'");
            stepGiven = true;
            line.exportStep = step;
        } else if (!arg.empty() && arg[0] == '-') {
            return wrong("unknown option '" + arg + "'");
        } else {
            return wrong("unexpected argument '" + arg + "'");
        }
    }
    if (stepGiven && !exporting)
        return wrong("--step goes with --export");
    if (actions.size() > 1)
        return wrong(actions[0] == actions[1] ? actions[0] + " is given more than once"
                                              : actions[0] + " and " + actions[1] + " exclude each other");
    if (help)
        line.action = CommandLine::Action::Help;
    else if (version)
        line.action = CommandLine::Action::Version;
    else if (exporting)
        line.action = CommandLine::Action::Export;
    else if (reporting)
        line.action = CommandLine::Action::Report;
    return line;
}

FolderChoice chooseProgramFolder(const std::string &given, const std::string &ownFolder, bool shareBeside,
                                 const std::string &userDataFolder)
{
    if (!given.empty())
        return {FolderKind::Given, given};
    if (shareBeside && lastComponent(ownFolder) == "bin" && !userDataFolder.empty())
        return {FolderKind::UserData, userDataFolder};
    return {FolderKind::Own, ownFolder};
}

std::string usageText(const std::string &program)
{
    return "Usage: " + program
           + " [--folder DIR]\n"
             "       "
           + program
           + " --export FROM TO [--step minute|hour|day] [--folder DIR]\n"
             "       "
           + program
           + " --report powercurve|wind|energy|curve FILE [--folder DIR]\n"
             "       "
           + program
           + " --set-web-password [--folder DIR]\n"
             "       "
           + program
           + " --web-network on|off [--folder DIR]\n"
             "       "
           + program
           + " --backup DEST | --restore BACKUP [--folder DIR]\n"
             "\n"
             "Options:\n"
             "  --folder DIR  keep the settings, logs, pages and spreadsheets in DIR\n"
             "  --export FROM TO\n"
             "                print the archive from FROM to TO as CSV and exit; each is a\n"
             "                date (2026-12-01; TO takes in that whole day) or a local\n"
             "                date and time (2026-12-01T06:30)\n"
             "  --step STEP   one row a minute (the default), an hour or a day\n"
             "  --report powercurve\n"
             "                print the measured power curve and its annual energy\n"
             "                estimate as CSV and exit\n"
             "  --report wind print the site's wind statistics and its own annual energy\n"
             "                estimate as CSV and exit\n"
             "  --report energy\n"
             "                print the energy of each month as CSV (with the performance\n"
             "                against the certified curve when one is imported) and exit\n"
             "  --report availability\n"
             "                print each month's and year's time in each category, the\n"
             "                turbine's availability and the energy lost by cause as CSV\n"
             "                and exit\n"
             "  --report curve FILE\n"
             "                print the estimate of a curve file (a header naming power_w\n"
             "                or power_kw, then wind in m/s and power a line) and exit\n"
             "  --set-web-password\n"
             "                set the web server's password (typed twice on the terminal,\n"
             "                or read once from standard input), switch the server on and\n"
             "                exit; a program running on the folder takes it up at once\n"
             "  --web-network on|off\n"
             "                let other devices on the network reach the web server (with\n"
             "                the password), or this computer only, and exit\n"
             "  --backup DEST copy the folder's files and archive, whole and checked, into\n"
             "                DEST/veldra-backup-<date>-<time>/ and exit; a program may\n"
             "                run on the folder meanwhile\n"
             "  --restore BACKUP\n"
             "                check the backup and put its files back into the folder (the\n"
             "                files they replace are kept aside) and exit\n"
             "  --help        show this help and exit\n"
             "  --version     show the version and exit\n";
}

std::string helpText(const std::string &program, const FolderChoice &folder)
{
    std::string why;
    switch (folder.kind) {
    case FolderKind::Given: why = "given with --folder)\n"; break;
    case FolderKind::UserData:
        why = "the user's data folder, as the program is installed; made with the\n"
              "   delivered settings on the first start)\n";
        break;
    case FolderKind::Own: why = "the folder that holds the program)\n"; break;
    }
    return usageText(program)
           + "\n"
             "Shows the live readings of a wind turbine's monitoring unit on a serial port,\n"
             "logs them and graphs the logs. Without --folder an installed program keeps its\n"
             "files in the user's data folder, and a program run from a folder of its own\n"
             "keeps them there. One program at a time runs on a folder.\n"
             "\n"
             "Program folder: "
           + folder.path
           + "\n"
             "  ("
           + why;
}

} // namespace core
