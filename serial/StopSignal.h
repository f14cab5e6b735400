// How the programs stop: Ctrl+C and the termination signals (on Windows the console's close events)
// set one process-wide flag instead of ending the program, which looks at the flag between waits and
// takes its endpoint, link or ports down properly. What a stop means is each loop's own policy: the
// windows and `program` end the exchange under way, a station lets the modules in flight finish.
// One source file per platform, chosen by the build.
#pragma once

// On POSIX a waiting poll() or read() returns early with EINTR when a stop signal arrives.
void InstallStopHandler();
bool StopRequested();
// The signal that asked to stop (SIGINT, SIGTERM or SIGHUP; on Windows SIGINT for Ctrl+C and
// SIGTERM for the other console events), 0 while none has. A program stopped by one exits with
// 128 + this number, as a shell reports a program the signal ended.
int StopSignalNumber();
// A descriptor that turns readable once a stop was asked and stays so, for a loop that polls other
// descriptors as well (a signal may be taken by any thread, so EINTR alone would not wake it);
// -1 where the platform has none, or before InstallStopHandler.
int StopWakeDescriptor();
// Waits up to ms milliseconds, returning at once when a stop is asked; true when one was.
bool WaitForStop(int ms);
// A write to a closed pipe or socket fails with an error instead of ending the program.
void IgnoreBrokenPipe();
