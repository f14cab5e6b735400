// Classic (BR/EDR) discovery on BlueZ's powered adapters: begun and ended for a timed scan, or held for
// as long as anyone in the process needs it. BlueZ counts one discovery per client of the bus, so the
// process holds one however many of its parts want it, and ends it when the last lets it go.
#pragma once

#include "BluezSession.h"
#include "OpenFailure.h"

#include <memory>
#include <string>
#include <vector>

namespace bluez {

// Adapters powered on, by object path; false with the reason when there is none.
bool PoweredAdapters(const ManagedObjects& objects, std::vector<std::string>& adapters, serial_result::OpenFailure& why);

// Asks each adapter for a BR/EDR discovery; every adapter asked is in started, which
// StopDiscoveries ends, also after a stop. A refused filter or a discovery another program already
// runs still lets it go on; false with the reason when BlueZ did not answer or a stop came.
bool StartDiscoveries(Session& session, const std::vector<std::string>& adapters,
                      std::vector<std::unique_ptr<sdbus::IProxy>>& started, serial_result::OpenFailure& why);
void StopDiscoveries(std::vector<std::unique_ptr<sdbus::IProxy>>& started);

} // namespace bluez
