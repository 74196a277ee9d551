// The one clock of the system. When SOURCE_DATE_EPOCH is set, every date is
// that moment in UTC, so builds can be reproduced; otherwise the local time.
#pragma once

#include <ctime>

#include "host/host.h"

namespace kavro::host {

// The current time (or SOURCE_DATE_EPOCH) broken down.
LocalTime clock_now();

// Seconds since the epoch: SOURCE_DATE_EPOCH when set, else the real time.
std::time_t clock_seconds();

// Breaks a time down: UTC when SOURCE_DATE_EPOCH is set, local time otherwise.
LocalTime clock_breakdown(std::time_t t);

}  // namespace kavro::host
