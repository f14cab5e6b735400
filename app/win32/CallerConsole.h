// A GUI program on Windows gets no console of its own: its --help and --version go to the caller.
#pragma once

#include <string>

// False when there is nowhere to print (started from Explorer) or the write failed.
bool WriteToCaller(const std::string& text);
