// SPDX-License-Identifier: GPL-3.0-or-later
#include "WebFiles.h"

namespace publish {

namespace {
bool endsWith(std::string_view s, std::string_view end)
{
    return s.size() >= end.size() && s.substr(s.size() - end.size()) == end;
}
} // namespace

const WebFile *webFile(std::string_view name)
{
    for (int i = 0; i < kWebFilesCount; ++i)
        if (name == kWebFiles[i].name)
            return &kWebFiles[i];
    return nullptr;
}

const char *webFileType(std::string_view name)
{
    if (endsWith(name, ".html"))
        return "text/html; charset=utf-8";
    if (endsWith(name, ".js"))
        return "text/javascript; charset=utf-8";
    if (endsWith(name, ".css"))
        return "text/css; charset=utf-8";
    if (endsWith(name, ".svg"))
        return "image/svg+xml";
    return "text/plain; charset=utf-8";
}

} // namespace publish
