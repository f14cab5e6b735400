// zk405-cli: the scriptable front end of the ZK405 configuration tool.
#include "CliApp.h"
#include "ExitStatus.h"
#include "CliPlatform.h"
#include "FileSizeSignal.h"
#include "StandardStreams.h"
#include "StopSignal.h"

#include <cstdio>
#include <exception>
#include <iostream>

int main(int argc, char** argv) {
    if (!CoverClosedStandardStreams())
        return provisioning::kExitFailed; // nothing can be said: the streams themselves are the trouble
    IgnoreFileSizeSignal(); // a traffic log at the file size limit must not end the run
    // A closed stdout or stderr (| head -1) must not end the run between two commands.
    IgnoreBrokenPipe();
    // Ctrl+C, kill and a closed terminal end the exchange under way; every port is then closed and
    // reported, and the program exits with 128 + the signal.
    InstallStopHandler();
    // The ports' objects are gone by the time an exception gets here: they closed on the way out.
    try {
        cli_platform::PrepareConsole();
        return zk405_cli::Run(cli_platform::Utf8Arguments(argc, argv), std::cout, std::cerr);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zk405-cli: stopped by an unexpected failure: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "zk405-cli: stopped by an unexpected failure\n");
    }
    return provisioning::kExitFailed;
}
