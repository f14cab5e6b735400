// What the ZK405 takes and how it is reached, for every front end: the line speed, the longest name
// and PIN, the commands' line end, the name query, the flow-control labels and the authentication
// choices.
#pragma once

#include <cstddef>
#include <cstdint>

namespace module_commands {

inline constexpr uint32_t kBaudRate = 9600;

// Characters (Windows-1250 bytes) the module keeps.
inline constexpr size_t kNameMaxChars = 31;
inline constexpr size_t kPinMaxChars = 16;

// Every command ends with kLineEnd.
inline constexpr const char* kLineEnd = "\r\n";
inline constexpr const char* kNameQuery = "AT+BNAME?";

// The flow-control labels the module knows, as the settings window offers and sends them.
inline constexpr const char* kFlowXonXoff = "XON/XOFF";
inline constexpr const char* kFlowRtsCts = "RTS/CTS";
inline constexpr const char* kFlowBoth = "XON/XOFF+RTS/CTS";
inline constexpr const char* kFlowNone = "BRAK";
// Every label, in the order they are listed to the user.
inline constexpr const char* kFlowLabels[] = {kFlowXonXoff, kFlowRtsCts, kFlowBoth, kFlowNone};

// The values of MODULE_SETTINGS::authChoice.
inline constexpr int32_t kAuthAskEveryTime = 0; // ask for the PIN at every connection
inline constexpr int32_t kAuthRememberLast = 1; // remember the last PIN
inline constexpr int32_t kAuthNotChosen = -1;

} // namespace module_commands
