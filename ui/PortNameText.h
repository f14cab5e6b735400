// A port name between the window's UTF-8 text and the narrow name the platform's open takes: on
// POSIX a typed path goes to the open as the file system spells it (UTF-8); Windows' CreateFileA
// reads the system's code page, Windows-1250 on the Polish systems the windows are written for.
#pragma once

#include <string>

std::string PortNameFromUtf8(const std::string& typed);
std::string PortNameToUtf8(const std::string& portName);
