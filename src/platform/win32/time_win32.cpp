// Windows only: the platform layer's pause and zone values.

#include <time.h>

#include "platform/platform.h"
#include "platform/win32/windows_support.h"

namespace x9::platform {

void PauseMilliseconds(unsigned milliseconds) { Sleep(milliseconds); }

ZoneValues ReadZoneValues() {
  _tzset();
  return ZoneValues{_timezone, _daylight};
}

}  // namespace x9::platform
