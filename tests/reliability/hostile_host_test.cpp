// The upload against a host that hands over whatever it likes: null and overlong texts,
// coordinates that are not numbers, datums nobody knows, thousands of sets it does not upload,
// item counts that change from call to call and reads that fill nothing. The upload must not
// crash, must not write past its point array, and must send only points it saw filled.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "sim/host/datum_shift.h"
#include "support/sim_fixture.h"
#include "transfer/dispatcher.h"
#include "ui/messages.h"

#if !defined(_WIN32)
#include <dlfcn.h>
#endif

namespace {

using x9test::AddHostRoute;
using x9test::AddRoute;
using x9test::MakeHostItem;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

std::string Field(const char (&field)[20]) { return std::string(field, sizeof field); }

// What a 20-byte device field must hold for an ASCII text: at most 19 bytes, then zeros.
std::string ExpectedField(const std::string& text) {
  std::string field = text.substr(0, 19);
  field.resize(20, '\0');
  return field;
}

class HostileHostTest : public x9test::SimFixture {
 protected:
  long Upload() {
    const long result = Request(x9::kFlagUploadRoutes);
    EXPECT_TRUE(WatchLibraryReleased());
    return result;
  }
  std::vector<std::string> Puts() const {
    std::vector<std::string> puts;
    for (const auto& line : WatchLog())
      if (line.rfind("PutRoute", 0) == 0) puts.push_back(line);
    return puts;
  }
};

TEST_F(HostileHostTest, NullTextsAreEmptyNames) {
  AddRoute("", 1);  // a watch route with the empty name: a null set name is the same name
  tagGPSDBHEADER header{};
  header.size = sizeof header;
  header.name = nullptr;
  header.kind = x9::kListRoutes;
  const int set = X9Host_AddSet(&header);
  tagGPSDBITEM item = MakeHostItem(nullptr, 1, 2, 3);
  item.name = nullptr;
  X9Host_AddItem(set, &item);
  item.name = "named, but no ident";
  X9Host_AddItem(set, &item);

  EXPECT_EQ(Upload(), 1);
  ASSERT_EQ(ui.boxes.size(), 2u);
  EXPECT_EQ(ui.boxes[1].text, std::string(x9::MessageText(x9::kMsgSameNameOnWatch)) + "\n");
  ASSERT_EQ(X9Watch_RouteCount(), 1);  // the old one deleted, the new one put
  EXPECT_EQ(Field(X9Watch_Route(1)->name), std::string(20, '\0'));
  ASSERT_EQ(X9Watch_RoutePointCount(1), 2);
  for (int i = 0; i < 2; ++i)
    EXPECT_EQ(Field(X9Watch_RoutePoints(1)[i].name), std::string(20, '\0'));
}

TEST_F(HostileHostTest, NamesOfAnyLengthAreCutAndTerminated) {
  const std::vector<size_t> lengths = {0, 1, 19, 20, 300};
  std::vector<std::string> names;
  for (size_t length : lengths) {
    std::string name(length, 'n');
    for (size_t i = 0; i < length; ++i)
      name[i] = static_cast<char>('a' + (i + length) % 26);
    names.push_back(name);
  }
  for (const std::string& name : names) {
    std::vector<tagGPSDBITEM> items;
    for (const std::string& ident : names)
      items.push_back(MakeHostItem(ident.c_str(), 1, 1, 1));
    AddHostRoute(name.c_str(), items);
  }

  EXPECT_EQ(Upload(), 1);
  ASSERT_EQ(X9Watch_RouteCount(), static_cast<int>(names.size()));
  for (size_t r = 0; r < names.size(); ++r) {
    SCOPED_TRACE(names[r].size());
    const int number = static_cast<int>(r) + 1;
    EXPECT_EQ(Field(X9Watch_Route(number)->name), ExpectedField(names[r]));
    ASSERT_EQ(X9Watch_RoutePointCount(number), static_cast<int>(names.size()));
    for (size_t p = 0; p < names.size(); ++p)
      EXPECT_EQ(Field(X9Watch_RoutePoints(number)[p].name), ExpectedField(names[p]));
  }
}

TEST_F(HostileHostTest, CoordinatesThatAreNoNumbersSaturate) {
  struct Case {
    double value;
    int32_t device;
  };
  const std::vector<Case> cases = {{kNaN, 0},          {-kNaN, 0},    {kInfinity, kMax},
                                   {-kInfinity, kMin}, {1e300, kMax}, {-1e300, kMin},
                                   {-0.0, 0}};
  std::vector<tagGPSDBITEM> items;
  // Latitude, longitude and altitude each take every value; the altitude is unscaled.
  for (const Case& c : cases)
    items.push_back(MakeHostItem("p", c.value, c.value, c.value * 1e7));
  AddHostRoute("Wild", items);

  EXPECT_EQ(Upload(), 1);
  ASSERT_EQ(X9Watch_RoutePointCount(1), static_cast<int>(cases.size()));
  const x9::RoutePoint* points = X9Watch_RoutePoints(1);
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].value);
    EXPECT_EQ(points[i].latitude, cases[i].device);
    EXPECT_EQ(points[i].longitude, cases[i].device);
    EXPECT_EQ(points[i].altitude, cases[i].device);
  }
}

