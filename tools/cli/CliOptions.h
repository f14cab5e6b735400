// What zk405-cli is asked to program, from its options and a preset file, turned into the settings the
// module commands send: checked and converted to Windows-1250 before anything goes out.
#pragma once

#include "ModuleCommands.h"
#include "ToolOptions.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zk405_cli {

// The exit statuses a script sees; when ports end differently the lowest of 2, 3, 4 is reported.
enum ExitStatus : int {
    kExitOk = tool_options::kExitSuccess, // every selected setting confirmed on every port
    kExitUsage = tool_options::kExitUsage,  // bad usage or input; nothing was sent
    kExitNotOpened = 2,    // a port could not be opened or worked: missing, busy, its line stuck, no thread
    kExitSilent = 3,       // a module stayed silent
    kExitNotConfirmed = 4, // a module refused or did not confirm a setting
    kExitReportLost = 5,   // every port ended well, but the report could not be written
    kExitFailed = 6,       // an unexpected failure (no memory, say) ended the program; ports were closed
    // The ledger could not be read or written: the run stops, as a module programmed without its
    // record could get a name already given.
    kExitLedger = 7,
    kExitSignalBase = 128, // + the signal that stopped the run (130 for Ctrl+C)
};

// The words --auth and "auth=" take, with the choice each stands for.
struct AuthWord {
    const char* word;
    int32_t choice; // a MODULE_SETTINGS::authChoice
    const char* meaning;
};
inline constexpr AuthWord kAuthWords[] = {
    {"always", module_commands::kAuthAskEveryTime, "ask for the PIN every time"},
    {"remember", module_commands::kAuthRememberLast, "the last PIN"},
};

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
    std::optional<std::string> flow; // one of module_commands::kFlowLabels
    std::optional<std::string> auth; // one of kAuthWords
};

// A preset: "name=", "pin=", "flow=", "auth=" lines; blank lines and lines starting with "#" are
// skipped; keys and values are trimmed of spaces and tabs. source names the text in messages.
bool ParsePreset(std::string_view text, const std::string& source, SettingsInput& out, std::string& error);
// Read only from a regular file or a pipe (--preset /dev/stdin, <(...)), at most kMaxPresetBytes.
bool ReadPreset(const std::string& path, SettingsInput& out, std::string& error);

// Values given as options win over the preset's.
SettingsInput Merge(const SettingsInput& preset, const SettingsInput& options);

bool IsEmpty(const SettingsInput& input);

// {port} becomes the port name, {n} its position in the list (from 1).
std::string ExpandName(const std::string& pattern, const std::string& port, size_t position);

// The settings for one port, in Windows-1250. False with a message when a value is not acceptable:
// a character Windows-1250 cannot hold or a control character, a name or a PIN longer than the module
// keeps, an unknown protocol label or authentication mode.
bool BuildSettings(const SettingsInput& input, const std::string& port, size_t position, MODULE_SETTINGS& out,
                   std::string& error);

} // namespace zk405_cli
