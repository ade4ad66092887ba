#include "transfer_list.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "codepage.h"
#include "host/host_sim.h"
#include "input_error.h"
#include "wall_clock.h"

namespace x9host {
namespace {

class Converter {
 public:
  Converter(const std::string& source, std::vector<std::string>& warnings)
      : source_(source), warnings_(warnings) {}

  std::string Name(const std::string& utf8, const char* what, int line) const {
    return Cp932Name(utf8, what, source_, line, warnings_);
  }

  int32_t HostTime(const GpxPoint& point) const {
    if (!point.time) return 0;  // the host's "no time"
    const std::optional<int32_t> wall = HostWallClock(*point.time);
    if (!wall) {
      throw InputError(source_ + ": line " + std::to_string(point.line) + ": " +
                       HostTimeRefusal(*point.time));
    }
    return *wall;
  }

  // The record as the module's downloads fill it, with the point's values.
  TransferListContent::Item Item(const GpxPoint& point, x9::ListKind kind) const {
    TransferListContent::Item item;
    tagGPSDBITEM& r = item.record;
    r = x9::NewItem(kind);
    r.latitude = point.latitude;
    r.longitude = point.longitude;
    r.altitude = point.elevation ? *point.elevation : x9::NO_VALUE;
    r.time = HostTime(point);
    if (kind == x9::kListTracks) {
      r.value32 = point.value32.value_or(0.0);
      r.value72 = point.value72.value_or(0.0f);
    }
    item.name = Name(point.name, "point name", point.line);
    return item;
  }

