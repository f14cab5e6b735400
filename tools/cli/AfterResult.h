// What zk405-cli tells of the work after a module's result record: its transcript and the command
// --on-result names. Their failures are lines of their own on standard error, never the module's.
#pragma once

#include "RecordedJob.h"

#include <nlohmann/json.hpp>

#include <string>

namespace zk405_cli {

// "zk405-cli: <port>: ..." lines, each with its line feed, for a transcript not kept and a command
// that failed; empty when both went well (or were not asked for).
std::string AfterResultLines(const provisioning::RecordedResult& result);
// Adds "transcript" (its path) and "on_result" ({"end", "status", "failed", "message"}) where known.
void AddAfterResult(const provisioning::RecordedResult& result, nlohmann::json& event);

} // namespace zk405_cli
