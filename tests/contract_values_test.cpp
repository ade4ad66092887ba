// The raw values of the names every other test uses: request bits, message numbers, box styles
// and answers, list kinds, the fixed values of the records the module builds and the records'
// sizes. The host, the watch library and the user see these numbers, not the names, so each is
// pinned here once, as a record the module builds carries it where there is one; everywhere
// else the tests say what a value means.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <set>
#include <string>

#include "device/device_api.h"
#include "device/records.h"
#include "host/records.h"
#include "support/named_values.h"
#include "transfer/dispatcher.h"
#include "ui/catalogue.h"
#include "ui/user_interface.h"

namespace {

using namespace x9test;

TEST(ContractValues, RequestBits) {
  EXPECT_EQ(x9::kFlagDownloadWaypoints, 0x01u);
  EXPECT_EQ(x9::kFlagDownloadTracks, 0x02u);
  EXPECT_EQ(x9::kFlagDownloadRoutes, 0x04u);
  EXPECT_EQ(x9::kFlagNotImplemented, 0x10u);
  EXPECT_EQ(x9::kFlagNotForThisDevice, 0x20u);
  EXPECT_EQ(x9::kFlagUploadRoutes, 0x40u);
  EXPECT_EQ(kFlagDownloadAll, 0x07u);
  // The bits the tests send as "no request" are none of the module's.
  constexpr unsigned kModuleBits = x9::kFlagDownloadWaypoints | x9::kFlagDownloadTracks |
                                   x9::kFlagDownloadRoutes | x9::kFlagNotImplemented |
                                   x9::kFlagNotForThisDevice | x9::kFlagUploadRoutes;
  EXPECT_EQ(kFlagUnused08 & kModuleBits, 0u);
  EXPECT_EQ(kFlagUnused80 & kModuleBits, 0u);
  EXPECT_STREQ(x9::kProtocolName, "SUUNTO X9");
}

TEST(ContractValues, MessageNumbers) {
  EXPECT_EQ(x9::kMessageCount, 27u);
  EXPECT_EQ(x9::kMsgTransferComplete, 0u);
  EXPECT_EQ(x9::kMsgDownloadingWaypoints, 1u);
  EXPECT_EQ(x9::kMsgDownloadingRoutes, 2u);
  EXPECT_EQ(x9::kMsgDownloadingTracks, 3u);
  EXPECT_EQ(x9::kMsgUploadingRoutes, 5u);
  EXPECT_EQ(x9::kMsgNotForThisGps, 12u);
  EXPECT_EQ(x9::kMsgDllMissing, 16u);
  EXPECT_EQ(x9::kMsgNoWatch, 17u);
  EXPECT_EQ(x9::kMsgConnectionLost, 18u);
  EXPECT_EQ(x9::kMsgOutOfMemory, 19u);
  EXPECT_EQ(x9::kMsgSameNameOnWatch, 20u);
  EXPECT_EQ(x9::kMsgStartWaypointDownload, 21u);
  EXPECT_EQ(x9::kMsgStartRouteDownload, 22u);
  EXPECT_EQ(x9::kMsgStartTrackDownload, 23u);
  EXPECT_EQ(x9::kMsgStartRouteUpload, 24u);
  EXPECT_EQ(x9::kMsgCannotUploadMyPoints, 25u);
  EXPECT_EQ(x9::kMsgNotImplemented, 26u);
}

// Every catalogue text has exactly one name, the module's or the tests'.
TEST(ContractValues, EveryMessageHasOneName) {
  const x9::MessageId named[] = {x9::kMsgTransferComplete,   x9::kMsgDownloadingWaypoints,
                                 x9::kMsgDownloadingRoutes,  x9::kMsgDownloadingTracks,
                                 kMsgUploadingWaypoints,     x9::kMsgUploadingRoutes,
                                 kMsgUploadingTracks,        kMsgTooManyWaypoints,
                                 kMsgTooManyTrackPoints,     kMsgTooManyRoutes,
                                 kMsgTooManyRoutePoints,     kMsgWatchFull,
                                 x9::kMsgNotForThisGps,      kMsgDeletingWaypoints,
                                 kMsgDeleteWaypointsFirst,   kMsgReallyDeleteWaypoints,
                                 x9::kMsgDllMissing,         x9::kMsgNoWatch,
                                 x9::kMsgConnectionLost,     x9::kMsgOutOfMemory,
                                 x9::kMsgSameNameOnWatch,    x9::kMsgStartWaypointDownload,
                                 x9::kMsgStartRouteDownload, x9::kMsgStartTrackDownload,
                                 x9::kMsgStartRouteUpload,   x9::kMsgCannotUploadMyPoints,
                                 x9::kMsgNotImplemented};
  const std::set<x9::MessageId> distinct(std::begin(named), std::end(named));
  EXPECT_EQ(distinct.size(), x9::kMessageCount);
  EXPECT_EQ(*distinct.rbegin(), x9::kMessageCount - 1);
}

TEST(ContractValues, BoxStylesAndAnswers) {
  EXPECT_EQ(x9::kStyleStop, 0x10u);
  EXPECT_EQ(x9::kStyleQuestion, 0x24u);
  EXPECT_EQ(x9::kStyleExclamation, 0x30u);
  EXPECT_EQ(x9::kStyleInformation, 0x40u);
  EXPECT_EQ(x9::kAnswerOk, 1);
  EXPECT_EQ(x9::kAnswerYes, 6);
  EXPECT_EQ(x9::kAnswerNo, 7);
}

TEST(ContractValues, ListKindsAndTheDeviceFailure) {
  EXPECT_EQ(x9::kListTracks, 1);
  EXPECT_EQ(x9::kListWaypoints, 2);
  EXPECT_EQ(x9::kListRoutes, 3);
  EXPECT_EQ(x9::kDeviceFailure, -1);
  EXPECT_EQ(kOldestHostVersion, 8600);
}

TEST(ContractValues, NoValueMarkers) {
  EXPECT_EQ(x9::NO_VALUE, -9999.0);
  EXPECT_EQ(x9::NO_VALUE_2, -9999.9);
}

TEST(ContractValues, ANewSetHeader) {
  const char name[] = "Segment: 1";
  const tagGPSDBHEADER header = x9::NewSetHeader(name, x9::kListRoutes);
  EXPECT_EQ(header.size, static_cast<int32_t>(sizeof header));
  EXPECT_EQ(header.name, name);
  EXPECT_EQ(header.value8, 1);
  EXPECT_EQ(header.itemCount, 0);
  EXPECT_EQ(header.value16, 0);
  EXPECT_EQ(header.kind, 3);
  EXPECT_EQ(header.reserved18[0], 0);
  EXPECT_EQ(header.reserved18[1], 0);
  EXPECT_EQ(header.value20, 255);
  EXPECT_EQ(header.value24, 2);
  EXPECT_EQ(header.value28, 1);
}

// The waypoint set's rewrite: the fixed values, the name and the kind; the rest as it was.
TEST(ContractValues, SetHeaderDefaultsLeaveSizeCountAndReservedBytesAlone) {
  tagGPSDBHEADER header;
  std::memset(&header, 0xAB, sizeof header);
  x9::SetHeaderDefaults(header, "", x9::kListWaypoints);
  // The values themselves are pinned above, for a new header.
  EXPECT_STREQ(header.name, "");
  EXPECT_EQ(header.value8, x9::kSetValue8);
  EXPECT_EQ(header.value16, x9::kSetValue16);
  EXPECT_EQ(header.kind, x9::kListWaypoints);
  EXPECT_EQ(header.value20, x9::kSetValue20);
  EXPECT_EQ(header.value24, x9::kSetValue24);
  EXPECT_EQ(header.value28, x9::kSetValue28);
  EXPECT_EQ(static_cast<uint32_t>(header.size), 0xABABABABu);
  EXPECT_EQ(static_cast<uint32_t>(header.itemCount), 0xABABABABu);
  EXPECT_EQ(header.reserved18[0], 0xAB);
  EXPECT_EQ(header.reserved18[1], 0xAB);
}

class NewItemValues : public ::testing::TestWithParam<x9::ListKind> {};

TEST_P(NewItemValues, EveryFieldOfANewItem) {
  const x9::ListKind kind = GetParam();
  const tagGPSDBITEM item = x9::NewItem(kind);
  EXPECT_EQ(item.size, static_cast<int32_t>(sizeof item));
  EXPECT_EQ(item.name, nullptr);
  EXPECT_EQ(item.latitude, 0.0);
  EXPECT_EQ(item.longitude, 0.0);
  EXPECT_EQ(item.altitude, 0.0);
  EXPECT_EQ(item.value32, kind == x9::kListTracks ? 0.0 : x9::NO_VALUE);
  EXPECT_EQ(item.value40, x9::NO_VALUE_2);
  EXPECT_EQ(item.time, 0);
  EXPECT_EQ(item.kind, kind);
  EXPECT_EQ(item.datum, 0);
  EXPECT_EQ(item.value56, 1);
  EXPECT_EQ(item.value60, 901001);
  EXPECT_EQ(item.ident, nullptr);
  EXPECT_EQ(item.value68, 0);
  EXPECT_EQ(item.value72, 0.0f);
  EXPECT_EQ(item.value76, 0);
  EXPECT_EQ(item.value92, kind == x9::kListTracks ? 2 : 0);
  for (uint8_t byte : item.reserved54)
    EXPECT_EQ(byte, 0);
  for (uint8_t byte : item.reserved80)
    EXPECT_EQ(byte, 0);
  for (uint8_t byte : item.reserved94)
    EXPECT_EQ(byte, 0);
}

INSTANTIATE_TEST_SUITE_P(ContractValues, NewItemValues,
                         ::testing::Values(x9::kListTracks, x9::kListWaypoints, x9::kListRoutes),
                         [](const ::testing::TestParamInfo<x9::ListKind>& info) {
                           return info.param == x9::kListTracks      ? std::string("Track")
                                  : info.param == x9::kListWaypoints ? std::string("Waypoint")
                                                                     : std::string("RoutePoint");
                         });

TEST(ContractValues, RecordSizes) {
  EXPECT_EQ(sizeof(tagGPSPROTOCOLINFO), 72u);
  EXPECT_EQ(sizeof(PluginInfo), 280u);
  EXPECT_EQ(sizeof(x9::TrackHeader), 70u);
  EXPECT_EQ(sizeof(x9::TrackPoint), 42u);
  EXPECT_EQ(sizeof(x9::RouteHeader), 28u);
  EXPECT_EQ(sizeof(x9::RoutePoint), 32u);
#if defined(_WIN32) && !defined(_WIN64)
  // The host's own layouts; a 64-bit build widens their pointers.
  EXPECT_EQ(sizeof(tagGPSDBHEADER), 32u);
  EXPECT_EQ(sizeof(tagGPSDBITEM), 96u);
#endif
}

}  // namespace
