// A port name between the UTF-8 a person types (in the port window or on zk405-cli's command line) and
// the narrow name the platform's open takes, so that both front ends open the same port for the same
// text. On POSIX a typed path goes to the open as the file system spells it (UTF-8); Windows'
// CreateFileA reads the system's code page, Windows-1250 on the Polish systems the program is written
// for, and a character that code page lacks becomes "?". One file per platform, chosen by CMake.
#pragma once

#include <string>

std::string PortNameFromUtf8(const std::string& typed);
// The narrow name back as UTF-8, for messages.
std::string PortNameToUtf8(const std::string& portName);
