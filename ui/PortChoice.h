// The port the user chose in the port selection window, read by the settings window when it connects.
#pragma once

#include <string>

class CPortChoice {
public:
    virtual ~CPortChoice() = default;

    std::string m_strPort; // narrow text, exactly as picked or typed
};

extern CPortChoice g_portChoice;
