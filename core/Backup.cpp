// SPDX-License-Identifier: GPL-3.0-or-later
#include "Backup.h"

#include "EnergyBook.h"
#include "Number.h"
#include "TagValue.h"
#include "Text.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <tuple>

namespace core {

namespace {
constexpr std::string_view kNamePrefix = "veldra-backup-";
constexpr std::string_view kManifestHead = "Veldra backup";

bool allDigits(std::string_view s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A whole number from `most` digits at most; nullopt for anything else.
std::optional<long long> wholeOf(std::string_view s, size_t most = 18)
{
    if (!allDigits(s) || s.size() > most)
        return std::nullopt;
    long long v = 0;
    for (const char c : s)
        v = v * 10 + (c - '0');
    return v;
}

bool validDate(const CivilDate &d)
{
    return d.month >= 1 && d.month <= 12 && d.day >= 1 && civilFromDays(daysFromCivil(d)) == d;
}

// Monday-based weeks since the first Monday before 1970-01-01 (a Thursday).
long weekOf(const CivilDate &d) { return long(floorDiv(daysFromCivil(d) + 3, 7)); }
} // namespace

bool BackupStamp::operator<(const BackupStamp &o) const
{
    return std::tuple(daysFromCivil(date), hour, minute, second)
           < std::tuple(daysFromCivil(o.date), o.hour, o.minute, o.second);
}

bool BackupStamp::operator==(const BackupStamp &o) const
{
    return date == o.date && hour == o.hour && minute == o.minute && second == o.second;
}

std::string backupName(const BackupStamp &s)
{
    char text[40];
    std::snprintf(text, sizeof text, "%04d%02d%02d-%02d%02d%02d", s.date.year, s.date.month, s.date.day, s.hour,
                  s.minute, s.second);
    return std::string(kNamePrefix) + text;
}

std::optional<BackupStamp> readBackupName(std::string_view name)
{
    if (name.substr(0, kNamePrefix.size()) != kNamePrefix)
        return std::nullopt;
    name.remove_prefix(kNamePrefix.size());
    if (name.size() != 15 || name[8] != '-' || !allDigits(name.substr(0, 8)) || !allDigits(name.substr(9)))
        return std::nullopt;
    const auto n = [&](size_t at, size_t size) { return int(*wholeOf(name.substr(at, size))); };
    BackupStamp s{{n(0, 4), n(4, 2), n(6, 2)}, n(9, 2), n(11, 2), n(13, 2)};
    if (!validDate(s.date) || s.hour > 23 || s.minute > 59 || s.second > 59)
        return std::nullopt;
    return s;
}

// ---- manifest.txt --------------------------------------------------------------

std::string manifestText(const Manifest &m)
{
    std::string out = std::string(kManifestHead) + "\n";
    out += "schema " + std::to_string(m.schema) + "\n";
    out += "made " + m.made + "\n";
    for (const BackupFile &f : m.files)
        out += "file " + std::to_string(f.size) + " " + f.sha256 + " " + f.path + "\n";
    return out;
}

std::optional<Manifest> readManifest(std::string_view text, std::string *why)
{
    const auto wrong = [why](std::string words) -> std::optional<Manifest> {
        if (why)
            *why = std::move(words);
        return std::nullopt;
    };
    const std::vector<std::string_view> lines = splitLines(text);
    if (lines.empty() || lines[0] != kManifestHead)
        return wrong("it is not a backup's manifest");
    Manifest m;
    bool schema = false, made = false;
    std::set<std::string> seen;
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        const std::string at = "line " + std::to_string(i + 1) + " ";
        if (line.substr(0, 7) == "schema " && !schema) {
            const auto v = wholeOf(line.substr(7), 6);
            if (!v)
                return wrong(at + "has no schema number");
            m.schema = int(*v);
            schema = true;
        } else if (line.substr(0, 5) == "made " && !made) {
            m.made = std::string(line.substr(5));
            made = true;
        } else if (line.substr(0, 5) == "file ") {
            // "file <size> <sha256> <path>": the path last, as it may hold blanks.
            const std::string_view rest = line.substr(5);
            const size_t blank = rest.find(' ');
            if (blank == std::string_view::npos || rest.size() < blank + 1 + 64 + 2 || rest[blank + 65] != ' ')
                return wrong(at + "is not a file's line");
            BackupFile f;
            const auto size = wholeOf(rest.substr(0, blank));
            f.sha256 = std::string(rest.substr(blank + 1, 64));
            f.path = std::string(rest.substr(blank + 66));
            if (!size || !std::all_of(f.sha256.begin(), f.sha256.end(),
                                      [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }))
                return wrong(at + "has no size or digest");
            f.size = *size;
            bool leaves = f.path.empty() || f.path.front() == '/' || f.path.find('\\') != std::string::npos
                          || f.path.find(':') != std::string::npos;
            for (const std::string_view part : split(f.path, "/"))
                leaves = leaves || part.empty() || part == "." || part == "..";
            if (leaves)
                return wrong(at + "names a file outside the backup");
            if (!seen.insert(f.path).second)
                return wrong(at + "names " + f.path + " a second time");
            m.files.push_back(std::move(f));
        } else if (!line.empty()) {
            return wrong(at + "is not one of a manifest");
        }
    }
    if (!schema || !made)
        return wrong("it lacks the schema or the time it was made");
    return m;
}

// ---- what the schedule keeps -------------------------------------------------------

std::vector<size_t> backupsToDrop(const std::vector<BackupStamp> &made, const CivilDate &today, int days, int weeks)
{
    const long day = daysFromCivil(today), week = weekOf(today);
    // The newest of each day and of each week.
    std::map<long, size_t> newestOfDay, newestOfWeek;
    for (size_t i = 0; i < made.size(); ++i) {
        for (auto &[key, newest] : {std::pair{daysFromCivil(made[i].date), &newestOfDay},
                                    std::pair{weekOf(made[i].date), &newestOfWeek}}) {
            const auto it = newest->find(key);
            if (it == newest->end() || made[it->second] < made[i])
                (*newest)[key] = i;
        }
    }
    std::set<size_t> kept;
    for (const auto &[d, i] : newestOfDay)
        if (d <= day && d > day - days)
            kept.insert(i);
    for (const auto &[w, i] : newestOfWeek)
        if (w <= week && w > week - weeks)
            kept.insert(i);
    std::vector<size_t> dropped;
    for (size_t i = 0; i < made.size(); ++i)
        if (!kept.count(i))
            dropped.push_back(i);
    return dropped;
}

// ---- backup.cfg ----------------------------------------------------------------

std::string backupSettingsText(const BackupSettings &s)
{
    std::string out;
    putFlag(out, "BackupOn", s.on);
    putTag(out, "Folder", s.folder);
    putTag(out, "Time", s.time);
    putTag(out, "Days", s.days);
    putTag(out, "Weeks", s.weeks);
    return out;
}

BackupSettings readBackupSettings(std::string_view text)
{
    BackupSettings s;
    takeTag(text, "BackupOn", s.on);
    takeTag(text, "Folder", s.folder);
    takeTag(text, "Time", s.time);
    takeTag(text, "Days", s.days);
    takeTag(text, "Weeks", s.weeks);
    return s;
}

namespace {
std::optional<int> minuteOfDay(std::string_view t)
{
    if (t.size() != 5 || t[2] != ':')
        return std::nullopt;
    const auto h = wholeOf(t.substr(0, 2)), m = wholeOf(t.substr(3, 2));
    if (!h || !m || *h > 23 || *m > 59)
        return std::nullopt;
    return int(*h * 60 + *m);
}
} // namespace

std::optional<std::string> backupSettingsProblem(const BackupSettings &s)
{
    if (!minuteOfDay(trimBlanks(s.time, " \t")))
        return "The time of the daily backup must be hh:mm, such as 03:00.";
    const auto days = wholeOf(trimBlanks(s.days, " \t"), 4), weeks = wholeOf(trimBlanks(s.weeks, " \t"), 4);
    if (!days || *days < 1 || *days > 366)
        return "The days of backups kept must be a whole number from 1 to 366.";
    if (!weeks || *weeks > 520)
        return "The weeks of backups kept must be a whole number from 0 to 520.";
    if (s.on && trimBlanks(s.folder, " \t").empty())
        return "Choose the folder the backups go to (a USB stick, a mounted share).";
    return std::nullopt;
}

int backupMinuteOfDay(const BackupSettings &s) { return minuteOfDay(trimBlanks(s.time, " \t")).value_or(180); }
int backupDays(const BackupSettings &s) { return int(wholeOf(trimBlanks(s.days, " \t"), 4).value_or(7)); }
int backupWeeks(const BackupSettings &s) { return int(wholeOf(trimBlanks(s.weeks, " \t"), 4).value_or(4)); }

} // namespace core
