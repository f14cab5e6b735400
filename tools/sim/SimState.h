// A simulated module's name and PIN kept in a file across runs, as a real module keeps them across
// power cycles: a stand-in that starts the simulator for each connection pairs with the PIN it was
// given last, and the name programmed is read back on the next connection.
#pragma once

#include "SimulatedModule.h"

#include <string>

namespace zk405_sim {

// "name=" and "pin=" lines. False when there is no such file yet: the module keeps its own.
bool LoadState(const std::string& path, SimulatedModule& module);
// Written whole under another name and renamed over the file, so that a reader never sees half of it.
// False (with the reason said) when it cannot be written.
bool SaveState(const std::string& path, const SimulatedModule& module);

} // namespace zk405_sim
