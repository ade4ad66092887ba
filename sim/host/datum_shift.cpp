// Standard Molodensky transformation between WGS 84 and the Tokyo datum. Heights are taken as 0:
// an item's altitude is above sea level, or the no-value marker, never an ellipsoidal height,
// and a few hundred metres change the result by millimetres.
#include "datum_shift.h"

#include <cmath>

namespace x9sim {
namespace {

struct Ellipsoid {
  double a;  // semi-major axis, metres
  double f;  // flattening
};

constexpr Ellipsoid kWgs84Ellipsoid{6378137.0, 1.0 / 298.257223563};
constexpr Ellipsoid kBesselEllipsoid{6377397.155, 1.0 / 299.1528128};

// Tokyo datum origin as seen from WGS 84, metres (the published three-parameter shift).
constexpr double kTokyoToWgs84[3] = {-148.0, 507.0, 685.0};

constexpr double kPi = 3.14159265358979323846;
constexpr double kRadiansPerDegree = kPi / 180.0;

const Ellipsoid* EllipsoidOf(int datum) {
  switch (datum) {
    case kDatumWgs84: return &kWgs84Ellipsoid;
    case kDatumTokyo: return &kBesselEllipsoid;
    default: return nullptr;
  }
}

void Molodensky(double& latitude, double& longitude, const Ellipsoid& from, const Ellipsoid& to,
                double dx, double dy, double dz) {
  const double phi = latitude * kRadiansPerDegree;
  const double lambda = longitude * kRadiansPerDegree;
  const double sinPhi = std::sin(phi), cosPhi = std::cos(phi);
  const double sinLambda = std::sin(lambda), cosLambda = std::cos(lambda);

  const double a = from.a;
  const double b = a * (1.0 - from.f);
  const double e2 = from.f * (2.0 - from.f);
  const double da = to.a - from.a;
  const double df = to.f - from.f;
  const double w = std::sqrt(1.0 - e2 * sinPhi * sinPhi);
  const double rn = a / w;                         // prime vertical radius
  const double rm = a * (1.0 - e2) / (w * w * w);  // meridian radius

  const double dPhi =
      (-dx * sinPhi * cosLambda - dy * sinPhi * sinLambda + dz * cosPhi +
       da * (rn * e2 * sinPhi * cosPhi) / a + df * (rm * a / b + rn * b / a) * sinPhi * cosPhi) /
      rm;
  // At a pole every longitude is the same point: leave it.
  const double dLambda =
      std::fabs(cosPhi) < 1e-12 ? 0.0 : (-dx * sinLambda + dy * cosLambda) / (rn * cosPhi);

  latitude += dPhi / kRadiansPerDegree;
  longitude += dLambda / kRadiansPerDegree;
  if (longitude > 180.0) longitude -= 360.0;
  if (longitude < -180.0) longitude += 360.0;
}

}  // namespace

bool ShiftDatum(double& latitude, double& longitude, int fromDatum, int toDatum) {
  const Ellipsoid* from = EllipsoidOf(fromDatum);
  const Ellipsoid* to = EllipsoidOf(toDatum);
  if (from == nullptr || to == nullptr || fromDatum == toDatum) return false;
  // Only the two datums exist, so the shift is Tokyo's or its reverse.
  const double sign = fromDatum == kDatumTokyo ? 1.0 : -1.0;
  Molodensky(latitude, longitude, *from, *to, sign * kTokyoToWgs84[0], sign * kTokyoToWgs84[1],
             sign * kTokyoToWgs84[2]);
  return true;
}

}  // namespace x9sim
