// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The settings pages as forms: each page's fields (under the settings
// file's own keys, with the words its page in the window shows), its
// settings as the texts its controls hold, and those texts read back by the
// rules the window's page checks them with. The window's pages and the
// browser's both go through here, so the same input saves the same file.

#include "Alarms.h"
#include "Archive.h"
#include "DataOut.h"
#include "Messages.h"
#include "Mqtt.h"
#include "Settings.h"
#include "Turbine.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace core {

// The texts of a form by key; a tick box is "1" or "0".
using FormValues = std::map<std::string, std::string, std::less<>>;

struct FormField {
    // The key as the file has it; the words in UTF-8.
    std::string key, label, unit;
    enum class Kind { Text, Tick, Secret } kind = Kind::Text;
    // Set in the program's window, by the command line or in the file only:
    // a program this computer runs, and the paths of files it reads.
    bool readOnly = false;
};

// What keeps a form from being saved: the message (ending "Nothing was
// saved.") and the key of the value to correct ("" for none in particular).
struct FormProblem {
    std::string key, text;
};

// A form from elsewhere than the window (the browser): only keys of
// `fields` that may be changed, ticks "0" or "1", and texts that a settings
// file keeps as they are: no line break or other control character, no "<"
// or ">" (a value holding "</Tag>" would end its tag early).
std::optional<FormProblem> foreignFormProblem(const std::vector<FormField> &fields, const FormValues &values);

// ---- prog.cfg (the Setup window)

// The labels are the window's; its file keeps the locale's 8-bit texts.
std::vector<FormField> setupFields();
// A tick box as the window shows it: "0", "1" or "2" (greyed, which only the
// file gives); anything else shows unticked.
FormValues setupValues(const ProgramSettings &s);
// The only rule is the window's: the port is a number. Its problem is the
// window's own message; everything else is saved as typed.
std::optional<FormProblem> readSetupValues(const FormValues &v, ProgramSettings &s);

// ---- settings.cfg (the Calibration window)

// `units` is the wind-speed unit the last question names.
std::vector<FormField> calibrationFormFields(std::string_view units);
// The boxes as the window fills them: a number in its number text, else as
// found; the wind divider as found.
FormValues calibrationValues(const CalibrationSettings &s);
// The dividers are saved as typed. The offset is a number ("Zero" gives it,
// in number text), or the stored text left as it was shown.
std::optional<FormProblem> readCalibrationValues(const FormValues &v, const CalibrationSettings &stored,
                                                 CalibrationSettings &s);

// ---- alarms.cfg

std::vector<FormField> alarmFields(std::string_view windUnit);
FormValues alarmValues(const AlarmSettings &s);
// The texts into `s`, or the first problem in the order the page checks.
// `commandProblem`, when given, says why a command cannot be run ("" when
// it can).
std::optional<FormProblem> readAlarmValues(const FormValues &v, AlarmSettings &s,
                                           const std::function<std::string(const std::string &)> &commandProblem = {});

// ---- mqtt.cfg

std::vector<FormField> mqttFields();
// The password is never among them: an empty "Password" keeps the stored one.
FormValues mqttValues(const MqttSettings &s);
// The texts into `s`; an empty password keeps `stored`'s for the same host
// (any letter case), and there is none without a user.
std::optional<FormProblem> readMqttValues(const FormValues &v, const MqttSettings &stored, MqttSettings &s);

// ---- turbine.cfg

std::vector<FormField> turbineFields();
// Numbers with the user's decimal separator, as the page shows them.
FormValues turbineValues(const TurbineSettings &s);
std::optional<FormProblem> readTurbineValues(const FormValues &v, TurbineSettings &s);

// ---- archive.cfg

std::vector<FormField> archiveFields();
FormValues archiveValues(const ArchiveSettings &s);
std::optional<FormProblem> readArchiveValues(const FormValues &v, ArchiveSettings &s);

// ---- messages.cfg

// The fields of `stored`'s channels and one more, empty, to add a channel.
// Passwords and tokens are secrets: never shown, kept when left empty.
std::vector<FormField> messageFields(const MessageSettings &stored);
FormValues messageValues(const MessageSettings &s);
// The texts into `s`. A channel whose kind is left empty is removed; an
// empty secret keeps `stored`'s for the channel of the same number and
// server (or URL).
std::optional<FormProblem> readMessageValues(const FormValues &v, const MessageSettings &stored, MessageSettings &s);

// ---- dataout.cfg

std::vector<FormField> dataOutFields();
// The password and the token are secrets: never shown.
FormValues dataOutValues(const DataOutSettings &s);
// The texts into `s`. An empty secret keeps `stored`'s for the same address
// (and, for the password, the same user); a form without "CaFile" (the
// browser's) keeps the stored one.
std::optional<FormProblem> readDataOutValues(const FormValues &v, const DataOutSettings &stored, DataOutSettings &s);

} // namespace core
