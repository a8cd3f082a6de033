// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Backups of a program folder: the name of a backup's folder, the manifest
// that proves a backup whole, which backups the schedule keeps, and the
// settings file "backup.cfg".

#include "Energy.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace core {

// A backup's local date and time, to the second.
struct BackupStamp {
    CivilDate date;
    int hour = 0, minute = 0, second = 0;
    bool operator<(const BackupStamp &o) const;
    bool operator==(const BackupStamp &o) const;
};

// "veldra-backup-20261210-030000".
std::string backupName(const BackupStamp &s);
// The stamp of a name backupName gives; nullopt for any other name (the
// half-made ones are named otherwise).
std::optional<BackupStamp> readBackupName(std::string_view name);

// The manifest ("manifest.txt" in the backup): every other file of the
// backup with its size and SHA-256, the archive's schema and when it was made.
struct BackupFile {
    std::string path; // relative, "/" between folders
    long long size = 0;
    std::string sha256; // 64 lower-case hex digits
    bool operator==(const BackupFile &o) const { return path == o.path && size == o.size && sha256 == o.sha256; }
};
struct Manifest {
    int schema = 0; // the archive's; 0 without one
    std::string made; // "2026-12-10T03:00:00", local
    std::vector<BackupFile> files;
};
std::string manifestText(const Manifest &m);
// nullopt, with the line that is wrong in `why`, for a text manifestText
// did not write: a path that leaves the backup ("..", absolute, a drive),
// a file named twice, a size or digest that does not read.
std::optional<Manifest> readManifest(std::string_view text, std::string *why);

// Which backups the schedule drops, as indexes into `made`: it keeps the
// newest of each of the last `days` days (today counted) and the newest of
// each of the last `weeks` weeks (Monday to Sunday, this one counted).
std::vector<size_t> backupsToDrop(const std::vector<BackupStamp> &made, const CivilDate &today, int days, int weeks);

// "backup.cfg". Values as typed; backupSettingsProblem tells whether they can
// be used.
struct BackupSettings {
    bool on = false;
    std::string folder; // as typed, local 8-bit
    std::string time = "03:00";
    std::string days = "7", weeks = "4";
};
std::string backupSettingsText(const BackupSettings &s);
BackupSettings readBackupSettings(std::string_view text);
// Nothing when the settings can be used; otherwise what to correct.
std::optional<std::string> backupSettingsProblem(const BackupSettings &s);
// The time of day (minutes after midnight), days and weeks of settings that passed the check.
int backupMinuteOfDay(const BackupSettings &s);
int backupDays(const BackupSettings &s);
int backupWeeks(const BackupSettings &s);

// The file a chosen backup folder holds: backups go only where it is, so an
// unmounted share's empty mount point is never filled.
constexpr const char *kBackupMarker = "veldra-backups.txt";

} // namespace core
