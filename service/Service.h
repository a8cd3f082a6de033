// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace service {

// Runs the session with no window system at all, on the same program folder
// and files the windows edit: answers --help and --version, locks the folder,
// runs until SIGTERM or SIGINT (then saves and says goodbye) and reads every
// settings file again at SIGHUP. Messages go to standard error, one line each.
int runService(int argc, char **argv);

} // namespace service
