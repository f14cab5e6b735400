// The work after a module's result record as zk405-cli offers and tells it: the --on-result options,
// the transcript and the command. Their failures are lines of their own on standard error, never the
// module's.
#pragma once

#include "RecordedJob.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <string>

namespace zk405_cli {

// --on-result and --on-result-timeout, bound to onResult; the first, for what it needs.
CLI::Option* AddOnResult(CLI::App& command, provisioning::ResultCommand& onResult);
// "zk405-cli: <port>: ..." lines, each with its line feed, for a transcript not kept and a command
// that failed; empty when both went well (or were not asked for).
std::string AfterResultLines(const provisioning::RecordedResult& result);
// Adds "transcript" (its path) and "on_result" ({"end", "status", "failed", "message"}) where known.
void AddAfterResult(const provisioning::RecordedResult& result, nlohmann::json& event);

} // namespace zk405_cli
