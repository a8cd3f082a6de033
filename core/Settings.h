// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The two tagged settings files, "prog.cfg" and "settings.cfg". Values are the
// texts found between the tags; each user converts them where they are used.

#include <string>
#include <string_view>
#include <vector>

namespace core {

struct ProgramSettings {
    std::string Port;
    std::string Savehtml;
    std::string SaveExcel;
    std::string LogDelay;
    std::string LogOn;
    std::string DisplayRPM;
    std::string DisplayWS;
    std::string WSUnits;
};

struct CalibrationSettings {
    std::string VoltDivider;
    std::string VoltOffset;
    std::string AmpDivider;
    std::string RPMDivider;
    std::string WSDivider;
};

// What a fresh program folder holds (the same values as dist/).
ProgramSettings defaultProgramSettings();
CalibrationSettings defaultCalibrationSettings();

// The whole file text, CR LF line ends, exactly as the setup and calibration
// windows write it.
std::string programSettingsText(const ProgramSettings &s);
std::string calibrationSettingsText(const CalibrationSettings &s);

// Read every key with tagValue. A key that is not found takes its value from
// `fallback` and its name is added to `missing` (when given).
ProgramSettings readProgramSettings(std::string_view text, const ProgramSettings &fallback,
                                    std::vector<std::string> *missing = nullptr);
CalibrationSettings readCalibrationSettings(std::string_view text, const CalibrationSettings &fallback,
                                            std::vector<std::string> *missing = nullptr);

// The keys of "settings.cfg" whose value is not a number, in file order: the
// readings that use them cannot be calibrated.
std::vector<std::string> nonNumericCalibration(const CalibrationSettings &s);

} // namespace core
