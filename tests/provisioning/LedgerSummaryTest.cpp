// What a ledger sums up to: modules, not attempts, whether its retries kept their numbers or (as
// ledgers written before did) took new ones; over a span of time as well; and the times it is given
// in read as ISO 8601 writes them.
#include "IsoTime.h"
#include "LedgerSummary.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace provisioning;

LedgerRecord Record(const std::string& time, const std::string& attempt, const char* event, std::int64_t n,
                    const std::string& message = "") {
    LedgerRecord record;
    record.time = time;
    record.attempt = attempt;
    record.event = event;
    record.n = n;
    record.nameAfter = n == 0 ? "" : "Linia " + std::to_string(n);
    record.message = message;
    return record;
}

// Two modules: the first refused twice and was then programmed under its own number, the second
// refused once and is still unresolved; a third was found programmed and left alone.
LedgerContents TwoModules() {
    LedgerContents contents;
    contents.records = {
        Record("2026-12-08T05:50:00.000Z", "a1", kLedgerStarted, 1),
        Record("2026-12-08T05:50:01.000Z", "a1", kResultFailed, 1, "the module refused the pin"),
        Record("2026-12-08T06:10:00.000Z", "a2", kLedgerStarted, 1),
        Record("2026-12-08T06:10:01.000Z", "a2", kResultFailed, 1, "the module did not answer"),
        Record("2026-12-08T06:20:00.000Z", "b1", kLedgerStarted, 2),
        Record("2026-12-08T06:20:01.000Z", "b1", kResultFailed, 2, "the module refused the pin"),
        Record("2026-12-08T06:30:00.000Z", "a3", kLedgerStarted, 1),
        Record("2026-12-08T06:30:01.000Z", "a3", kResultProgrammed, 1),
        Record("2026-12-08T06:40:00.000Z", "s1", kResultSkipped, 0, "already programmed as #1 (Linia 1)"),
    };
    return contents;
}

TEST(LedgerSummaryTest, ModulesAreCountedByTheirNumbersNotByTheirAttempts) {
    const LedgerSummary summary = Summarize(TwoModules());
    EXPECT_EQ(summary.programmed, 1u);
    ASSERT_EQ(summary.unresolved.size(), 1u);
    EXPECT_EQ(summary.unresolved[0].n, 2);
    EXPECT_EQ(summary.unresolved[0].name, "Linia 2");
    EXPECT_EQ(summary.unresolved[0].reason, "the module refused the pin");
    EXPECT_EQ(summary.unresolved[0].time, "2026-12-08T06:20:01.000Z");
    EXPECT_EQ(summary.unresolved[0].attempts, 1u);
    EXPECT_EQ(summary.attempts, 4u);
    EXPECT_EQ(summary.failed, 3u);
    EXPECT_EQ(summary.skipped, 1u);
    EXPECT_EQ(summary.interrupted, 0u);
    EXPECT_EQ(summary.failures.at(0), (std::pair<std::string, size_t>{"the module refused the pin", 2}));
    EXPECT_EQ(summary.first, "2026-12-08T05:50:00.000Z");
    EXPECT_EQ(summary.last, "2026-12-08T06:40:00.000Z");
    EXPECT_EQ(summary.lastNumber, 2);
}

// Before a retry kept its number each attempt had one of its own: each number is its own module.
TEST(LedgerSummaryTest, AnOldLedgersRetriesAreEachTheirOwnModule) {
    LedgerContents contents;
    contents.records = {
        Record("2026-12-01T10:00:00.000Z", "a1", kLedgerStarted, 1),
        Record("2026-12-01T10:00:01.000Z", "a1", kResultFailed, 1, "the module did not answer"),
        Record("2026-12-01T10:01:00.000Z", "a2", kLedgerStarted, 2),
        Record("2026-12-01T10:01:01.000Z", "a2", kResultProgrammed, 2),
        Record("2026-12-01T10:02:00.000Z", "a3", kLedgerStarted, 3), // the station was killed here
    };
    const LedgerSummary summary = Summarize(contents);
    EXPECT_EQ(summary.programmed, 1u);
    ASSERT_EQ(summary.unresolved.size(), 1u);
    EXPECT_EQ(summary.unresolved[0].n, 1);
    EXPECT_EQ(summary.attempts, 3u);
    EXPECT_EQ(summary.interrupted, 1u);
    EXPECT_EQ(summary.lastNumber, 3);
}

// A shift: the attempts begun within it, whole (the bound is in, the end out); the last number is
// still the ledger's, and a record whose time cannot be read is in no shift.
TEST(LedgerSummaryTest, ASpanTakesTheAttemptsBegunWithinIt) {
    LedgerSpan span{WallOf(2026, 12, 8, 6, 0, 0), WallOf(2026, 12, 8, 6, 30, 0)};
    const LedgerSummary shift = Summarize(TwoModules(), span);
    EXPECT_EQ(shift.programmed, 0u);
    ASSERT_EQ(shift.unresolved.size(), 2u);
    EXPECT_EQ(shift.unresolved[0].attempts, 1u); // a1 began before the shift
    EXPECT_EQ(shift.attempts, 2u);
    EXPECT_EQ(shift.last, "2026-12-08T06:20:01.000Z");
    EXPECT_EQ(shift.lastNumber, 2);
    LedgerContents untimed = TwoModules();
    untimed.records[0].time = "yesterday";
    EXPECT_EQ(Summarize(untimed, {WallOf(2026, 12, 8, 6, 30, 0), std::nullopt}).attempts, 1u);
    EXPECT_EQ(Summarize(untimed).attempts, 4u);
}

struct IsoCase {
    const char* text;
    bool ok;
    std::optional<LedgerClock> utc; // the time it names, when it has an offset
};

class IsoTimeTest : public ::testing::TestWithParam<IsoCase> {};

TEST_P(IsoTimeTest, ReadsTheWaysATimeIsWritten) {
    IsoTime time;
    ASSERT_EQ(ParseIsoTime(GetParam().text, time), GetParam().ok) << GetParam().text;
    if (!GetParam().ok)
        return;
    ASSERT_EQ(time.offset.has_value(), GetParam().utc.has_value()) << GetParam().text;
    if (time.offset) {
        EXPECT_EQ(time.Utc(), *GetParam().utc) << GetParam().text;
    }
}

const LedgerClock kMorning = WallOf(2026, 12, 8, 6, 15, 18);
INSTANTIATE_TEST_SUITE_P(
    , IsoTimeTest,
    ::testing::Values(IsoCase{"2026-12-08T06:15:18.042Z", true, kMorning + std::chrono::milliseconds{42}},
                      IsoCase{"2026-12-08 07:15:18+01:00", true, kMorning},
                      IsoCase{"2026-12-08T03:45:18-0230", true, kMorning},
                      IsoCase{"2026-12-08T11:15:18+05", true, kMorning},
                      IsoCase{"2026-12-08t06:15:18,5z", true, kMorning + std::chrono::milliseconds{500}},
                      IsoCase{"2024-02-29T06:00", true, {}}, IsoCase{"2026-12-08", true, {}},
                      IsoCase{"2026-02-29", false, {}}, IsoCase{"2026-13-01", false, {}},
                      IsoCase{"2026-12-08T24:00", false, {}}, IsoCase{"2026-12-08T06", false, {}},
                      IsoCase{"2026-12-08T06:00+1", false, {}}, IsoCase{"2026-12-08T06:00 Z", false, {}},
                      IsoCase{"2026-12-8", false, {}}, IsoCase{"06:00", false, {}}, IsoCase{"", false, {}}));

} // namespace
