#include "host/coordinates.h"

#include <cmath>
#include <limits>

namespace x9 {
namespace {

int32_t TruncateSaturating(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(value);  // truncates toward zero
}

}  // namespace

int32_t DegreesToDevice(double degrees) { return TruncateSaturating(degrees * 1e7); }

int32_t AltitudeToDevice(double metres) { return TruncateSaturating(metres); }

}  // namespace x9
