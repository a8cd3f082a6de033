// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Files the program carries in itself (cmake/EmbedFiles.cmake makes their
// tables): the delivered settings and page template that make a new program
// folder ready, wherever the program lies.

#include <string_view>

namespace ui {

struct BuiltInFile {
    const char *name; // relative, with "/" ("html/template.asp")
    std::string_view bytes;
};

// The delivered files (prog.cfg, settings.cfg, html/template.asp).
extern const BuiltInFile kDeliveredFiles[];
extern const int kDeliveredFilesCount;

} // namespace ui
