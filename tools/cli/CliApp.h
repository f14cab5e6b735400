// zk405-cli's commands, apart from main() so that tests run them in-process: list the ports that can be
// opened, read modules' names, program modules and verify what they answered, many ports at once.
#pragma once

#include "ExitStatus.h"

#include <ostream>
#include <string>
#include <vector>

namespace zk405_cli {

// args as main() has them (program name first), UTF-8.
provisioning::ExitStatus Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace zk405_cli
