// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// --set-web-password and --web-network: web.cfg changed from the command
// line the way the Options page changes it, for a computer with no screen;
// then the program running on the folder reads it again.

#include "core/CommandLine.h"

#include <string>

namespace web {

// The exit codes, as the manual gives them.
enum WebCommandExit {
    kCommandDone = 0,
    kCommandFailed = 1,     // web.cfg unreadable or unwritable, no password yet, …
    kCommandNoPassword = 3, // none given, or the two typed differ
};

// Runs the command `line` holds for `program` (the name messages start
// with); returns its exit code.
int runWebCommand(int argc, char **argv, const core::CommandLine &line, const std::string &program);

} // namespace web
