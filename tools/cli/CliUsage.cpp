#include "CliUsage.h"

#include "EscapedText.h"

#include <CLI/CLI.hpp>

#include <algorithm>

namespace zk405_cli {

namespace {

using namespace provisioning;

constexpr size_t kNearEdits = 2;

// Optimal string alignment distance: a swap of two neighbours is one slip, as a typist makes it.
size_t Edits(const std::string& a, const std::string& b) {
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i)
        d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j)
        d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i)
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t changed = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + changed});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

std::vector<std::string> CommandNames(const CLI::App& app) {
    std::vector<std::string> names;
    for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; }))
        names.push_back(command->get_name());
    return names;
}

const CLI::App* CommandNamed(const CLI::App& app, const std::string& name) {
    const std::vector<const CLI::App*> found =
        app.get_subcommands([&](const CLI::App* command) { return command->get_name() == name; });
    return found.empty() ? nullptr : found.front();
}

ExitStatus RefuseCommand(const CLI::App& app, const std::string& word, std::ostream& err) {
    const std::vector<std::string> names = CommandNames(app);
    const std::string nearest = NearestCommand(word, names);
    err << "zk405-cli: " << EscapeControls(word) << " is no command; ";
    if (!nearest.empty()) {
        err << "did you mean " << nearest << "?\n";
        return kExitUsage;
    }
    err << "the commands are";
    for (size_t i = 0; i < names.size(); ++i)
        err << (i == 0 ? " " : ", ") << names[i];
    err << "\n";
    return kExitUsage;
}

} // namespace

std::string NearestCommand(const std::string& word, const std::vector<std::string>& commands) {
    std::vector<std::string> begun;
    for (const std::string& command : commands)
        if (!word.empty() && command.compare(0, word.size(), word) == 0)
            begun.push_back(command);
    if (begun.size() == 1)
        return begun.front();
    std::string nearest;
    size_t fewest = kNearEdits + 1;
    for (const std::string& command : commands)
        if (const size_t edits = Edits(word, command); edits < fewest) {
            fewest = edits;
            nearest = command;
        }
    return nearest;
}

void WordUsageErrors(CLI::App& app) {
    app.failure_message([](const CLI::App* top, const CLI::Error& e) {
        const std::vector<CLI::App*> parsed = top->get_subcommands();
        const std::string command = parsed.empty() ? "" : parsed.front()->get_name();
        std::string line = "zk405-cli: ";
        if (!command.empty())
            line.append(command).append(": ");
        line += EscapeControls(e.what());
        line.append("; see zk405-cli help").append(command.empty() ? "" : " ").append(command).append("\n");
        return line;
    });
}

bool RefusedAsNoCommand(const CLI::App& app, const std::vector<std::string>& args, std::ostream& err) {
    // The program takes no option of its own but --help and --version: its first word is the command.
    if (args.size() < 2 || args[1].empty() || args[1].front() == '-' || CommandNamed(app, args[1]) != nullptr)
        return false;
    RefuseCommand(app, args[1], err);
    return true;
}

ExitStatus AnswerHelp(const CLI::App& app, const std::string& topic, std::ostream& out, std::ostream& err) {
    if (topic.empty()) {
        // app.help() would give the help command's own: it is the command parsed.
        out << app.get_formatter()->make_help(&app, app.get_name(), CLI::AppFormatMode::Normal);
    } else if (const CLI::App* command = CommandNamed(app, topic)) {
        out << command->help(app.get_name()); // as `COMMAND --help` prints it
    } else {
        return RefuseCommand(app, topic, err);
    }
    return out.flush() ? kExitOk : kExitUsage;
}

} // namespace zk405_cli
