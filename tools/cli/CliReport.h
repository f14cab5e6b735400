// What zk405-cli tells of a run: a progress line per step and port, a summary table, one JSON object
// per port.
#pragma once

#include "Job.h"

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace zk405_cli {

// The front end renders what the core reports, in the core's own terms.
using namespace provisioning;

// "com5: name OK 0.03 s"
std::string ProgressLine(const PortResult& port, const StepResult& step);
std::string SummaryTable(const std::vector<PortResult>& ports);
// Why the port failed and what to do next, escaped for a terminal: "the module did not answer the
// name command; put the module in configuration mode ...". Empty for a port that ended well.
std::string FailureText(const PortResult& port);
nlohmann::json ToJson(const PortResult& port);
// One line of JSON, non-UTF-8 bytes replaced rather than refused.
std::string JsonLine(const nlohmann::json& value);

} // namespace zk405_cli