TEST_F(HostileHostTest, UnknownDatumsPassUnchangedAndNaNSurvivesAShift) {
  AddHostRoute("Datums",
               {MakeHostItem("u200", 35.5, 139.25, 5, x9::kListRoutes, 200),
                MakeHostItem("u255", -35.5, -139.25, 5, x9::kListRoutes, 255),
                MakeHostItem("tokyo-nan", kNaN, kNaN, kNaN, x9::kListRoutes, x9sim::kDatumTokyo)});
  EXPECT_EQ(Upload(), 1);
  ASSERT_EQ(X9Watch_RoutePointCount(1), 3);
  const x9::RoutePoint* points = X9Watch_RoutePoints(1);
  EXPECT_EQ(points[0].latitude, 355000000);
  EXPECT_EQ(points[0].longitude, 1392500000);
  EXPECT_EQ(points[1].latitude, -355000000);
  EXPECT_EQ(points[1].longitude, -1392500000);
  EXPECT_EQ(points[2].latitude, 0);
  EXPECT_EQ(points[2].longitude, 0);
  EXPECT_EQ(points[2].altitude, 0);
  // Each item was offered to the host's conversion with its own datum.
  const std::string log = X9HostCallLogString();
  const std::string size = std::to_string(sizeof(tagGPSDBITEM));
  for (const int datum : {200, 255, x9sim::kDatumTokyo}) {
    const std::string call = "TPI_ConvertDatum " + size + "," + size + "," + std::to_string(datum) +
                             "," + std::to_string(x9sim::kDatumWgs84) + "\n";
    EXPECT_NE(log.find(call), std::string::npos) << call;
  }
}

// Thousands of sets of other kinds are passed over without a read of their items and without a
// pump; the route sets among them are put and the bar follows their place in the whole list.
TEST_F(HostileHostTest, ThousandsOfOtherSetsArePassedOver) {
  const uint8_t otherKinds[] = {0, x9::kListTracks, x9::kListWaypoints, 4, 7, 255};
  std::vector<int> routeSets;
  int routeItems = 0;
  for (int i = 1; i < 4000; ++i) {
    if (i == 1000 || i == 2500 || i == 3999) {
      routeSets.push_back(AddHostRoute(("R" + std::to_string(i)).c_str(),
                                       {MakeHostItem("a", 1, 2, 3), MakeHostItem("b", 4, 5, 6)}));
      routeItems += 2;
      continue;
    }
    tagGPSDBHEADER header{};
    header.size = sizeof header;
    header.name = "other";
    header.kind = otherKinds[i % 6];
    const int set = X9Host_AddSet(&header);
    // A route point in a set of another kind.
    const tagGPSDBITEM item = MakeHostItem("x", 1, 1, 1, x9::kListRoutes);
    X9Host_AddItem(set, &item);
  }
  EXPECT_EQ(Upload(), 1);
  EXPECT_EQ(Puts(),
            (std::vector<std::string>{"PutRoute R1000 2", "PutRoute R2500 2", "PutRoute R3999 2"}));
  EXPECT_EQ(Pumps(), 3);
  EXPECT_EQ(X9Host_CallCount("TPI_GetItemGpsProtocol"), 2 * routeItems);
  ASSERT_EQ(ui.windows.size(), 1u);
  EXPECT_EQ(ui.windows[0].positions, (std::vector<int>{0, 1, 25, 62, 99}));
}

