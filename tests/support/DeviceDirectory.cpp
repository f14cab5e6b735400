#include "DeviceDirectory.h"

#include "PortNames.h"

#include <unistd.h>

DeviceDirectory::DeviceDirectory(const std::vector<std::string>& deviceNames)
    : m_previous(port_names::DeviceDirectory()) {
    m_ready = true;
    for (const std::string& name : deviceNames) {
        auto terminal = std::make_unique<PseudoTerminal>();
        if (!terminal->IsOpen() || symlink(terminal->SlavePath().c_str(), m_dir.File(name).c_str()) != 0)
            m_ready = false;
        m_terminals.push_back(std::move(terminal));
    }
    port_names::SetDeviceDirectory(m_dir.Path());
}

DeviceDirectory::~DeviceDirectory() {
    port_names::SetDeviceDirectory(m_previous);
}
