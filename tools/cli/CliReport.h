// What zk405-cli tells: a progress line per step and port, a summary table, one JSON object per port,
// and the exit status for all ports together.
#pragma once

#include "PortJob.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace zk405_cli {

// "com5: name OK 0.03 s"
std::string ProgressLine(const PortResult& port, const StepResult& step);
std::string SummaryTable(const std::vector<PortResult>& ports);
nlohmann::json ToJson(const PortResult& port);
// One line of JSON, non-UTF-8 bytes replaced rather than refused.
std::string JsonLine(const nlohmann::json& value);
// 0 when every port ended with 0, otherwise the lowest of the ports' other statuses.
ExitStatus OverallStatus(const std::vector<PortResult>& ports);

} // namespace zk405_cli
