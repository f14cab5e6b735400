// A device directory for the port probe: links named like serial devices (ttyS0, ttyS1, ...) that
// point at pseudo-terminals, so the probe's "com" names reach ports the test controls.
#pragma once

#include "PseudoTerminal.h"
#include "TempDir.h"

#include <memory>
#include <string>
#include <vector>

class DeviceDirectory {
public:
    // One pseudo-terminal per device name; the directory becomes the serial layer's device directory
    // until the object goes.
    explicit DeviceDirectory(const std::vector<std::string>& deviceNames);
    ~DeviceDirectory();
    DeviceDirectory(const DeviceDirectory&) = delete;
    DeviceDirectory& operator=(const DeviceDirectory&) = delete;

    bool Ready() const { return m_ready; }
    const std::string& Path() const { return m_dir.Path(); }
    PseudoTerminal& Terminal(size_t index) { return *m_terminals.at(index); }

private:
    TempDir m_dir{false};
    std::vector<std::unique_ptr<PseudoTerminal>> m_terminals;
    std::string m_previous;
    bool m_ready = false;
};
