// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A secret read from the terminal a command was started from, without echo;
// or, when standard input is not a terminal (a pipe, a file), a line of it.

#include <optional>
#include <string>

namespace ui {

bool inputIsTerminal();
// One line: on a terminal after `prompt` (on standard error), with the
// echo off while it is typed. The line without its end; nullopt at the
// end of input.
std::optional<std::string> readSecretLine(const char *prompt);

} // namespace ui
