// zk405-cli: the scriptable front end of the ZK405 configuration tool.
#include "CliApp.h"
#include "CliPlatform.h"
#include "FileSizeSignal.h"

#include <iostream>

int main(int argc, char** argv) {
    IgnoreFileSizeSignal(); // a traffic log at the file size limit must not end the run
    cli_platform::PrepareConsole();
    return zk405_cli::Run(cli_platform::Utf8Arguments(argc, argv), std::cout, std::cerr);
}
