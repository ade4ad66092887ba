// Datum shifts the host applies to item coordinates.
#pragma once

namespace x9sim {

// Host datum numbers the simulator knows.
inline constexpr int kDatumWgs84 = 0;  // the watch's datum
inline constexpr int kDatumTokyo = 1;  // Bessel 1841 ellipsoid

// Moves latitude and longitude (degrees) from one datum to the other. Returns false, leaving
// both unchanged, for a datum number it does not know or when from == to.
bool ShiftDatum(double& latitude, double& longitude, int fromDatum, int toDatum);

}  // namespace x9sim
