// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The programs' command line, and the program folder it leads to.

#include <string>
#include <vector>

namespace core {

struct CommandLine {
    enum class Action { Run, Help, Version, Export, Report, SetWebPassword, WebNetwork, Backup, Restore, Wrong };
    Action action = Action::Run;
    // The folder given with --folder, as written; empty when none was.
    std::string folder;
    // For Action::Export: the range as written, and "minute", "hour" or "day".
    std::string exportFrom, exportTo, exportStep = "minute";
    // For Action::Report: "powercurve", "wind", "energy", "availability", or "curve" with the file as written.
    std::string report, reportFile;
    // For Action::Backup the folder the backup goes into, for Action::Restore
    // the backup's folder, as written.
    std::string backupPath;
    // For Action::WebNetwork: whether other devices may reach the web server.
    bool webNetwork = false;
    // For Action::Wrong: what is wrong, in words for the user.
    std::string problem;
};

// `args` are the arguments after the program's name. Any wrong argument makes
// the whole line wrong, so "--help --bogus" is wrong too.
CommandLine parseCommandLine(const std::vector<std::string> &args);

enum class FolderKind {
    Given,    // --folder DIR
    UserData, // the installed program: the user's data folder
    Own,      // the folder that holds the program
};

struct FolderChoice {
    FolderKind kind;
    std::string path;
};

// The program folder, in this order: the folder given on the command line;
// for an installed program (its own folder is a "bin" with ../share/veldra
// beside it, `shareBeside`) the user's data folder; else its own folder.
FolderChoice chooseProgramFolder(const std::string &given, const std::string &ownFolder, bool shareBeside,
                                 const std::string &userDataFolder);

// The usage lines and options, for --help and after a wrong argument.
std::string usageText(const std::string &program);
// The whole --help text: usage, what the program does, and the folder it
// would use.
std::string helpText(const std::string &program, const FolderChoice &folder);

} // namespace core
