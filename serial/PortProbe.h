// The ports the port selection window offers: every "com" name whose device can be opened right now,
// exclusively and without waiting for the line, by the checks CSerialPort::Open makes.
#pragma once

#include <string>
#include <vector>

namespace port_probe {

// "com1" to "com128" in number order, each asked whether the channel's open would take it now.
// Ports held by another program (or by g_serialPort) are left out.
std::vector<std::string> ListOpenablePorts();

} // namespace port_probe
