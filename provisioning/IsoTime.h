// Times written in ISO 8601 as the ledger writes them (2026-12-07T19:15:18.042Z) and as a person types
// them for a shift (2026-12-08T06:00, 2026-12-08 06:00+01:00, a date alone). Pure: what a time without
// an offset is in the local zone is for the front end to say.
#pragma once

#include <chrono>
#include <optional>
#include <string_view>

namespace provisioning {

using LedgerClock = std::chrono::sys_time<std::chrono::milliseconds>;

struct IsoTime {
    LedgerClock wall;                       // the date and time as written, taken as if they were UTC
    std::optional<std::chrono::minutes> offset; // east of UTC; "Z" is 0; none when not written
    // The time it names; only with an offset.
    LedgerClock Utc() const { return wall - *offset; }
};

// YYYY-MM-DD, optionally followed by "T" or a space and HH:MM, HH:MM:SS or HH:MM:SS.fff (a comma
// for the point too), and then optionally "Z", +HH:MM, +HHMM or +HH (or "-"). False for anything
// else, a date that is no day of the calendar included.
bool ParseIsoTime(std::string_view text, IsoTime& time);

// A date and time of day taken as if they were UTC, by the C++ calendar, the same on every platform
// (timegm and _mkgmtime differ between them).
LedgerClock WallOf(int year, unsigned month, unsigned day, int hours, int minutes, int seconds);

} // namespace provisioning
