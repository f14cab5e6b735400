// Linux paths are bytes, spelled in UTF-8: the typed name is the name opened.
#include "PortNameText.h"

std::string PortNameFromUtf8(const std::string& typed) {
    return typed;
}

std::string PortNameToUtf8(const std::string& portName) {
    return portName;
}
