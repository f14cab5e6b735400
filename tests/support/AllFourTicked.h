// The selection the tests that program the whole module start from: all four settings ticked, with
// the values each test wants to see arrive.
#pragma once

#include "ModuleCommands.h"

#include <cstdint>
#include <string>
#include <utility>

inline MODULE_SETTINGS AllFourTicked(std::string name, std::string pin, std::string protocolLabel,
                                     int32_t authChoice) {
    MODULE_SETTINGS settings;
    settings.setName = settings.setPin = settings.setFlow = settings.setAuth = 1;
    settings.name = std::move(name);
    settings.pin = std::move(pin);
    settings.protocolLabel = std::move(protocolLabel);
    settings.authChoice = authChoice;
    return settings;
}
