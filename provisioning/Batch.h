// The ports of one run worked side by side, each job on a thread of its own: a port that gets no
// thread or memory fails alone, and the others go on.
#pragma once

#include "Job.h"

#include <functional>
#include <vector>

namespace provisioning {

// What runs one task: RunPort, or RunPort with the ledger keeping count.
using PortRunner = std::function<void(const PortTask&, const StepReport&, PortResult&)>;
void RunPlain(const PortTask& task, const StepReport& report, PortResult& result);

// Runs every task and gives the results in the tasks' order. report hears each step and ended each
// port as it ends (no thread, no memory included), one call at a time whichever thread makes it.
std::vector<PortResult> RunBatch(const std::vector<PortTask>& tasks, const StepReport& report,
                                 const std::function<void(const PortResult&)>& ended,
                                 const PortRunner& runner = RunPlain);

} // namespace provisioning