 private:
  std::string source_;
  std::vector<std::string>& warnings_;
};

std::string Utf8Name(const char* cp932) {
  return cp932 == nullptr ? std::string() : Utf8FromCp932(cp932);
}

GpxPoint PointFromItem(const tagGPSDBITEM& item) {
  GpxPoint point;
  point.latitude = item.latitude;
  point.longitude = item.longitude;
  if (std::isfinite(item.altitude) && item.altitude != x9::NO_VALUE)
    point.elevation = item.altitude;
  if (item.time != 0) point.time = UtcFromLocal(CivilFromSeconds(item.time));
  point.name = Utf8Name(item.name != nullptr ? item.name : item.ident);
  if (item.kind == x9::kListTracks) {
    if (item.value32 != 0 && std::isfinite(item.value32)) point.value32 = item.value32;
    if (item.value72 != 0 && std::isfinite(item.value72)) point.value72 = item.value72;
  }
  return point;
}

std::string Bytes(const void* record, size_t size) {
  return std::string(static_cast<const char*>(record), size);
}

std::string Text(const char* text) {
  return text == nullptr ? std::string("\xFF-null") : std::string(text);
}

}  // namespace

TransferListContent TransferListFromGpx(const GpxDocument& document, const std::string& sourceName,
                                        std::vector<std::string>& warnings) {
  const Converter convert(sourceName, warnings);
  TransferListContent content;
  for (const GpxPoint& point : document.waypoints) {
    content.waypoints.push_back(convert.Item(point, x9::kListWaypoints));
  }
  for (const GpxRoute& route : document.routes) {
    auto& set = content.sets.emplace_back();
    set.header = x9::NewSetHeader(nullptr, x9::kListRoutes);
    set.name = convert.Name(route.name, "route name", route.line);
    for (const GpxPoint& point : route.points)
      set.items.push_back(convert.Item(point, x9::kListRoutes));
  }
  for (const GpxTrack& track : document.tracks) {
    auto& set = content.sets.emplace_back();
    set.header = x9::NewSetHeader(nullptr, x9::kListTracks);
    set.name = convert.Name(track.name, "track name", track.line);
    for (const auto& segment : track.segments) {
      for (const GpxPoint& point : segment)
        set.items.push_back(convert.Item(point, x9::kListTracks));
    }
  }
  return content;
}

void SeedTransferList(const TransferListContent& content) {
  const auto add = [](int setIndex, const TransferListContent::Item& item) {
    tagGPSDBITEM record = item.record;
    record.name = item.name.c_str();
    // Route points and waypoints carry their name twice, as the module's downloads do; the
    // upload reads it from ident.
    record.ident = record.kind == x9::kListTracks ? nullptr : item.name.c_str();
    X9Host_AddItem(setIndex, &record);
  };
  if (!content.waypoints.empty()) {
    tagGPSDBHEADER header = *X9Host_Set(0);
    for (const auto& item : content.waypoints)
      add(0, item);
    header.itemCount = static_cast<int32_t>(content.waypoints.size());
    TPI_SetStatGpsProtocol(0, &header);
  }
  for (const auto& set : content.sets) {
    tagGPSDBHEADER header = set.header;
    header.name = set.name.c_str();
    header.itemCount = static_cast<int32_t>(set.items.size());
    const int index = X9Host_AddSet(&header);
    for (const auto& item : set.items)
      add(index, item);
  }
  X9Host_ClearLog();  // the seeding is not part of the request
}

GpxDocument GpxFromTransferList() {
  GpxDocument document;
  for (int set = 0; set < X9Host_SetCount(); ++set) {
    const tagGPSDBHEADER& header = *X9Host_Set(set);
    const int count = X9Host_ItemCount(set);
    if (set == 0 || header.kind == x9::kListWaypoints) {
      for (int i = 0; i < count; ++i)
        document.waypoints.push_back(PointFromItem(*X9Host_Item(set, i)));
    } else if (header.kind == x9::kListRoutes) {
      GpxRoute& route = document.routes.emplace_back();
      route.name = Utf8Name(header.name);
      for (int i = 0; i < count; ++i)
        route.points.push_back(PointFromItem(*X9Host_Item(set, i)));
    } else if (header.kind == x9::kListTracks) {
      GpxTrack& track = document.tracks.emplace_back();
      track.name = Utf8Name(header.name);
      auto& segment = track.segments.emplace_back();
      for (int i = 0; i < count; ++i)
        segment.push_back(PointFromItem(*X9Host_Item(set, i)));
    }
  }
  return document;
}

ListSnapshot TakeSnapshot() {
  ListSnapshot snapshot;
  for (int set = 0; set < X9Host_SetCount(); ++set) {
    tagGPSDBHEADER header = *X9Host_Set(set);
    const std::string name = Text(header.name);
    header.name = nullptr;
    auto& out = snapshot.sets.emplace_back();
    out.header = Bytes(&header, sizeof header) + name;
    for (int i = 0; i < X9Host_ItemCount(set); ++i) {
      tagGPSDBITEM item = *X9Host_Item(set, i);
      const std::string texts = Text(item.name) + '\0' + Text(item.ident);
      item.name = nullptr;
      item.ident = nullptr;
      out.items.push_back(Bytes(&item, sizeof item) + texts);
    }
  }
  return snapshot;
}

ListChanges CompareSnapshots(const ListSnapshot& before, const ListSnapshot& after) {
  ListChanges changes;
  for (size_t set = 0; set < after.sets.size(); ++set) {
    const auto& now = after.sets[set];
    if (set >= before.sets.size()) {
      ++changes.setsAdded;
      changes.itemsAdded += static_cast<int>(now.items.size());
      continue;
    }
    const auto& was = before.sets[set];
    if (now.header != was.header) ++changes.setsChanged;
    for (size_t i = 0; i < now.items.size(); ++i) {
      if (i >= was.items.size()) {
        ++changes.itemsAdded;
      } else if (now.items[i] != was.items[i]) {
        ++changes.itemsChanged;
      }
    }
  }
  return changes;
}

std::string DescribeChanges(const ListChanges& changes) {
  if (changes.None()) return "transfer list: nothing added or changed";
  const auto count = [](int n, const char* one, const char* many) {
    return std::to_string(n) + ' ' + (n == 1 ? one : many);
  };
  return "transfer list: " + count(changes.setsAdded, "set", "sets") + " added, " +
         std::to_string(changes.setsChanged) + " changed; " +
         count(changes.itemsAdded, "item", "items") + " added, " +
         std::to_string(changes.itemsChanged) + " changed";
}

std::string TransferListTable() {
  std::string out = "set  kind       points  first time           last time            name\n";
  for (int set = 0; set < X9Host_SetCount(); ++set) {
    const tagGPSDBHEADER& header = *X9Host_Set(set);
    const int count = X9Host_ItemCount(set);
    const char* kind = header.kind == x9::kListTracks      ? "track"
                       : header.kind == x9::kListWaypoints ? "waypoints"
                       : header.kind == x9::kListRoutes    ? "route"
                                                           : "?";
    const auto timeOf = [&](int item) -> std::string {
      if (item < 0 || item >= count) return "-";
      const int32_t time = X9Host_Item(set, item)->time;
      return time == 0 ? "-" : FormatCivil(CivilFromSeconds(time));
    };
    char line[160];
    std::snprintf(line, sizeof line, "%3d  %-9s  %6d  %-19s  %-19s  ", set, kind, count,
                  timeOf(0).c_str(), timeOf(count - 1).c_str());
    std::string row = line + Utf8Name(header.name);
    while (!row.empty() && row.back() == ' ')
      row.pop_back();
    out += row + '\n';
  }
  return out;
}

}  // namespace x9host
