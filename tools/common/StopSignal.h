// How the tools' programs stop: Ctrl+C and the termination signals (on Windows the console's close
// events) set a flag instead of ending the program, which looks at the flag between waits and takes
// its endpoint or link down properly. One source file per platform, chosen by the build.
#pragma once

// On POSIX a waiting poll() returns early with EINTR when a stop signal arrives.
void InstallStopHandler();
bool StopRequested();
