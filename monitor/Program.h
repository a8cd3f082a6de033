#pragma once

#include "Edition.h"

namespace monitor {

// Runs one edition as a program on the folder that holds the executable.
int runProgram(int argc, char **argv, const Edition &edition);

} // namespace monitor
