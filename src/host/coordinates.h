// Coordinates and altitudes between the watch's units and the host's, written once for the
// module and its tools. Includes nothing of the module's: x9host links it from x9rules.
#pragma once

#include <cstdint>

namespace x9 {

// 1e-7 degree to degrees: a multiplication by the double 1e-7. Inline: every point of every
// download goes through it.
inline double DegreesFromDevice(int32_t value) { return static_cast<double>(value) * 1e-7; }
// Degrees to 1e-7 degree, truncated toward zero; saturates at the int32 limits, NaN gives 0.
int32_t DegreesToDevice(double degrees);
// Metres, truncated toward zero; saturates like DegreesToDevice.
int32_t AltitudeToDevice(double metres);

}  // namespace x9
