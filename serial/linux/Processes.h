// What the serial layer asks about other processes, and the refusal that names one.
#pragma once

#include "OpenFailure.h"

#include <string>
#include <sys/types.h>

namespace serial_os {

// True while a process of that PID exists, whether or not we may signal it.
bool IsRunning(pid_t pid);
// The program a process runs, as ps shows it; empty when the process is gone or hidden from us.
std::string ProgramOf(pid_t pid);
// True when the process runs this very program (another copy of it, or a fork).
bool RunsThisProgram(pid_t pid);
// Adds the process a refusal names (its holder, its lock's owner) and the program it runs.
void NameHolder(serial_result::OpenFailure& why, pid_t pid);

} // namespace serial_os
