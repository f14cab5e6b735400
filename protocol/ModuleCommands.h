// The ZK405's configuration commands as this program conducts them: one write of a command ending in
// CR LF, a fixed one-second wait, then whatever the module has answered by then. A link may instead
// end each exchange as soon as the reply is complete, with the same second as the cap.
#pragma once

#include "ModuleFacts.h"
#include "SerialPort.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// What the settings window hands to ProgramModule. Texts are single-byte Windows-1250; an item is
// sent only when its flag is exactly 1.
struct MODULE_SETTINGS {
    int32_t setName = 0;
    int32_t setPin = 0;
    int32_t setFlow = 0;
    int32_t setAuth = 0;
    std::string name;          // at most kNameMaxChars when typed; a name read back may be longer
    std::string pin;           // at most kPinMaxChars
    std::string protocolLabel; // the protocol box's text
    int32_t authChoice = module_commands::kAuthNotChosen; // or kAuthAskEveryTime, kAuthRememberLast
};

namespace module_commands {

inline constexpr uint32_t kReplyWaitMs = 1000;
inline constexpr int kNameAttempts = 11;
// How often a reply-driven exchange looks for more of the reply.
inline constexpr uint32_t kReplyPollMs = 1;
// How often a fixed wait that a stop may cut short looks at the stop request.
inline constexpr uint32_t kStopPollMs = 10;

using WaitFunction = std::function<void(uint32_t milliseconds)>;

// Blocks the calling thread: the real wait between a command and its reply.
void SleepMilliseconds(uint32_t milliseconds);

// The port a conversation runs on and how it waits for replies. The caller names the port (the windows
// g_serialPort, zk405-cli a port per job); tests put in a pseudo-terminal's port and a wait that lets
// the far end answer at once.
struct CommandLink {
    CSerialPort* port = nullptr;
    WaitFunction wait = SleepMilliseconds;
    // Off: every exchange waits its full second, as the windows do. On: the port is read every
    // kReplyPollMs (waiting through wait) until IsReplyComplete holds or the second is over, so a
    // slow or silent module gets exactly the same second and a prompt one is not kept waiting.
    bool replyDriven = false;
    // Asked before each command and between the pieces of a wait (given, the fixed second is waited
    // in kStopPollMs pieces): true ends the wait under way with what has come, and no further
    // command is sent. Empty: nothing stops a conversation.
    std::function<bool()> stopRequested = nullptr;
    // Told as each try of the name's query starts (from 1, of kNameAttempts), so that a front end can
    // show a person why nothing seems to happen for up to eleven seconds. Empty: nobody is told.
    std::function<void(int attempt, int of)> attemptStarting = nullptr;
};

// How one exchange ended: the reply taken ("0" for none); false written when the command did not go
// out within the port's write bound (a line held by flow control), so that silence is not blamed on
// the module; stopped when a stop request cut the wait short.
struct Exchange {
    std::string reply = "0";
    bool written = true;
    bool stopped = false;
};

// The module's final word in a reply: its first whole "OK" or "ERROR" line (ended by LF, a CR
// before the LF allowed); None while neither has come.
enum class FinalLine { None, Ok, Error };
FinalLine FinalLineOf(std::string_view reply);

// True once the reply holds its final line. A name reply is complete with the "OK" after its name.
inline bool IsReplyComplete(std::string_view reply) {
    return FinalLineOf(reply) != FinalLine::None;
}

// The settings in the order ProgramModule sends them.
enum class SettingItem { Name, Pin, Flow, Auth };
// "name", "pin", "flow", "auth".
const char* SettingItemName(SettingItem item);

// Told about each command ProgramModule sent, with how its exchange ended.
using ExchangeObserver =
    std::function<void(SettingItem item, const std::string& command, const Exchange& exchange)>;
// Told before each command ProgramModule sends, with the setting it carries.
using ExchangeStarting = std::function<void(SettingItem item)>;

// The digit "AT+BFLOW=" takes for a protocol label; empty for a label the module does not know.
const char* FlowDigit(const std::string& protocolLabel);
// The digit "AT+BSEC=" takes for an authentication choice; nullptr when neither was chosen.
const char* AuthDigit(int32_t authChoice);

// The name between the first "=" and the CR after it. False when the reply holds no "="; an "="
// with no CR after it gives an empty name.
bool ParseNameReply(const std::string& reply, std::string& nameOut);

} // namespace module_commands

// Each conversation runs on link.port, which must be set.
// commandText already ends with CR LF. Returns the reply text, "0" when nothing arrived.
std::string SendCommand(const std::string& commandText, const module_commands::CommandLink& link);
// The same write and wait, telling how the exchange ended.
module_commands::Exchange ExchangeCommand(const std::string& commandText, const module_commands::CommandLink& link);
// Asks for the module's name up to kNameAttempts times: true with the name, false with nameOut
// untouched. The tries end early where one more could bring nothing: the link was lost, the line did
// not take the command within its bound, or a stop was requested. lastOut, when given, tells how the
// last attempt ended (left as it was when none was made).
bool QueryModuleName(std::string& nameOut, const module_commands::CommandLink& link,
                     module_commands::Exchange* lastOut = nullptr);
// Sends the selected items in the fixed order name, PIN, flow control, authentication, each
// exchange handed to observer, when given, as it ends, and told to starting, when given, as it starts.
void ProgramModule(const MODULE_SETTINGS& settings, const module_commands::CommandLink& link,
                   const module_commands::ExchangeObserver& observer = {},
                   const module_commands::ExchangeStarting& starting = {});
