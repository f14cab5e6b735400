#include "ToolOptions.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace tool_options {

CLI::Validator DecimalIn(long min, long max) {
    const std::string range = std::to_string(min) + " to " + std::to_string(max);
    return CLI::Validator(
        [min, max, range](std::string& text) -> std::string {
            char* end = nullptr;
            errno = 0;
            const long value = std::strtol(text.c_str(), &end, 10);
            if (errno != 0 || end == text.c_str() || *end != '\0' || value < min || value > max)
                return "expected a whole number from " + range + ", not " + text;
            text = std::to_string(value);
            return {};
        },
        std::string()); // the option's own text gives the range

}

std::optional<int> Parse(CLI::App& app, int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int status = app.exit(e, out, err);
        return status == 0 && out.flush() ? kExitSuccess : kExitUsage;
    }
    return std::nullopt;
}

} // namespace tool_options
