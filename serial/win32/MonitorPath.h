// Where the monitor's endpoint is on Windows: the mailslot the traffic log mirrors to and
// zk405-monitor creates. The POSIX build keeps its socket's place in the header of the same name.
#pragma once

namespace monitor_path {

inline constexpr const char* kMailslotName = "\\\\.\\mailslot\\Vexl_MailSlot";

} // namespace monitor_path
