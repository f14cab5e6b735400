// The simulator's transcript read back: one command per line, "<ms since start> <escaped command>".
#pragma once

#include "EscapedText.h"
#include "TempDir.h"

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

struct TranscriptLine {
    double ms = -1;
    std::string command; // the bytes as received, without CR LF
};

// Lines that do not parse come back with ms -1, so a test sees them fail.
inline std::vector<TranscriptLine> ReadTranscript(const std::string& path) {
    std::vector<TranscriptLine> lines;
    std::istringstream in(ReadWholeFile(path));
    std::string text;
    while (std::getline(in, text)) {
        TranscriptLine line;
        const size_t space = text.find(' ');
        char* end = nullptr;
        const double ms = std::strtod(text.c_str(), &end);
        if (space != std::string::npos && end == text.c_str() + space &&
            UnescapeBytes(text.substr(space + 1), line.command))
            line.ms = ms;
        lines.push_back(line);
    }
    return lines;
}

inline std::vector<std::string> Commands(const std::vector<TranscriptLine>& lines) {
    std::vector<std::string> commands;
    for (const TranscriptLine& line : lines)
        commands.push_back(line.command);
    return commands;
}
