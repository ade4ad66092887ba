// POSIX only: the platform layer's pause and zone values.

#include <time.h>

#include <cerrno>
#include <ctime>

#include "platform/platform.h"

namespace x9::platform {

void PauseMilliseconds(unsigned milliseconds) {
  timespec remaining{static_cast<time_t>(milliseconds / 1000),
                     static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

ZoneValues ReadZoneValues() {
  tzset();
  return ZoneValues{timezone, daylight};
}

}  // namespace x9::platform
