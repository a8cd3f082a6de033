// SPDX-License-Identifier: GPL-3.0-or-later
#include "editions/Editions.h"
#include "monitor/Program.h"

int main(int argc, char **argv) { return monitor::runProgram(argc, argv, editions::flankdial()); }
