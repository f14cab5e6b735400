// How the tools' programs stop: Ctrl+C and the termination signals (on Windows the console's close
// events) set a flag instead of ending the program, which looks at the flag between waits and takes
// its endpoint, link or ports down properly. One source file per platform, chosen by the build.
#pragma once

// On POSIX a waiting poll() or read() returns early with EINTR when a stop signal arrives.
void InstallStopHandler();
bool StopRequested();
// The signal that asked to stop (SIGINT, SIGTERM or SIGHUP; on Windows SIGINT for Ctrl+C and
// SIGTERM for the other console events), 0 while none has. A program stopped by one exits with
// 128 + this number, as a shell reports a program the signal ended.
int StopSignalNumber();
// A write to a closed pipe or socket fails with an error instead of ending the program.
void IgnoreBrokenPipe();
