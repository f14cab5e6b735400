// What to do next after a failure, in Polish for the station window: the same keys as provisioning's
// English table (HintKeyOf chooses the sentence), so the window gives no advice of its own.
#pragma once

#include "Hints.h"

namespace station_ui {

const provisioning::HintWords& PolishHints();

} // namespace station_ui
