// Coordinates and altitudes between the watch's units and the host's, written once for the
// module and its tools. Includes only the host's record values: x9host links it from x9rules.
#pragma once

#include <cstdint>

#include "host/records.h"

namespace x9 {

// 1e-7 degree to degrees: a multiplication by the double 1e-7. Inline: every point of every
// download goes through it.
inline double DegreesFromDevice(int32_t value) { return static_cast<double>(value) * 1e-7; }
// Degrees to 1e-7 degree, truncated toward zero; saturates at the int32 limits, NaN gives 0.
int32_t DegreesToDevice(double degrees);
// Metres, truncated toward zero; saturates like DegreesToDevice.
int32_t AltitudeToDevice(double metres);

// A point without altitude: the host's NO_VALUE, which AltitudeToDevice hands the watch as this
// many metres; the watch's points with it read back as having none.
inline constexpr int32_t kDeviceNoAltitude = static_cast<int32_t>(NO_VALUE);

}  // namespace x9
