// SPDX-License-Identifier: GPL-3.0-or-later
#include "WebFiles.h"

#include <cstdio>
#include <functional>
#include <map>
#include <mutex>

namespace web {

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

std::string entityTag(const WebFile &f)
{
    static std::mutex lock;
    static std::map<const WebFile *, std::string> tags;
    std::lock_guard guard(lock);
    std::string &tag = tags[&f];
    if (tag.empty()) {
        char text[24];
        // Weak: the file goes out compressed or not, one tag for both.
        std::snprintf(text, sizeof text, "W/\"%016zx\"", std::hash<std::string_view>()(f.bytes));
        tag = text;
    }
    return tag;
}

namespace {
const char kPageStart[] = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
                          "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
                          "<title>Veldra</title><link rel=\"icon\" href=\"/static/veldra.svg\" type=\"image/svg+xml\">"
                          "<link rel=\"stylesheet\" href=\"/static/veldra.css\"></head>"
                          "<body class=\"login\">\n";
}

std::string loginPage(const std::string &note)
{
    return std::string(kPageStart) + "<h1>Veldra</h1>\n" + (note.empty() ? "" : "<p><strong>" + note + "</strong></p>\n")
           + "<form method=\"post\" action=\"/login\"><label>Password <input type=\"password\" "
             "name=\"password\" autocomplete=\"current-password\" autofocus></label> "
             "<button type=\"submit\">Log in</button></form>\n</body></html>\n";
}

namespace {
// The pages, in the order the header lists them.
struct PageLink {
    const char *file, *path, *title;
};
const PageLink kPages[] = {
    {"dashboard.html", "/", "Now"},           {"trends.html", "/trends", "Trends"},
    {"energy.html", "/energy", "Energy"},     {"curve.html", "/power-curve", "Power curve"},
    {"wind.html", "/wind", "Wind"},           {"availability.html", "/availability", "Availability"},
    {"alarms.html", "/alarms", "Alarms"},     {"settings.html", "/settings", "Settings"},
};
} // namespace

std::string builtInPage(const char *name, bool password)
{
    const WebFile *f = webFile(name);
    std::string page = f ? std::string(f->bytes) : std::string();
    std::string header = "<header>\n<h1>Wind turbine</h1>\n<nav aria-label=\"Pages\">";
    for (const PageLink &p : kPages)
        header += std::string("<a href=\"") + p.path + "\""
                  + (std::string_view(name) == p.file ? " aria-current=\"page\"" : "") + ">" + p.title + "</a>";
    header += "</nav>\n";
    if (password)
        header += "<form method=\"post\" action=\"/logout\"><button type=\"submit\">Log out</button></form>\n";
    header += "</header>";
    // What every page of charts loads first.
    const std::string charts = "<meta charset=\"utf-8\">\n"
                               "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                               "<link rel=\"icon\" href=\"/static/veldra.svg\" type=\"image/svg+xml\">\n"
                               "<link rel=\"stylesheet\" href=\"/static/veldra.css\">\n"
                               "<link rel=\"stylesheet\" href=\"/static/uPlot.min.css\">\n"
                               "<script src=\"/static/uPlot.min.js\" defer></script>\n"
                               "<script src=\"/static/page.js\" defer></script>\n"
                               "<script src=\"/static/chartText.js\" defer></script>";
    for (const auto &[mark, text] : {std::pair<std::string, const std::string &>{"<!--header-->", header},
                                     std::pair<std::string, const std::string &>{"<!--charts-->", charts}})
        if (const size_t at = page.find(mark); at != std::string::npos)
            page.replace(at, mark.size(), text);
    return page;
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

} // namespace web
