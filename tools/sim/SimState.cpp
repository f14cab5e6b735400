#include "SimState.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace zk405_sim {

bool LoadState(const std::string& path, SimulatedModule& module) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    std::string name = module.Name(), pin = module.Pin();
    for (std::string line; std::getline(file, line);) {
        if (line.rfind("name=", 0) == 0)
            name = line.substr(5);
        else if (line.rfind("pin=", 0) == 0)
            pin = line.substr(4);
    }
    module.Restore(name, pin);
    return true;
}

bool SaveState(const std::string& path, const SimulatedModule& module) {
    const std::string partial = path + ".new";
    {
        std::ofstream file(partial, std::ios::binary | std::ios::trunc);
        file << "name=" << module.Name() << "\npin=" << module.Pin() << "\n";
        if (!file.flush()) {
            std::fprintf(stderr, "zk405-sim: cannot write the state %s\n", partial.c_str());
            return false;
        }
    }
    if (std::rename(partial.c_str(), path.c_str()) != 0) {
        std::fprintf(stderr, "zk405-sim: cannot replace the state %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

} // namespace zk405_sim
