// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Edition.h"

namespace monitor {

// Runs one edition as a program: answers --help and --version, or finds its
// program folder (--folder, the installed program's data folder, or the folder
// that holds the executable), locks it and shows the main window.
int runProgram(int argc, char **argv, const Edition &edition);

} // namespace monitor
