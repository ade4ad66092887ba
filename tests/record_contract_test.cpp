// What every request hands the host, whatever it moves: records that carry their own size at
// the moment of the call, zero bytes wherever no field is assigned, and the transfer's
// resources released in their fixed order on every way out.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "device/device_api.h"
#include "host/records.h"
#include "support/named_values.h"
#include "support/sim_fixture.h"
#include "transfer/allocation.h"
#include "transfer/dispatcher.h"

namespace {

using x9test::AddHostRoute;
using x9test::AddRoute;
using x9test::AddTrack;
using x9test::MakeHostItem;

const std::string kHeaderSize = std::to_string(sizeof(tagGPSDBHEADER));
const std::string kItemSize = std::to_string(sizeof(tagGPSDBITEM));

// The host calls that take a record, and which of their arguments is the record's size.
struct RecordCall {
  const char* name;
  int sizeArgument;  // 0-based among the comma-separated arguments
  const std::string& size;
};
const RecordCall kRecordCalls[] = {
    {"TPI_GetStatGpsProtocol", 1, kHeaderSize},      {"TPI_SetStatGpsProtocol", 1, kHeaderSize},
    {"TPI_AddDataTrackGpsProtocol", 0, kHeaderSize}, {"TPI_GetItemGpsProtocol", 2, kItemSize},
    {"TPI_AddDataItemGpsProtocol", 1, kItemSize},    {"TPI_ConvertDatum", 0, kItemSize},
};

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::istringstream in(text);
  for (std::string part; std::getline(in, part, separator);)
    parts.push_back(part);
  return parts;
}

// Every record call of the host's log whose record did not carry its size; and how many record
// calls there were.
std::vector<std::string> RecordsWithoutTheirSize(int& recordCalls) {
  std::vector<std::string> wrong;
  recordCalls = 0;
  for (const std::string& line : Split(X9HostCallLogString(), '\n')) {
    const size_t space = line.find(' ');
    const std::string name = line.substr(0, space);
    for (const RecordCall& call : kRecordCalls) {
      if (name != call.name) continue;
      ++recordCalls;
      const auto arguments = Split(space == std::string::npos ? "" : line.substr(space + 1), ',');
      if (arguments.size() <= static_cast<size_t>(call.sizeArgument) ||
          arguments[static_cast<size_t>(call.sizeArgument)] != call.size) {
        wrong.push_back(line);
      }
    }
  }
  return wrong;
}

bool AllZero(const uint8_t* bytes, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    if (bytes[i] != 0) return false;
  }
  return true;
}

struct RequestCase {
  const char* label;
  unsigned flags;
};

void PrintTo(const RequestCase& request, std::ostream* out) { *out << request.label; }

class RecordContractTest : public x9test::SimFixture,
                           public ::testing::WithParamInterface<RequestCase> {
 protected:
  // A watch and a transfer list with something for every request, including a route set the
  // upload reads item by item.
  void FillBothSides() {
    AddTrack(3);
    AddTrack(0);
    AddTrack(2);
    AddRoute("MYPOINTS", 2);
    AddRoute("Ridge", 3);
    static const tagGPSDBITEM kItems[] = {MakeHostItem("a", 35.1, 139.1, 10),
                                          MakeHostItem("b", 35.2, 139.2, 20, x9::kListRoutes, 7)};
    AddHostRoute("Upload", {kItems[0], kItems[1]});
    X9Host_ClearLog();
  }
};

TEST_P(RecordContractTest, EveryRecordCarriesItsSizeWhenTheHostGetsOrFillsIt) {
  FillBothSides();
  const int setsBefore = X9Host_GetSetCount();
  const int waypointsBefore = X9Host_ItemCount(0);
  EXPECT_EQ(Request(GetParam().flags), 1);

  int recordCalls = 0;
  EXPECT_EQ(RecordsWithoutTheirSize(recordCalls), std::vector<std::string>{});
  EXPECT_GT(recordCalls, 0);

  // The records the host now holds keep 0 in every byte the module assigns nothing to.
  for (int set = setsBefore; set < X9Host_GetSetCount(); ++set) {
    const tagGPSDBHEADER* header = X9Host_GetSet(set);
    EXPECT_EQ(header->size, static_cast<int32_t>(sizeof(tagGPSDBHEADER)));
    EXPECT_TRUE(AllZero(header->reserved18, sizeof header->reserved18)) << "set " << set;
  }
  for (int set = 0; set < X9Host_GetSetCount(); ++set) {
    const int first = set == 0 ? waypointsBefore : (set < setsBefore ? X9Host_ItemCount(set) : 0);
    for (int i = first; i < X9Host_ItemCount(set); ++i) {
      const tagGPSDBITEM* item = X9Host_Item(set, i);
      SCOPED_TRACE("set " + std::to_string(set) + " item " + std::to_string(i));
      EXPECT_EQ(item->size, static_cast<int32_t>(sizeof(tagGPSDBITEM)));
      EXPECT_TRUE(AllZero(item->reserved54, sizeof item->reserved54));
      EXPECT_TRUE(AllZero(item->reserved80, sizeof item->reserved80));
      EXPECT_TRUE(AllZero(item->reserved94, sizeof item->reserved94));
    }
  }
}

