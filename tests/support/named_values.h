// Names for the values tests use that the module has no name of its own for: the catalogue texts
// it carries but never shows, the combined download's flags, bits no request uses and the oldest
// host it accepts. Their raw values, and those of the module's own names, are pinned once, in
// contract_values_test.cpp; every other test uses the names.
#pragma once

#include "host/tpi.h"
#include "ui/catalogue.h"

namespace x9test {

// Catalogue texts the module carries but never shows.
inline constexpr x9::MessageId kMsgUploadingWaypoints = 4;
inline constexpr x9::MessageId kMsgUploadingTracks = 6;
inline constexpr x9::MessageId kMsgTooManyWaypoints = 7;
inline constexpr x9::MessageId kMsgTooManyTrackPoints = 8;
inline constexpr x9::MessageId kMsgTooManyRoutes = 9;
inline constexpr x9::MessageId kMsgTooManyRoutePoints = 10;  // ends in "\n%s"
inline constexpr x9::MessageId kMsgWatchFull = 11;
inline constexpr x9::MessageId kMsgDeletingWaypoints = 13;
inline constexpr x9::MessageId kMsgDeleteWaypointsFirst = 14;
inline constexpr x9::MessageId kMsgReallyDeleteWaypoints = 15;

// Waypoints, routes and tracks in one request; the module names it beside the request bits.
using x9::kFlagDownloadAll;
// Bits of the flag word that no request uses: the module ignores them.
inline constexpr unsigned kFlagUnused08 = 0x08;
inline constexpr unsigned kFlagUnused80 = 0x80;

// The oldest host version Init accepts.
inline constexpr int kOldestHostVersion = 8600;

}  // namespace x9test
