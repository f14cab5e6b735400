// What zk405-cli is asked to program, from its options and a preset file, turned into the settings the
// module commands send: checked and converted to Windows-1250 before anything goes out.
#pragma once

#include "ModuleCommands.h"
#include "ToolOptions.h"

#include <optional>
#include <string>
#include <string_view>

namespace zk405_cli {

// The exit statuses a script sees; when ports end differently the lowest of 2, 3, 4 is reported.
enum ExitStatus : int {
    kExitOk = tool_options::kExitSuccess, // every selected setting confirmed on every port
    kExitUsage = tool_options::kExitUsage,  // bad usage or input; nothing was sent
    kExitNotOpened = 2,    // a port could not be opened
    kExitSilent = 3,       // a module stayed silent
    kExitNotConfirmed = 4, // a module refused or did not confirm a setting
};

inline constexpr size_t kMaxNameChars = 31;
inline constexpr size_t kMaxPinChars = 16;

// The values as the user gave them, UTF-8; an absent value is not programmed.
struct SettingsInput {
    std::optional<std::string> name; // may hold {port} and {n}
    std::optional<std::string> pin;
    std::optional<std::string> flow; // a protocol label: XON/XOFF, RTS/CTS, XON/XOFF+RTS/CTS, BRAK
    std::optional<std::string> auth; // always, remember
};

// A preset: "name=", "pin=", "flow=", "auth=" lines; blank lines and lines starting with "#" are
// skipped; keys and values are trimmed of spaces and tabs. source names the text in messages.
bool ParsePreset(std::string_view text, const std::string& source, SettingsInput& out, std::string& error);
bool ReadPreset(const std::string& path, SettingsInput& out, std::string& error);

// Values given as options win over the preset's.
SettingsInput Merge(const SettingsInput& preset, const SettingsInput& options);

bool IsEmpty(const SettingsInput& input);

// {port} becomes the port name, {n} its position in the list (from 1).
std::string ExpandName(const std::string& pattern, const std::string& port, size_t position);

// The settings for one port, in Windows-1250. False with a message when a value is not acceptable:
// a character Windows-1250 cannot hold or a control character, a name over 31 or a PIN over 16
// characters, an unknown protocol label or authentication mode.
bool BuildSettings(const SettingsInput& input, const std::string& port, size_t position, MODULE_SETTINGS& out,
                   std::string& error);

} // namespace zk405_cli
