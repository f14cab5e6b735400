#include "IsoTime.h"

#include <cctype>

namespace provisioning {

namespace {

// Reads count decimal digits at pos, moving past them.
bool Digits(std::string_view text, size_t& pos, size_t count, int& value) {
    if (pos + count > text.size())
        return false;
    value = 0;
    for (size_t i = 0; i < count; ++i) {
        const char c = text[pos + i];
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
        value = value * 10 + (c - '0');
    }
    pos += count;
    return true;
}

bool Literal(std::string_view text, size_t& pos, char c) {
    if (pos >= text.size() || text[pos] != c)
        return false;
    ++pos;
    return true;
}

// HH:MM, HH:MM:SS or HH:MM:SS.fff from pos; the milliseconds of the day in millis.
bool ClockTime(std::string_view text, size_t& pos, int& hours, int& minutes, int& seconds, int& millis) {
    seconds = 0;
    millis = 0;
    if (!Digits(text, pos, 2, hours) || !Literal(text, pos, ':') || !Digits(text, pos, 2, minutes))
        return false;
    if (Literal(text, pos, ':') && !Digits(text, pos, 2, seconds))
        return false;
    if (pos < text.size() && (text[pos] == '.' || text[pos] == ',')) {
        ++pos;
        size_t places = 0;
        for (; pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos])); ++pos, ++places)
            if (places < 3)
                millis = millis * 10 + (text[pos] - '0');
        if (places == 0)
            return false;
        for (; places < 3; ++places)
            millis *= 10;
    }
    return hours <= 23 && minutes <= 59 && seconds <= 59;
}

// "Z", +HH:MM, +HHMM or +HH from pos to the end.
bool Offset(std::string_view text, size_t& pos, std::chrono::minutes& offset) {
    if (Literal(text, pos, 'Z') || Literal(text, pos, 'z')) {
        offset = std::chrono::minutes{0};
        return true;
    }
    const bool east = Literal(text, pos, '+');
    if (!east && !Literal(text, pos, '-'))
        return false;
    int hours = 0;
    int minutes = 0;
    if (!Digits(text, pos, 2, hours))
        return false;
    if (pos < text.size()) {
        Literal(text, pos, ':');
        if (!Digits(text, pos, 2, minutes))
            return false;
    }
    if (hours > 23 || minutes > 59)
        return false;
    offset = std::chrono::minutes{(east ? 1 : -1) * (hours * 60 + minutes)};
    return true;
}

} // namespace

LedgerClock WallOf(int year, unsigned month, unsigned day, int hours, int minutes, int seconds) {
    const std::chrono::sys_days date{std::chrono::year{year} / std::chrono::month{month} / std::chrono::day{day}};
    return LedgerClock{date} + std::chrono::hours{hours} + std::chrono::minutes{minutes} +
           std::chrono::seconds{seconds};
}

bool ParseIsoTime(std::string_view text, IsoTime& time) {
    size_t pos = 0;
    int year = 0, month = 0, day = 0;
    if (!Digits(text, pos, 4, year) || !Literal(text, pos, '-') || !Digits(text, pos, 2, month) ||
        !Literal(text, pos, '-') || !Digits(text, pos, 2, day))
        return false;
    const std::chrono::year_month_day date{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)},
                                           std::chrono::day{static_cast<unsigned>(day)}};
    if (!date.ok())
        return false;
    int hours = 0, minutes = 0, seconds = 0, millis = 0;
    if (pos < text.size() && (text[pos] == 'T' || text[pos] == 't' || text[pos] == ' ')) {
        ++pos;
        if (!ClockTime(text, pos, hours, minutes, seconds, millis))
            return false;
    }
    time.offset.reset();
    if (pos < text.size()) {
        std::chrono::minutes offset{0};
        if (!Offset(text, pos, offset) || pos != text.size())
            return false;
        time.offset = offset;
    }
    time.wall = WallOf(year, static_cast<unsigned>(month), static_cast<unsigned>(day), hours, minutes, seconds) +
                std::chrono::milliseconds{millis};
    return true;
}

} // namespace provisioning
