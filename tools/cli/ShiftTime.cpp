#include "ShiftTime.h"

#include "CliPlatform.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <ctime>

namespace zk405_cli {

namespace {

using provisioning::LedgerClock;

// The local date of now, as ISO 8601 writes it: "HH:MM" alone is a time of today.
std::string Today() {
    std::tm local{};
    if (!cli_platform::LocalTimeOf(std::time(nullptr), local))
        return {};
    char date[48];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    return date;
}

// A wall-clock time of the local zone as the time it names; mktime knows the zone's rules (its summer
// time included), the same on every platform.
bool LocalToUtc(LedgerClock wall, LedgerClock& utc) {
    const auto days = std::chrono::floor<std::chrono::days>(wall);
    const std::chrono::year_month_day date{days};
    const std::chrono::hh_mm_ss clock{wall - days};
    std::tm local{};
    local.tm_year = static_cast<int>(date.year()) - 1900;
    local.tm_mon = static_cast<int>(static_cast<unsigned>(date.month())) - 1;
    local.tm_mday = static_cast<int>(static_cast<unsigned>(date.day()));
    local.tm_hour = static_cast<int>(clock.hours().count());
    local.tm_min = static_cast<int>(clock.minutes().count());
    local.tm_sec = static_cast<int>(clock.seconds().count());
    local.tm_isdst = -1; // the zone's rules say whether summer time is on
    const std::time_t seconds = std::mktime(&local);
    if (seconds == static_cast<std::time_t>(-1))
        return false;
    utc = LedgerClock{std::chrono::seconds{seconds}} + clock.subseconds();
    return true;
}

} // namespace

bool ParseShiftTime(const std::string& text, LedgerClock& time, std::string& error) {
    const bool clockAlone = text.size() >= 5 && text[2] == ':' && text.find('-') == std::string::npos;
    std::string full = clockAlone ? Today().append("T") : std::string();
    full.append(text);
    provisioning::IsoTime parsed;
    if (!provisioning::ParseIsoTime(full, parsed)) {
        error = "expected a time such as 2026-12-08T06:00, 2026-12-08 06:00, 2026-12-08 or 06:00 (local time, "
                "or followed by Z or an offset such as +01:00), not " + text;
        return false;
    }
    if (parsed.offset) {
        time = parsed.Utc();
        return true;
    }
    if (!LocalToUtc(parsed.wall, time)) {
        error = "the local time " + text + " cannot be told in UTC on this system";
        return false;
    }
    return true;
}

CLI::Validator ShiftTimeValidator() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            LedgerClock time;
            std::string error;
            return ParseShiftTime(text, time, error) ? std::string() : error;
        },
        std::string()); // the option's own text says what a time is
}

provisioning::LedgerSpan ShiftSpan(const std::string& since, const std::string& until) {
    provisioning::LedgerSpan span;
    LedgerClock time;
    std::string error;
    if (!since.empty() && ParseShiftTime(since, time, error))
        span.since = time;
    if (!until.empty() && ParseShiftTime(until, time, error))
        span.until = time;
    return span;
}

std::string LocalTimeText(const std::string& ledgerTime) {
    provisioning::IsoTime parsed;
    if (!provisioning::ParseIsoTime(ledgerTime, parsed) || !parsed.offset)
        return ledgerTime;
    const auto utc = std::chrono::floor<std::chrono::seconds>(parsed.Utc());
    std::tm local{};
    if (!cli_platform::LocalTimeOf(static_cast<std::time_t>(utc.time_since_epoch().count()), local))
        return ledgerTime;
    // The offset is what the local clock shows less the time it names.
    const LedgerClock wall = provisioning::WallOf(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                                                  static_cast<unsigned>(local.tm_mday), local.tm_hour, local.tm_min,
                                                  local.tm_sec);
    const long long offset = std::chrono::duration_cast<std::chrono::minutes>(wall - utc).count();
    const long long east = offset < 0 ? -offset : offset;
    char text[112];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d %c%02lld:%02lld", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, offset < 0 ? '-' : '+',
                  east / 60, east % 60);
    return text;
}

} // namespace zk405_cli
