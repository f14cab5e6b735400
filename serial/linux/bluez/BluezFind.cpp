#include "BluezFind.h"

#include "BluezNames.h"

namespace bluez {

Found FindDevice(const ManagedObjects& objects, const bluetooth::Address& address) {
    const std::string objectName = "/" + address.ObjectPathName();
    const auto named = [&](const std::string& path) {
        return path.size() > objectName.size() &&
               path.compare(path.size() - objectName.size(), objectName.size(), objectName) == 0;
    };
    Found found;
    for (const auto& [path, interfaces] : objects) {
        found.anyAdapter = found.anyAdapter || InterfaceOf(interfaces, kAdapter) != nullptr;
        const Properties* candidate = InterfaceOf(interfaces, kDevice);
        if (candidate != nullptr && named(path)) {
            found.device = candidate;
            found.devicePath = path;
        }
    }
    if (found.device == nullptr)
        return found;
    const auto adapter = objects.find(PropertyOr(*found.device, "Adapter", sdbus::ObjectPath()));
    if (adapter != objects.end()) {
        found.adapter = InterfaceOf(adapter->second, kAdapter);
        found.adapterPath = adapter->first;
    }
    return found;
}

std::string AdapterName(const std::string& adapterPath) {
    return adapterPath.substr(adapterPath.rfind('/') + 1);
}

} // namespace bluez
