// The modules at work: each one's commands are taken from its line as they come, and its replies are
// written back --reply-delay-ms after the command arrived, every line served by one poll loop.
#pragma once

#include "SimLine.h"
#include "SimulatedModule.h"

#include <deque>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace zk405_sim {

struct PendingReply {
    Clock::time_point due;
    std::string bytes;
};

// One module on its line, with the replies it still owes and the bytes the tool has not taken yet.
struct ModuleLine {
    ModuleLine(const std::string& name, const SimulatedModule::Quirks& quirks) : module(name, quirks) {}

    SimLine line;
    SimulatedModule module;
    std::deque<PendingReply> replies; // due times only grow, the delay being fixed
    std::string outgoing;
    std::string statePath; // where its name and PIN are kept, when they are
    // While no one has the port open its master reports a hang-up at every poll; such a line sits out
    // of the poll until then, so it neither spins the loop nor holds up the other modules' replies.
    Clock::time_point idleUntil{};
};

// Serves the modules until a stop signal, until the supervisor is gone (the parent process is no longer
// supervisor) or until the far end closes a socket line; returns the exit status.
int ServeModules(std::vector<std::unique_ptr<ModuleLine>>& modules, int lateMs, pid_t supervisor);

} // namespace zk405_sim
