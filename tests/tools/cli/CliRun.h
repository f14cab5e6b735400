// zk405-cli as a script sees it: its exit status, what it printed and how long it took; Cli runs it in
// this process, the tests that need a process of its own fill the same record.
#pragma once

#include "CliApp.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <sstream>
#include <string>
#include <vector>

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
    double seconds = 0;
    // One JSON object per line of stdout, as --json prints them.
    std::vector<nlohmann::json> Objects() const {
        std::vector<nlohmann::json> objects;
        std::istringstream lines(out);
        for (std::string line; std::getline(lines, line);)
            objects.push_back(nlohmann::json::parse(line));
        return objects;
    }
};

inline CliRun Cli(std::vector<std::string> args) {
    args.insert(args.begin(), "zk405-cli");
    std::ostringstream out, err;
    CliRun run;
    const auto start = std::chrono::steady_clock::now();
    run.status = zk405_cli::Run(args, out, err);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.out = out.str();
    run.err = err.str();
    return run;
}
