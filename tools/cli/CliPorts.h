// The ports as zk405-cli's commands name them: the list of what can be opened now, and the check that
// no device is named twice in one command.
#pragma once

#include "ExitStatus.h"
#include "PortInfo.h"

#include <ostream>
#include <string>
#include <vector>

namespace zk405_cli {

// The ports the port window offers, each with what it is; with all, also the ports that exist but
// cannot be opened now, with the reason. Sorted as text, as the port window's list shows them: com10
// before com2. Without all, the text list is followed on err by how many it left out.
provisioning::ExitStatus ListPorts(bool json, bool all, const port_info::RemoteNameLookup& remoteNames,
                                   std::ostream& out, std::ostream& err);

// False, with the refusal told, for a list no port of which may be worked: a "bt:" name that is no
// address, or one device named twice in any spelling (a link, a doubled slash, a com name and its
// device file), which would be programmed once each, one of them failing as busy.
bool PortListUsable(const std::vector<std::string>& ports, std::ostream& err);

} // namespace zk405_cli
