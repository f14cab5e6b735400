#include "CliPlatform.h"

#include "WideText.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <ctime>

namespace cli_platform {

using wide_text::WideToUtf8;

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr)
        return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> args;
    for (int i = 0; i < count; ++i)
        args.push_back(WideToUtf8(wide[i]));
    LocalFree(wide);
    return args;
}

void PrepareConsole() {
    SetConsoleOutputCP(CP_UTF8);
}

bool StdoutIsColourTerminal() {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    // A pipe or a file has no console mode; an old console without escapes refuses the flag.
    return out != INVALID_HANDLE_VALUE && GetConsoleMode(out, &mode) &&
           SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

bool StderrIsTerminal(bool& eraseEscape) {
    const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (err == INVALID_HANDLE_VALUE || !GetConsoleMode(err, &mode))
        return false;
    // An old console without escapes still goes back to the line's start on "\r".
    eraseEscape = SetConsoleMode(err, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
    return true;
}

size_t StderrColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info))
        return 0;
    return static_cast<size_t>(info.srWindow.Right - info.srWindow.Left + 1);
}

namespace {

// A PIN is a few characters; a line longer than this is no PIN.
constexpr size_t kLongestLine = 256;

// Typed at a console: read as UTF-16 with the echo off, the console's mode given back after.
bool ReadConsoleLine(HANDLE in, DWORD mode, std::string& line, std::string& error) {
    SetConsoleMode(in, (mode | ENABLE_LINE_INPUT) & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    wchar_t buffer[kLongestLine + 2];
    DWORD got = 0;
    const bool read = ReadConsoleW(in, buffer, static_cast<DWORD>(kLongestLine + 2), &got, nullptr) != 0;
    SetConsoleMode(in, mode);
    std::fputs("\n", stderr);
    std::wstring typed(buffer, read ? got : 0);
    while (!typed.empty() && (typed.back() == L'\n' || typed.back() == L'\r'))
        typed.pop_back();
    if (!read || typed.empty()) {
        error = "no PIN was typed";
        return false;
    }
    line = WideToUtf8(typed.c_str());
    return true;
}

} // namespace

bool ReadSecretLine(const char* prompt, std::string& line, std::string& error) {
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (in != INVALID_HANDLE_VALUE && GetConsoleMode(in, &mode)) {
        std::fputs(prompt, stderr);
        std::fflush(stderr);
        return ReadConsoleLine(in, mode, line, error);
    }
    line.clear();
    for (;;) {
        char c = 0;
        DWORD got = 0;
        if (!ReadFile(in, &c, 1, &got, nullptr) || got == 0 || c == '\n')
            break;
        line += c;
        if (line.size() > kLongestLine) {
            error = "the line on standard input is too long for a PIN";
            return false;
        }
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (line.empty())
        error = "standard input gave no PIN";
    return !line.empty();
}

bool LocalTimeOf(std::time_t time, std::tm& local) {
    return localtime_s(&local, &time) == 0;
}

} // namespace cli_platform
