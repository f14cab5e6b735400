#include "CliOutput.h"

#include "CliPlatform.h"
#include "StopSignal.h"

#include <cstdlib>
#include <iostream>

namespace zk405_cli {

using namespace provisioning;

ExitStatus Finish(ExitStatus status, std::ostream& out, std::ostream& err, bool stopCounts) {
    const bool outWritten = static_cast<bool>(out.flush());
    err.flush();
    if (stopCounts && StopRequested())
        return static_cast<ExitStatus>(kExitSignalBase + StopSignalNumber());
    if (status == kExitOk && !outWritten) {
        err << "zk405-cli: the report could not be written" << std::endl;
        return kExitReportLost;
    }
    return status;
}

bool ColourWanted(const std::ostream& out) {
    const char* noColour = std::getenv("NO_COLOR");
    return &out == &std::cout && (noColour == nullptr || *noColour == '\0') &&
           cli_platform::StdoutIsColourTerminal();
}

} // namespace zk405_cli