// A host that leaves its own idea of the size in every record it fills: the upload still gives
// each record its size before each call that fills or converts it.
TEST_F(RecordContractTest, TheUploadSetsTheSizeBeforeEveryCallWhateverTheHostLeftThere) {
  for (const int32_t stored : {0, 7, 200}) {
    SCOPED_TRACE(stored);
    SetUp();
    tagGPSDBHEADER header{};
    header.size = stored;
    header.name = "Sized";
    header.kind = x9::kListRoutes;
    const int set = X9Host_AddSet(&header);
    for (const char* ident : {"a", "b", "c"}) {
      tagGPSDBITEM item = MakeHostItem(ident, 35, 139, 1, x9::kListRoutes, 7);
      item.size = stored;
      X9Host_AddItem(set, &item);
    }
    AddHostRoute("Other", {MakeHostItem("d", 1, 2, 3)});
    X9Host_ClearLog();
    EXPECT_EQ(Request(x9::kFlagUploadRoutes), 1);
    int recordCalls = 0;
    EXPECT_EQ(RecordsWithoutTheirSize(recordCalls), std::vector<std::string>{});
    // Three set headers; per item a count read, a fill read and a conversion.
    EXPECT_EQ(recordCalls, 3 + 3 * 3 + 3);
    EXPECT_EQ(X9Watch_RouteCount(), 2);
    TearDown();
  }
}

INSTANTIATE_TEST_SUITE_P(EveryRequest, RecordContractTest,
                         ::testing::Values(RequestCase{"Tracks", x9::kFlagDownloadTracks},
                                           RequestCase{"Routes", x9::kFlagDownloadRoutes},
                                           RequestCase{"Waypoints", x9::kFlagDownloadWaypoints},
                                           RequestCase{"Upload", x9::kFlagUploadRoutes},
                                           RequestCase{"Everything", x9test::kFlagDownloadAll}),
                         [](const ::testing::TestParamInfo<RequestCase>& info) {
                           return info.param.label;
                         });

// --- The order of release ---------------------------------------------------------------------

// Records "buffer N freed" (N the allocation's number in the transfer) and the window's
// destruction in one list, in the order they happen.
class ReleaseOrderTest : public x9test::SimFixture {
 protected:
  void SetUp() override {
    SimFixture::SetUp();
    ui.events = &events;
    x9::AllocationControl::SetReleaseHook(
        [](int number, void* context) {
          static_cast<std::vector<std::string>*>(context)->push_back(
              "buffer " + std::to_string(number) + " freed");
        },
        &events);
  }
  void TearDown() override {
    x9::AllocationControl::SetReleaseHook(nullptr, nullptr);
    ui.events = nullptr;
    SimFixture::TearDown();
  }
  std::vector<std::string> events;
};

// Track download: headers (1), points (2) and the points' names (3) are allocated in that
// order and released as names, headers, points; then the window goes.
TEST_F(ReleaseOrderTest, TrackDownloadReleasesNamesHeadersPointsThenTheWindow) {
  AddTrack(2);
  AddTrack(1);
  EXPECT_EQ(Request(x9::kFlagDownloadTracks), 1);
  EXPECT_EQ(events, (std::vector<std::string>{"buffer 3 freed", "buffer 1 freed", "buffer 2 freed",
                                              "window 1 destroyed"}));
}

TEST_F(ReleaseOrderTest, AnAbortedTrackDownloadReleasesWhatItHeldInTheSameOrder) {
  AddTrack(2);
  AddTrack(1);
  AbortAtPump(3);  // the first pump of the point pass
  EXPECT_EQ(Request(x9::kFlagDownloadTracks), 0);
  EXPECT_EQ(events,
            (std::vector<std::string>{"buffer 1 freed", "buffer 2 freed", "window 1 destroyed"}));
}

// Route and waypoint downloads: headers (1), points (2); released headers, points, then the
// window.
class RouteRecordsReleaseOrderTest : public ReleaseOrderTest,
                                     public ::testing::WithParamInterface<unsigned> {};

TEST_P(RouteRecordsReleaseOrderTest, HeadersPointsThenTheWindow) {
  AddRoute("MYPOINTS", 2);
  AddRoute("Ridge", 3);
  EXPECT_EQ(Request(GetParam()), 1);
  EXPECT_EQ(events,
            (std::vector<std::string>{"buffer 1 freed", "buffer 2 freed", "window 1 destroyed"}));
}

INSTANTIATE_TEST_SUITE_P(ReleaseOrderTest, RouteRecordsReleaseOrderTest,
                         ::testing::Values(x9::kFlagDownloadRoutes, x9::kFlagDownloadWaypoints),
                         [](const ::testing::TestParamInfo<unsigned>& info) {
                           return std::string(info.param == x9::kFlagDownloadRoutes
                                                  ? "RouteDownload"
                                                  : "WaypointDownload");
                         });

// The upload frees each set's point array before the next set; when a put fails, the array it
// holds goes before the window.
TEST_F(ReleaseOrderTest, TheUploadFreesEachPointArrayBeforeTheNextAndBeforeTheWindow) {
  AddHostRoute("One", {MakeHostItem("a", 1, 1, 1)});
  AddHostRoute("Two", {MakeHostItem("b", 2, 2, 2)});
  X9Watch_SetResult("PutRoute", 2, x9::kDeviceFailure);
  EXPECT_EQ(Request(x9::kFlagUploadRoutes), 0);
  EXPECT_EQ(events,
            (std::vector<std::string>{"buffer 1 freed", "buffer 2 freed", "window 1 destroyed"}));
}

}  // namespace