// A host that reports fewer items on every call, by as much as the parameter: each walk ends,
// and what is sent are points the fill pass really filled, in order, never more than the count
// pass made room for.
class ShrinkingItemCountTest : public HostileHostTest, public ::testing::WithParamInterface<int> {};

TEST_P(ShrinkingItemCountTest, SendsOnlyFilledPoints) {
  std::vector<tagGPSDBITEM> items;
  std::vector<int32_t> routeLatitudes;
  for (int i = 0; i < 12; ++i) {
    const uint8_t kind = i % 3 == 1 ? x9::kListWaypoints : x9::kListRoutes;
    items.push_back(MakeHostItem("p", 10 + i, 20, 30, kind));
    if (kind == x9::kListRoutes) routeLatitudes.push_back((10 + i) * 10000000);
  }
  const int set = AddHostRoute("Drift", items);
  X9Host_SetItemCountDrift(set, GetParam());
  EXPECT_EQ(Upload(), 1);
  ASSERT_EQ(X9Watch_RouteCount(), 1);
  const int sent = X9Watch_Route(1)->pointCount;
  ASSERT_EQ(X9Watch_RoutePointCount(1), sent);
  ASSERT_LE(sent, static_cast<int>(routeLatitudes.size()));
  for (int i = 0; i < sent; ++i)
    EXPECT_EQ(X9Watch_RoutePoints(1)[i].latitude, routeLatitudes[static_cast<size_t>(i)]);
}

INSTANTIATE_TEST_SUITE_P(HostileHostTest, ShrinkingItemCountTest,
                         ::testing::Values(-1, -2, -3, -7, -1000),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return "By" + std::to_string(-info.param);
                         });

// The host stops filling records after the first set: the header and items of the first set
// must not be taken for those of the later ones.
TEST_F(HostileHostTest, ARecordLeftUnfilledIsNotTakenFromTheSetBefore) {
  AddRoute("Second", 1);
  AddHostRoute("First", {MakeHostItem("f", 1, 1, 1)});
  AddHostRoute("Second", {MakeHostItem("s", 2, 2, 2)});
  AddHostRoute("Third", {MakeHostItem("t", 3, 3, 3)});
  X9Host_SetPumpHook([](void*) { X9Host_SetReadsFillNothing(1); }, nullptr);
  EXPECT_EQ(Upload(), 1);
  EXPECT_EQ(Puts(), std::vector<std::string>{"PutRoute First 1"});
  EXPECT_EQ(X9Watch_CallCount("DeleteRoute"), 0);
  EXPECT_EQ(ui.boxes.size(), 1u);  // no same-name question for a set never seen
}

#if !defined(_WIN32)
// A host whose item count grows between the count pass and the fill pass: the host sim's drift
// only shrinks, so the count is put in front of it here. POSIX only: the test program's own
// definition takes the module's calls; under wine the module imports the host's by name.
int g_hiddenItems = 0;  // items the count pass does not see
int g_countCallsBeforeGrowth = 0;

extern "C" int TPI_GetItemCountGpsProtocol(int setIndex) {
  using Fn = int (*)(int);
  static const Fn host = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "TPI_GetItemCountGpsProtocol"));
  const int count = host(setIndex);
  if (g_countCallsBeforeGrowth <= 0) return count;
  --g_countCallsBeforeGrowth;
  return count - g_hiddenItems;
}

TEST_F(HostileHostTest, AGrowingItemCountNeverWritesPastThePointArray) {
  std::vector<tagGPSDBITEM> items;
  for (int i = 0; i < 10; ++i)
    items.push_back(
        MakeHostItem("g", 40 + i, 1, 1, i % 4 == 3 ? x9::kListTracks : x9::kListRoutes));
  AddHostRoute("Grow", items);
  // The count pass sees 4 items (3 route points) and asks 5 times; the fill pass sees all 10.
  g_hiddenItems = 6;
  g_countCallsBeforeGrowth = 5;
  const long result = Upload();
  g_countCallsBeforeGrowth = 0;
  EXPECT_EQ(result, 1);
  ASSERT_EQ(X9Watch_RouteCount(), 1);
  EXPECT_EQ(X9Watch_Route(1)->pointCount, 3);
  ASSERT_EQ(X9Watch_RoutePointCount(1), 3);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(X9Watch_RoutePoints(1)[i].latitude, (40 + i) * 10000000);
}
#endif

}  // namespace
