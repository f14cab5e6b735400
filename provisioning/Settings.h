// What a run is asked to program, from a front end's fields and a preset file, turned into the settings
// the module commands send: checked and converted to Windows-1250 before anything goes out.
#pragma once

#include "ModuleCommands.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace provisioning {

// The words a preset's "auth=" (and zk405-cli's --auth) take, with the choice each stands for.
struct AuthWord {
    const char* word;
    int32_t choice; // a MODULE_SETTINGS::authChoice
    const char* meaning;
};
inline constexpr AuthWord kAuthWords[] = {
    {"always", module_commands::kAuthAskEveryTime, "ask for the PIN every time"},
    {"remember", module_commands::kAuthRememberLast, "the last PIN"},
};

// Beside the labels (in any letter case), the word for no flow control in English.
inline constexpr const char* kFlowNoneWord = "none";

// The flow-control labels and the authentication words (each with its meaning in brackets when
// asked) listed for a person: "a, b, c", then lastJoin and the last one.
std::string FlowLabelList(std::string_view lastJoin);
std::string AuthWordList(std::string_view lastJoin, bool withMeaning = false);

// A preset is a few short lines; anything larger is no preset (or /dev/zero).
inline constexpr size_t kMaxPresetBytes = 64 * 1024;

// The values as the user gave them, UTF-8; an absent value is not programmed.
struct SettingsInput {
    std::optional<std::string> name; // may hold {port} and {n}
    std::optional<std::string> pin;
    std::optional<std::string> flow; // one of module_commands::kFlowLabels or kFlowNoneWord, any letter case
    std::optional<std::string> auth; // one of kAuthWords, any letter case
    // A Bluetooth module's PIN now, to pair it before it is programmed; nothing the module is sent
    // (pair-pin= in a preset).
    std::optional<std::string> pairPin{};
    bool allowEmpty = false;         // an empty name or PIN is sent, not refused
};

// A preset: "name=", "pin=", "flow=", "auth=", "pair-pin=" lines; blank lines and lines starting with "#" are
// skipped; keys and values are trimmed of spaces and tabs. source names the text in messages.
bool ParsePreset(std::string_view text, const std::string& source, SettingsInput& out, std::string& error);
// Read only from a regular file or a pipe (--preset /dev/stdin, <(...)), at most kMaxPresetBytes.
bool ReadPreset(const std::string& path, SettingsInput& out, std::string& error);

// Values given as options win over the preset's.
SettingsInput Merge(const SettingsInput& preset, const SettingsInput& options);
// The preset at presetPath (none when it is empty) with the given values over it; false with the
// reason when the preset cannot be read or parsed.
bool LoadSettings(const std::string& presetPath, const SettingsInput& given, SettingsInput& out, std::string& error);

bool IsEmpty(const SettingsInput& input);

// A PIN kept in a file, so that it is in no process list and no shell history: its first line,
// without the line end. A file is read as ReadPreset reads one.
inline constexpr size_t kMaxPinFileBytes = 4096;
bool ReadPinFile(const std::string& path, std::string& pin, std::string& error);

// {port} becomes the port name, {n} its position in the list (from 1).
std::string ExpandName(const std::string& pattern, const std::string& port, size_t position);

// The settings for one port, in Windows-1250. False with a message when a value is not acceptable:
// a character Windows-1250 cannot hold or a control character, a name or a PIN longer than the module
// keeps, an empty one not asked for, a placeholder other than {n} and {port}, an unknown protocol
// label or authentication mode.
bool BuildSettings(const SettingsInput& input, const std::string& port, size_t position, MODULE_SETTINGS& out,
                   std::string& error);

} // namespace provisioning
