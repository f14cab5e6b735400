#include "ResultCommand.h"

namespace provisioning {

bool Failed(const ResultCommandRun& run) {
    return run.end != ResultCommandRun::End::NotRun && (run.end != ResultCommandRun::End::Exited || run.code != 0);
}

std::string DescribeRun(const ResultCommandRun& run, const ResultCommand& command) {
    switch (run.end) {
    case ResultCommandRun::End::NotRun:
        return "not run";
    case ResultCommandRun::End::Exited:
        return "exited with status " + std::to_string(run.code);
    case ResultCommandRun::End::Signalled:
        return "ended by signal " + std::to_string(run.code);
    case ResultCommandRun::End::TimedOut: {
        const auto limit = command.timeout.count();
        // Whole seconds as the option gives them; a shorter limit (a test's) in milliseconds.
        return "killed after the time limit of " +
               (limit % 1000 == 0 ? std::to_string(limit / 1000) + " s" : std::to_string(limit) + " ms");
    }
    case ResultCommandRun::End::NotStarted:
        return "cannot start: " + run.reason;
    }
    return "";
}

Environment ResultEnvironment(const LedgerRecord& record, const std::string& ledgerPath,
                              const std::string& transcriptPath) {
    return {
        {"ZK405_RESULT", record.result},
        {"ZK405_N", std::to_string(record.n)},
        {"ZK405_NAME", record.nameAfter.empty() ? record.nameBefore : record.nameAfter},
        {"ZK405_ADDRESS", record.bluetooth},
        {"ZK405_PORT", record.port},
        {"ZK405_FAILURE", record.failure},
        {"ZK405_LEDGER", ledgerPath},
        {"ZK405_TRANSCRIPT", transcriptPath},
    };
}

} // namespace provisioning
