#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "device/device_api.h"
#include "host/convert.h"
#include "host/records.h"
#include "text/cp932.h"
#include "transfer/allocation.h"
#include "transfer/transfer_steps.h"
#include "transfer/transfers.h"
#include "ui/user_interface.h"

namespace x9 {
namespace {

enum class Answer { kNotAsked, kYes, kNo };

// The names of the routes on the watch; entry p is route number p + 1.
class WatchRouteNames {
 public:
  void Append(const char* name) {
    if (names_.size() == names_.capacity()) names_.reserve(names_.size() + 50);
    names_.emplace_back(name);
  }
  void Remove(size_t position) { names_.erase(names_.begin() + static_cast<ptrdiff_t>(position)); }
  size_t size() const { return names_.size(); }
  const std::string& operator[](size_t position) const { return names_[position]; }

 private:
  std::vector<std::string> names_;
};

// "%s\n%s": the catalogue text, a line feed, the route's name.
std::string Compose(MessageId message, const char* name) {
  std::string text(MessageText(message));
  text += '\n';
  text += name;
  return text;
}

int ShowComposed(MessageId message, const char* name, unsigned style) {
  const std::string text = Compose(message, name);
  return ShowText(text.c_str(), style);
}

// The host fills our records: each call gets the record's own size, whatever the host left
// there last time, and what it does not fill must not be taken from an earlier call.
void PrepareHostRead(tagGPSDBHEADER& header) {
  header.size = sizeof header;
  header.kind = 0;
  header.name = nullptr;
}
void PrepareHostRead(tagGPSDBITEM& item) {
  item.size = sizeof item;
  item.kind = 0;
  item.name = nullptr;
  item.ident = nullptr;
}

void FillRoutePoint(RoutePoint& point, tagGPSDBITEM& item) {
  CopyNameToDevice(point.name, item.ident);
  // Our own copy is converted, in place; the host's data stay as they are. The conversion
  // fills the record too: it gets its size, not what the item read left there.
  item.size = sizeof item;
  TPI_ConvertDatum(&item, &item, item.datum, 0);
  point.latitude = DegreesToDevice(item.latitude);
  point.longitude = DegreesToDevice(item.longitude);
  point.altitude = AltitudeToDevice(item.altitude);
}

}  // namespace

int UploadRoutes(const DeviceApi& device) {
  tagGPSDBHEADER header{};
  header.size = sizeof header;
  tagGPSDBITEM item{};
  item.size = sizeof item;
  WatchRouteNames watchNames;
  RouteHeader route{};
  // Declared after the list so that they go first: the window, then the point array.
  std::unique_ptr<ProgressDialog> dialog = OpenProgress(kMsgUploadingRoutes);
  WorkingBuffer<RoutePoint> points;

  const int watchRouteCount = device.GetRouteCount();
  for (int number = 1; number <= watchRouteCount; ++number) {
    if (device.GetRouteHeader(number, &route) == kDeviceFailure) {
      ShowMessage(kMsgConnectionLost, kStyleExclamation);
      return 0;
    }
    TerminateDeviceName(route.name);
    watchNames.Append(route.name);
  }

  const int setCount = TPI_GetTrackCountGpsProtocol();
  dialog->SetProgress(1);

  for (int i = 0; i < setCount; ++i) {
    PrepareHostRead(header);
    TPI_GetStatGpsProtocol(i, &header);
    if (header.kind != kListRoutes) continue;

    // The name is taken now: later host calls may move the host's text.
    std::memset(&route, 0, sizeof route);
    CopyNameToDevice(route.name, header.name);

    int64_t routePoints = 0;
    for (int k = 0; k < TPI_GetItemCountGpsProtocol(i); ++k) {
      PrepareHostRead(item);
      TPI_GetItemGpsProtocol(i, k, &item);
      if (item.kind == kListRoutes) ++routePoints;
    }
    if (routePoints > INT32_MAX || !points.Allocate(static_cast<uint64_t>(routePoints))) {
      ShowMessage(kMsgOutOfMemory, kStyleExclamation);
      return 0;
    }

    // The same walk again. A host that now reports fewer route points gets the route with the
    // points actually filled; more are never written past the array.
    int32_t filled = 0;
    for (int k = 0; k < TPI_GetItemCountGpsProtocol(i); ++k) {
      PrepareHostRead(item);
      TPI_GetItemGpsProtocol(i, k, &item);
      if (item.kind != kListRoutes || filled >= routePoints) continue;
      FillRoutePoint(points[static_cast<uint64_t>(filled)], item);
      ++filled;
    }
    route.pointCount = filled;
    route.value24 = 0;

    if (IsMyPointsName(route.name)) {
      // The watch keeps its waypoint collection under this name.
      ShowComposed(kMsgCannotUploadMyPoints, route.name, kStyleExclamation);
    } else {
      Answer answer = Answer::kNotAsked;
      for (size_t p = watchNames.size(); p-- > 0;) {
        if (!EqualsCp932IgnoringCase(watchNames[p].c_str(), route.name)) continue;
        if (answer == Answer::kNo) continue;
        if (answer == Answer::kNotAsked) {
          const bool yes =
              ShowComposed(kMsgSameNameOnWatch, route.name, kStyleQuestion) == kAnswerYes;
          answer = yes ? Answer::kYes : Answer::kNo;
          if (!yes) continue;
        }
        // A failed deletion keeps its entry: the route is still on the watch at that number.
        if (device.DeleteRoute(static_cast<int>(p) + 1) != kDeviceFailure) watchNames.Remove(p);
      }
      if (device.PutRoute(route, points.data()) == kDeviceFailure) {
        ShowMessage(kMsgConnectionLost, kStyleExclamation);
        return 0;
      }
    }

    points.Release();
    dialog->SetProgress(StepPercent(i, 100, setCount));
    if (PumpAndCheckAbort(*dialog)) return 0;
  }
  return 1;
}

}  // namespace x9
