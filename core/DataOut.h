// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Every archived minute pushed to the owner's time-series database, the pure
// parts: the settings file "dataout.cfg" and its rules, its page as a form,
// the minutes and days as InfluxDB line protocol, the write request of each
// kind of database, and the sender's cursor file. Sending is libcurl's, on
// another thread (publish/).

#include "Archive.h"
#include "Availability.h"
#include "Messages.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace core {

// ---- dataout.cfg

// Values are kept as typed, as the page shows them back; dataOutProblem()
// tells whether they can be used.
struct DataOutSettings {
    bool on = false;
    // "influxdb1" (database, user, password), "influxdb2" (org, bucket,
    // token) or "victoriametrics" (user and password optional).
    std::string kind = "influxdb1";
    // The server's address: http:// or https://, host, port, and a path
    // when it is behind a proxy ("https://db.example.org:8086").
    std::string url;
    std::string database, user, password, org, bucket, token;
    // A CA file trusted beside the system's certificates (empty: none).
    std::string caFile;
};

std::string dataOutSettingsText(const DataOutSettings &s);
// Keys that are missing take their defaults.
DataOutSettings readDataOutSettings(std::string_view text);

// The first thing that keeps the settings from being used, with the key of
// the value to correct; nothing when they can be (the CA file's existence is
// the caller's). Settings that are off are not checked beyond their texts.
struct DataOutProblem {
    std::string key, text;
};
std::optional<DataOutProblem> dataOutProblem(const DataOutSettings &s);

// ---- what is sent

// The measurements and their one tag.
inline constexpr std::string_view kMinuteMeasurement = "veldra_minute";
inline constexpr std::string_view kDayMeasurement = "veldra_day";

// A tag's value (the site's name) as the line protocol takes it: ",", "="
// and blanks escaped, control characters (which end a line) as blanks, and
// never empty.
std::string lineProtocolTag(std::string_view value);

// One minute as a line of `veldra_minute` ending in "\n": its values at the
// archive's resolution, "." decimals, timestamped in seconds at the minute's
// start. Quantities without a value are left out; `imported` is 1 or 0 and
// `category` the category's number (its place in kAllCategories), so that
// neither makes a new series when it changes.
std::string minuteLine(const ArchiveRow &minute, Category category, std::string_view siteTag);
// A day's summary as a line of `veldra_day` at the day's local start.
std::string dayLine(const ArchiveRow &day, std::string_view siteTag);

// The write request for a body of lines (without it): the URL with the
// database, org or bucket and precision=s, and the Authorization header.
// Credentials are in the header only.
HttpRequest dataOutRequest(const DataOutSettings &s);
// `text` with the settings' password and token replaced by "…".
std::string dataOutRedacted(std::string text, const DataOutSettings &s);

// ---- the cursor: the last change the server confirmed, and which server

// The database the settings send to ("kind address database/org bucket"):
// a cursor of another is not taken up, so a new database gets every minute.
std::string dataOutTarget(const DataOutSettings &s);
struct DataOutCursor {
    std::int64_t seq = 0;
    std::string target;
};
// "seq=N" and "target=..." lines.
std::string cursorText(const DataOutCursor &c);
// nullopt when the text is not one the program wrote (missing, cut short).
std::optional<DataOutCursor> readCursor(std::string_view text);

} // namespace core
