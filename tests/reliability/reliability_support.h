// Watch content for the reliability tests that is the same on every seeding, so that lists
// built by separate runs compare byte for byte.
#pragma once

#include <cstdint>
#include <vector>

#include "support/sim_fixture.h"

namespace x9test {

// Track number `number` with pointCount points that depend only on the two values.
inline void AddFixedTrack(int number, int pointCount) {
  std::vector<x9::TrackPoint> points;
  for (int i = 0; i < pointCount; ++i) {
    points.push_back(MakeTrackPoint(2005, 6, number, 10, i, 30, 356000000 + number * 1000 + i,
                                    1397000000 - i, 10 + i, i - 7, static_cast<uint16_t>(i * 11)));
  }
  x9::TrackHeader header{};
  header.pointCount = pointCount;
  X9Watch_AddTrack(&header, points.data(), pointCount);
}

}  // namespace x9test
