// zk405-cli's ledger counts modules: a module that failed and is tried again keeps its number and its
// name, one found programmed is left alone with the record named, and `ledger` sums up modules over
// the whole ledger or a shift, in local time.
#include "ChildProcess.h"
#include "CliRun.h"
#include "Ledger.h"
#include "TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>

namespace {

using Json = nlohmann::json;
using Strings = std::vector<std::string>;
using namespace provisioning;

std::vector<LedgerRecord> Records(const std::string& path) {
    LedgerFormat format;
    std::string error;
    EXPECT_TRUE(LedgerFormatOf(path, format, error));
    return ParseLedger(ReadWholeFile(path), format).records;
}

// A simulated module on a pseudo-terminal of its own: the port, and the process behind it.
struct Module {
    explicit Module(const TempDir& dir, const std::string& tag, Strings options = {}) {
        Strings args = {ZK405_SIM_PROGRAM, "--transcript", dir.File("transcript-" + tag)};
        args.insert(args.end(), options.begin(), options.end());
        sim = std::make_unique<ChildProcess>(args);
        port = sim->ReadLine();
    }
    std::unique_ptr<ChildProcess> sim;
    std::string port;
};

class CliLedgerTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("XDG_RUNTIME_DIR", m_dir.Path().c_str(), 1);
        const char* zone = std::getenv("TZ");
        m_zone = zone == nullptr ? "" : zone;
        m_hadZone = zone != nullptr;
    }
    void TearDown() override {
        if (m_hadZone)
            setenv("TZ", m_zone.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    // One hour east of UTC all year, as a POSIX zone (no zone database needed).
    static void OneHourEast() {
        setenv("TZ", "UTC-1", 1);
        tzset();
    }
    TempDir m_dir;
    std::string m_zone;
    bool m_hadZone = false;
};

TEST_F(CliLedgerTest, ARetriedModuleKeepsItsNumberAndIsThenLeftAloneAsThatRecord) {
    const std::string ledger = m_dir.File("ledger.jsonl");
    const Strings settings = {"--name", "Linia {n}", "--pin", "98765", "--ledger", ledger, "--quiet"};
    const auto program = [&](const std::string& port) {
        Strings args = {"program", port};
        args.insert(args.end(), settings.begin(), settings.end());
        return Cli(args).status;
    };
    {
        Module refusing(m_dir, "a1", {"--refuse", "AT+BPIN"}); // takes the name, refuses the PIN
        EXPECT_EQ(program(refusing.port), 4);
    }
    {
        Module other(m_dir, "b1", {"--refuse", "AT+BPIN"});
        EXPECT_EQ(program(other.port), 4);
    }
    {
        Module again(m_dir, "a2", {"--name", "Linia 1", "--refuse", "AT+BPIN"}); // the first, re-plugged
        EXPECT_EQ(program(again.port), 4);
    }
    {
        Module mended(m_dir, "a3", {"--name", "Linia 1"});
        EXPECT_EQ(program(mended.port), 0);
    }
    const std::vector<LedgerRecord> records = Records(ledger);
    ASSERT_EQ(records.size(), 8u);
    EXPECT_EQ(records[3].n, 2);
    EXPECT_EQ(records[5].n, 1);
    EXPECT_EQ(records[7].n, 1);
    EXPECT_EQ(records[7].event, kResultProgrammed);
    EXPECT_EQ(records[7].nameAfter, "Linia 1");
    EXPECT_NE(records[5].attempt, records[7].attempt);

    // Found programmed by the station: left alone, and the line names the record.
    const std::string watched = m_dir.File("watched");
    std::filesystem::create_directories(watched);
    Module done(m_dir, "a4", {"--name", "Linia 1"});
    std::filesystem::create_symlink(done.port, watched + "/m0");
    ChildProcess station({ZK405_CLI_PROGRAM, "station", "--watch-dir", watched, "--ledger", ledger, "--name",
                          "Linia {n}", "--pin", "98765", "--skip-done", "--include-present", "--once", "1"});
    const std::string lines = station.ReadToEnd(10000);
    EXPECT_EQ(station.Wait(), 0) << lines;
    EXPECT_NE(lines.find("skipped     " + watched + "/m0  already programmed as #1 (Linia 1)"), std::string::npos)
        << lines;

    // Two modules, four attempts and a skip.
    const CliRun summary = Cli({"ledger", ledger, "--json"});
    ASSERT_EQ(summary.status, 0) << summary.err;
    const Json object = summary.Objects().at(0);
    EXPECT_EQ(object["programmed"], 1);
    ASSERT_EQ(object["unresolved"].size(), 1u);
    EXPECT_EQ(object["unresolved"][0]["n"], 2);
    EXPECT_EQ(object["unresolved"][0]["name"], "Linia 2");
    EXPECT_EQ(object["unresolved"][0]["reason"], "the module refused the pin");
    EXPECT_EQ(object["attempts"], 4);
    EXPECT_EQ(object["failed"], 3);
    EXPECT_EQ(object["skipped"], 1);
    EXPECT_EQ(object["last_n"], 2);
}

// A shift given in local time, or with its offset, and the times shown back in local time.
TEST_F(CliLedgerTest, ASummaryCoversAShiftInLocalTime) {
    OneHourEast();
    const std::string ledger = m_dir.File("shift.jsonl");
    std::ofstream file(ledger);
    const auto record = [](const char* time, const char* attempt, const char* event, std::int64_t n) {
        LedgerRecord r;
        r.time = time;
        r.attempt = attempt;
        r.event = event;
        r.n = n;
        r.nameAfter = "Linia " + std::to_string(n);
        r.message = event == std::string(kResultFailed) ? "the module did not answer" : "";
        return FormatRecord(r, LedgerFormat::JsonLines);
    };
    file << record("2026-12-08T04:59:00.000Z", "a1", kLedgerStarted, 1)
         << record("2026-12-08T04:59:01.000Z", "a1", kResultProgrammed, 1)
         << record("2026-12-08T06:15:18.042Z", "b1", kLedgerStarted, 2)
         << record("2026-12-08T06:15:19.000Z", "b1", kResultFailed, 2)
         << record("2026-12-08T13:00:00.000Z", "c1", kLedgerStarted, 3)
         << record("2026-12-08T13:00:01.000Z", "c1", kResultProgrammed, 3);
    file.close();

    for (const Strings& shift : {Strings{"--since", "2026-12-08T06:00", "--until", "2026-12-08 14:00"},
                                 Strings{"--since", "2026-12-08T05:00Z", "--until", "2026-12-08T13:00+00:00"}}) {
        Strings args = {"ledger", ledger};
        args.insert(args.end(), shift.begin(), shift.end());
        const CliRun run = Cli(args);
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find("from 2026-12-08 07:15:18 +01:00 to 2026-12-08 07:15:19 +01:00\n"), std::string::npos)
            << run.out;
        EXPECT_NE(run.out.find("modules programmed  0\n"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("modules unresolved  1"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("  #2 \"Linia 2\"  1 attempt, the last at 2026-12-08 07:15:19 +01:00: the module did "
                               "not answer\n"),
                  std::string::npos)
            << run.out;
        EXPECT_NE(run.out.find("attempts            1 (1 failed)\n"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("last n              3\n"), std::string::npos) << run.out;
    }
    const Json day = Cli({"ledger", ledger, "--json", "--since", "2026-12-08"}).Objects().at(0);
    EXPECT_EQ(day["programmed"], 2);
    EXPECT_EQ(day["first_time"], "2026-12-08T04:59:00.000Z"); // 05:59 here
    EXPECT_EQ(Cli({"ledger", ledger, "--json", "--until", "2026-12-08"}).Objects().at(0)["attempts"], 0);
    EXPECT_EQ(Cli({"ledger", ledger, "--since", "06:00"}).status, 0); // today's

    for (const char* bad : {"2026-12-32", "yesterday", "6:00", "2026-12-08T06:00+25:00"}) {
        const CliRun run = Cli({"ledger", ledger, "--since", bad});
        EXPECT_EQ(run.status, 1) << bad;
        EXPECT_NE(run.err.find("zk405-cli: ledger: --since: expected a time such as 2026-12-08T06:00"),
                  std::string::npos)
            << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
    }
}

} // namespace
