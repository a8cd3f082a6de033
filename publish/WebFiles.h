// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The web pages, their scripts and styles and the chart library, built into
// the program (cmake/EmbedFiles.cmake makes the table from publish/web), so
// nothing is served from a file and no path names one.

#include "ui/BuiltInFiles.h"

#include <string_view>

namespace publish {

using WebFile = ui::BuiltInFile;
extern const WebFile kWebFiles[];
extern const int kWebFilesCount;

// The built-in file of that name ("dashboard.js"), or nullptr.
const WebFile *webFile(std::string_view name);
// Its Content-Type, by the name's ending.
const char *webFileType(std::string_view name);

} // namespace publish
