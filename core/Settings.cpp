// SPDX-License-Identifier: GPL-3.0-or-later
#include "Settings.h"

#include "Number.h"
#include "TagValue.h"

#include <utility>

namespace core {

namespace {
const char *const kCrLf = "\r\n";

using ProgField = std::pair<const char *, std::string ProgramSettings::*>;
const ProgField kProgFields[] = {
    {"Port", &ProgramSettings::Port},           {"Savehtml", &ProgramSettings::Savehtml},
    {"SaveExcel", &ProgramSettings::SaveExcel}, {"LogDelay", &ProgramSettings::LogDelay},
    {"LogOn", &ProgramSettings::LogOn},         {"DisplayRPM", &ProgramSettings::DisplayRPM},
    {"DisplayWS", &ProgramSettings::DisplayWS}, {"WSUnits", &ProgramSettings::WSUnits},
};

using CalField = std::pair<const char *, std::string CalibrationSettings::*>;
const CalField kCalFields[] = {
    {"VoltDivider", &CalibrationSettings::VoltDivider}, {"VoltOffset", &CalibrationSettings::VoltOffset},
    {"AmpDivider", &CalibrationSettings::AmpDivider},   {"RPMDivider", &CalibrationSettings::RPMDivider},
    {"WSDivider", &CalibrationSettings::WSDivider},
};

template <typename Settings, typename Fields>
Settings readFields(std::string_view text, const Settings &fallback, const Fields &fields,
                    std::vector<std::string> *missing)
{
    Settings s = fallback;
    for (const auto &[key, member] : fields) {
        if (auto v = tagValue(text, key))
            s.*member = std::move(*v);
        else if (missing)
            missing->push_back(key);
    }
    return s;
}
} // namespace

ProgramSettings defaultProgramSettings() { return {"1", "0", "0", "60", "0", "1", "1", "mph"}; }

CalibrationSettings defaultCalibrationSettings() { return {"40.96", "512", "10", "2", "1.6"}; }

std::string programSettingsText(const ProgramSettings &s)
{
    std::string text = std::string("Program Config File") + kCrLf + kCrLf;
    for (const auto &[key, member] : kProgFields)
        text += tagLine(key, s.*member);
    return text + kCrLf;
}

std::string calibrationSettingsText(const CalibrationSettings &s)
{
    std::string text = std::string("Calibration Settings") + kCrLf + kCrLf + kCrLf;
    for (const auto &[key, member] : kCalFields)
        text += tagLine(key, s.*member);
    return text;
}

ProgramSettings readProgramSettings(std::string_view text, const ProgramSettings &fallback,
                                    std::vector<std::string> *missing)
{
    return readFields(text, fallback, kProgFields, missing);
}

CalibrationSettings readCalibrationSettings(std::string_view text, const CalibrationSettings &fallback,
                                            std::vector<std::string> *missing)
{
    return readFields(text, fallback, kCalFields, missing);
}

std::vector<std::string> nonNumericCalibration(const CalibrationSettings &s)
{
    std::vector<std::string> keys;
    for (const auto &[key, member] : kCalFields)
        if (!readNumber(s.*member))
            keys.push_back(key);
    return keys;
}

} // namespace core
