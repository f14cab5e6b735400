// The ports the port selection window offers: every "com" name whose device can be opened right now,
// exclusively and without waiting for the line, exactly as CSerialPort::Open would take it.
#pragma once

#include <string>
#include <vector>

namespace port_probe {

// "com1" to "com128" in number order, each tried with the channel's own open and closed again at once.
// Ports held by another program (or by g_serialPort) are left out.
std::vector<std::string> ListOpenablePorts();

} // namespace port_probe
