// One rule for what every zk405-cli command writes where: its results on standard output, progress
// and diagnostics on standard error, colour only for a person at a terminal.
#pragma once

#include "ExitStatus.h"

#include <ostream>

namespace zk405_cli {

// The status once the output is written: a stop signal's above all (unless the run words its own
// stop, as a station does), then a report that could not be written where everything else went well.
// Closed pipes do not end the program (SIGPIPE is ignored): the ports' work always runs to its end,
// and only here does a failed write count. The results are on out: a progress line or diagnostic
// lost on err is no lost report.
provisioning::ExitStatus Finish(provisioning::ExitStatus status, std::ostream& out, std::ostream& err,
                                bool stopCounts = true);

// Colour and the bell only for a person at a terminal: never into a pipe or a file, never with
// NO_COLOR set. Tests hand Run a string stream, which is never a terminal.
bool ColourWanted(const std::ostream& out);

} // namespace zk405_cli
