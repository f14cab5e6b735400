// Every program of the project calls this before it opens anything. A program started with a standard
// stream closed (2>&- to silence it, or by a daemon that closed them all) would otherwise be handed
// that stream's number for the next file it opens: the progress lines would then go out on a serial
// port as commands, or a JSON report into the ledger. Each closed one is put on the null device.
#pragma once

// False when a closed stream could not be covered; the program must then stop before it opens a file.
bool CoverClosedStandardStreams();
