// Text form of instants for representations: "2024-05-06 08:00:00.250".
// Years outside 0..9999 carry a sign ("+10000-01-01 00:00:00"); a leap second
// shows as second 60; the fraction takes 0, 3, 6 or 9 digits.
#pragma once

#include <string>

#include "time/values.h"

namespace hourloom {

std::string format_instant(Instant t);

}  // namespace hourloom
