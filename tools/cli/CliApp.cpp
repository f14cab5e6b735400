#include "CliApp.h"

#include "CliCommands.h"
#include "CliHelp.h"
#include "CliUsage.h"
#include "ToolOptions.h"
#include "ZK405Version.h"

#include <CLI/CLI.hpp>
#include <optional>

namespace zk405_cli {

using provisioning::ExitStatus;
using provisioning::kExitUsage;

ExitStatus Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    CLI::App app{"Reads, programs and verifies ZK405 Bluetooth modules on serial ports, many at once.", "zk405-cli"};
    app.set_version_flag("-V,--version", "zk405-cli " ZK405_VERSION_STRING);
    app.require_subcommand(1);
    WordUsageErrors(app);
    const Command commands[] = {AddList(app, out, err),    AddScan(app, out, err),    AddPair(app, out, err),
                                AddUnpair(app, out, err),  AddName(app, out, err),    AddProgram(app, out, err),
                                AddStation(app, out, err), AddLedger(app, out, err),  AddHelp(app, out, err)};
    DescribeCommands(app);
    if (RefusedAsNoCommand(app, args, err))
        return kExitUsage;

    std::vector<const char*> argv;
    for (const std::string& arg : args)
        argv.push_back(arg.c_str());
    if (const std::optional<int> status = tool_options::Parse(app, static_cast<int>(argv.size()), argv.data(), out, err))
        return static_cast<ExitStatus>(*status);
    for (const Command& command : commands)
        if (command.app->parsed())
            return command.run();
    return kExitUsage; // require_subcommand(1) leaves no other way
}

} // namespace zk405_cli
