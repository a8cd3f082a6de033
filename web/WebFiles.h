// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The web pages, their scripts and styles and the chart library, built into
// the program (cmake/EmbedFiles.cmake makes the table from web/site), so
// nothing is served from a file and no path names one.

#include "ui/BuiltInFiles.h"

#include <string>
#include <string_view>

namespace web {

using WebFile = ui::BuiltInFile;
extern const WebFile kWebFiles[];
extern const int kWebFilesCount;

// The built-in file of that name ("dashboard.js"), or nullptr.
const WebFile *webFile(std::string_view name);
// Its Content-Type, by the name's ending.
const char *webFileType(std::string_view name);
// A validator of a built-in file: a hash of its bytes, made once.
std::string entityTag(const WebFile &f);

// The login page, with a note above the form when there is one.
std::string loginPage(const std::string &note);
// A built-in page with its header: the links to every page (this one
// marked) and the "Log out" button when a password is asked for; a page of
// charts also with what all of them load.
std::string builtInPage(const char *name, bool password);

} // namespace web
