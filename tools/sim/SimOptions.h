// zk405-sim's command line: what to play, on how many lines, with which faults; and its exit statuses.
#pragma once

#include "SimulatedModule.h"
#include "ToolOptions.h"

#include <optional>
#include <string>

namespace zk405_sim {

// 0 and 1 as every tool has them (tool_options).
inline constexpr int kExitStopped = tool_options::kExitSuccess;
inline constexpr int kExitNotStarted = 2;

inline constexpr int kMaxModules = 64;

struct Options {
    std::string name = "ZK405"; // Windows-1250 once parsed
    std::string link;
    std::string transcript;
    int lateMs = 0;
    int count = 1;
    int socketFd = -1;    // --fd
    std::string unixPath; // --unix
    std::string state;    // --state
    SimulatedModule::Quirks quirks;
};

// Nothing to go on, otherwise the exit status.
std::optional<int> ParseOptions(int argc, char** argv, Options& options);

// The path for module index of count: the path itself for a single module, numbered otherwise.
std::string Numbered(const std::string& path, int index, int count);

} // namespace zk405_sim
