#include "PortProbe.h"

#include "PortNames.h"
#include "SerialSystem.h"

namespace port_probe {

namespace {

// Hands a probed device straight back so that the probe never keeps a port from its user.
class ProbeHandle {
public:
    explicit ProbeHandle(const char* portName) : m_handle(serial_os::OpenDevice(portName, m_why)) {}
    ~ProbeHandle() {
        if (m_handle != serial_os::kNoHandle)
            serial_os::CloseDevice(m_handle);
    }
    ProbeHandle(const ProbeHandle&) = delete;
    ProbeHandle& operator=(const ProbeHandle&) = delete;

    bool Opened() const { return m_handle != serial_os::kNoHandle; }

private:
    serial_result::OpenFailure m_why; // the list leaves a port out whatever the reason
    serial_os::Handle m_handle;
};

} // namespace

std::vector<std::string> ListOpenablePorts() {
    std::vector<std::string> names;
    for (int number = port_names::kFirstPort; number <= port_names::kLastPort; ++number) {
        const std::string name = port_names::ComName(number);
        if (ProbeHandle(name.c_str()).Opened())
            names.push_back(name);
    }
    return names;
}

} // namespace port_probe
