// CreateFileA takes the name in the system's code page: Windows-1250 on the systems the program is for.
#include "PortNameText.h"

#include "Cp1250.h"

std::string PortNameFromUtf8(const std::string& typed) {
    return cp1250::Utf8ToCp1250(typed).bytes;
}

std::string PortNameToUtf8(const std::string& portName) {
    return cp1250::Cp1250ToUtf8(portName);
}
