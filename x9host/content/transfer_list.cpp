#include "content/transfer_list.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <memory>

#include "codec/codepage.h"
#include "codec/wall_clock.h"
#include "codec/width.h"
#include "content/digest.h"
#include "content/value_rules.h"
#include "host/civil_time.h"
#include "os/input_error.h"
#include "os/message_text.h"
#include "os/messages.h"
#include "sim/host/host_sim.h"

namespace x9host {
namespace {

// Reads points into the content as the reader hands them over.
class ListConsumer final : public GpxConsumer {
 public:
  ListConsumer(const std::string& source, std::vector<std::string>& warnings, ListUse use)
      : source_(source),
        warnings_(warnings),
        upload_(use == ListUse::kUpload),
        host_(source, lost, warnings),
        watch_(source, watchLost, warnings) {}

  TransferListContent content;
  int64_t namesChanged = 0;
  int namesChangedLine = 0;  // the first's, for the refusal of an update in place
  GpxDropped lost;           // by the host's rules
  GpxDropped watchLost;      // by the watch's, for an upload

  void Waypoint(const GpxPoint& point) override {
    content.waypoints.push_back(Item(point, x9::kListWaypoints));
  }
  void StartRoute(int line) override { Start(line, x9::kListRoutes); }
  void RoutePoint(const GpxPoint& point) override {
    TransferListContent::Item item = Item(point, x9::kListRoutes);
    if (upload_) Upload(item, point);
    Open().items.push_back(std::move(item));
  }
  void StartTrack(int line) override { Start(line, x9::kListTracks); }
  void StartSegment() override {}
  void TrackPoint(const GpxPoint& point) override {
    Open().items.push_back(Item(point, x9::kListTracks));
  }
  void Name(const std::string& name) override {
    Open().name =
        Cp932(name, kind_ == x9::kListRoutes ? msg::WhatRouteName() : msg::WhatTrackName(), line_);
    given_ = name;
  }
  void End() override {
    // Routes go before tracks in the list, whatever order the file has.
    auto& sets = kind_ == x9::kListRoutes ? routes_ : tracks_;
    if (upload_ && kind_ == x9::kListRoutes) {
      // The module puts the route under its header's name, cut, unless the watch keeps its
      // waypoints under that name.
      char field[x9::kDeviceNameField];
      watch_.WatchName(field, open_.name, line_);
      open_.leftOffWatch = !watch_.WatchRoute(field, given_, line_);
    }
    sets.push_back(std::move(open_));
    open_ = {};
  }

  void Finish() {
    if (namesChanged > kNameWarningsShown)
      warnings_.push_back(MoreNamesWarning(source_, namesChanged));
    watch_.Finish();
    for (auto& set : routes_)
      content.sets.push_back(std::move(set));
    for (auto& set : tracks_)
      content.sets.push_back(std::move(set));
  }

 private:
  void Start(int line, x9::ListKind kind) {
    open_ = {};
    open_.header = x9::NewSetHeader(nullptr, kind);
    kind_ = kind;
    line_ = line;
    given_.clear();
  }
  TransferListContent::Set& Open() { return open_; }

  // what: the kind of name, in the user's language.
  std::string Cp932(const std::string& utf8, const std::string& what, int line) {
    std::vector<std::string> lines;
    std::string bytes = Cp932Name(utf8, what, source_, line, lines);
    if (!lines.empty()) {
      if (namesChanged == 0) namesChangedLine = line;
      if (++namesChanged <= kNameWarningsShown) warnings_.push_back(lines[0]);
    }
    return bytes;
  }

  // A route point as the module puts it on the watch: from the host's record, as the list
  // holds it, by the watch reader's rules.
  void Upload(const TransferListContent::Item& item, const GpxPoint& point) {
    const int line = point.line;
    GpxPoint held;
    held.line = line;
    held.written = point.written;  // the values are the point's: quoted as the file has them
    if (item.altitude != x9::NO_VALUE) held.elevation = item.altitude;
    if (item.time != x9::kHostNoTime) held.time = item.time;  // only whether there is one counts
    watch_.WatchPointTime(held);
    watch_.WatchCoordinate(item.latitude, point.written.latitude, line);
    watch_.WatchCoordinate(item.longitude, point.written.longitude, line);
    watch_.WatchAltitude(held);
    char field[x9::kDeviceNameField];
    watch_.WatchName(field, item.name, line);  // the module reads the point's ident, the same
  }

  // The point's values for a record as the module's downloads fill it.
  TransferListContent::Item Item(const GpxPoint& point, x9::ListKind kind) {
    TransferListContent::Item item;
    item.latitude = point.latitude;
    item.longitude = point.longitude;
    host_.HostCoordinates(point);
    item.altitude = host_.HostAltitude(point);
    item.time = host_.HostTime(point);
    if (kind == x9::kListTracks) {
      host_.TrackValuesNone(point);
      item.value32 = point.value32.value_or(0.0);
      item.value72 = host_.HostValue72(point);
    }
    item.name = Cp932(point.name, pointName_, point.line);
    return item;
  }

  std::string source_;
  std::vector<std::string>& warnings_;
  const std::string pointName_ = msg::WhatPointName();  // once, not for every point
  bool upload_;
  ValueRules host_;
  ValueRules watch_;
  TransferListContent::Set open_;
  std::string given_;  // the open set's name as the file has it
  x9::ListKind kind_ = x9::kListRoutes;
  int line_ = 0;
  std::vector<TransferListContent::Set> routes_, tracks_;
};

template <typename Read>
ListFromGpx ReadWith(Read read, const std::string& source, std::vector<std::string>& warnings,
                     ListUse use) {
  ListConsumer consumer(source, warnings, use);
  ListFromGpx result;
  result.summary = read(consumer);
  consumer.Finish();
  result.summary.dropped.Merge(consumer.lost);
  if (consumer.namesChanged > 0)
    result.summary.dropped.Add(GpxDropped::kNamesChanged, consumer.namesChangedLine, "",
                               consumer.namesChanged);
  result.watchLost = std::move(consumer.watchLost);
  result.content = std::move(consumer.content);
  return result;
}

// --- The items the module adds, kept compactly ----------------------------------------------

// An added item as the fields that vary from point to point; every other byte is the set's
// first item's (checked, else the item is kept whole).
struct CompactItem {
  double latitude;
  double longitude;
  double altitude;
  double value32;
  int32_t time;
  float value72;
  uint32_t name;  // texts in the arena; kNoText for a null pointer
  uint32_t ident;
};
constexpr uint32_t kNoText = 0xFFFFFFFF;

// The record's bytes that do not vary, pointers cleared.
tagGPSDBITEM FixedPart(const tagGPSDBITEM& item) {
  tagGPSDBITEM fixed;
  std::memcpy(&fixed, &item, sizeof fixed);
  fixed.name = nullptr;
  fixed.ident = nullptr;
  fixed.latitude = fixed.longitude = fixed.altitude = fixed.value32 = 0;
  fixed.time = 0;
  fixed.value72 = 0;
  return fixed;
}

class CompactStore {
 public:
  // Texts in blocks that never move; an id is the offset in the blocks taken together.
  uint32_t AddText(const char* text) {
    if (text == nullptr) return kNoText;
    const size_t size = std::strlen(text) + 1;
    if (size > kBlock) return kNoText - 1;  // marks "kept whole" to the caller
    if (blocks_.empty() || used_ + size > kBlock) {
      blocks_.push_back(std::make_unique<char[]>(kBlock));
      used_ = 0;
    }
    std::memcpy(blocks_.back().get() + used_, text, size);
    const uint64_t id = (blocks_.size() - 1) * kBlock + used_;
    used_ += size;
    return id >= kNoText - 1 ? kNoText - 1 : static_cast<uint32_t>(id);
  }
  const char* Text(uint32_t id) const {
    if (id == kNoText) return nullptr;
    return blocks_[id / kBlock].get() + id % kBlock;
  }

 private:
  static constexpr size_t kBlock = 1 << 20;
  std::vector<std::unique_ptr<char[]>> blocks_;
  size_t used_ = 0;
};

struct WholeItem {
  size_t index;
  tagGPSDBITEM record;
  std::unique_ptr<std::string> name, ident;  // null for a null pointer
};

struct AddedSet {
  bool hasFixed = false;
  tagGPSDBITEM fixed{};
  std::vector<std::unique_ptr<CompactItem[]>> chunks;
  size_t count = 0;
  std::vector<WholeItem> whole;  // by index, rising
};

constexpr size_t kChunk = 4096;

}  // namespace

// What the module added, kept compactly beside the host simulator's own items.
struct AddedStore {
  CompactStore texts;
  std::vector<AddedSet> sets;  // by set index

  AddedSet& Set(int index) {
    if (sets.size() <= static_cast<size_t>(index)) sets.resize(static_cast<size_t>(index) + 1);
    return sets[static_cast<size_t>(index)];
  }

  void Add(int setIndex, const tagGPSDBITEM& item) {
    AddedSet& set = Set(setIndex);
    const tagGPSDBITEM fixed = FixedPart(item);
    if (!set.hasFixed) {
      set.fixed = fixed;
      set.hasFixed = true;
    }
    CompactItem compact{item.latitude, item.longitude, item.altitude, item.value32,
                        item.time,     item.value72,   kNoText,       kNoText};
    bool whole = std::memcmp(&fixed, &set.fixed, sizeof fixed) != 0;
    if (!whole) {
      compact.name = texts.AddText(item.name);
      compact.ident = texts.AddText(item.ident);
      whole = compact.name == kNoText - 1 || compact.ident == kNoText - 1;
    }
    if (whole) {
      WholeItem& kept = set.whole.emplace_back();
      kept.index = set.count;
      std::memcpy(&kept.record, &item, sizeof item);
      if (item.name != nullptr) kept.name = std::make_unique<std::string>(item.name);
      if (item.ident != nullptr) kept.ident = std::make_unique<std::string>(item.ident);
    }
    if (set.count % kChunk == 0) set.chunks.push_back(std::make_unique<CompactItem[]>(kChunk));
    set.chunks.back()[set.count % kChunk] = compact;
    ++set.count;
  }

  size_t Count(int setIndex) const {
    return static_cast<size_t>(setIndex) < sets.size() ? sets[static_cast<size_t>(setIndex)].count
                                                       : 0;
  }

  tagGPSDBITEM Item(int setIndex, size_t index) const {
    const AddedSet& set = sets[static_cast<size_t>(setIndex)];
    // The few kept whole, found by halving.
    size_t low = 0, high = set.whole.size();
    while (low < high) {
      const size_t middle = (low + high) / 2;
      if (set.whole[middle].index < index) {
        low = middle + 1;
      } else {
        high = middle;
      }
    }
    tagGPSDBITEM out;
    if (low < set.whole.size() && set.whole[low].index == index) {
      const WholeItem& kept = set.whole[low];
      std::memcpy(&out, &kept.record, sizeof out);
      out.name = kept.name ? kept.name->c_str() : nullptr;
      out.ident = kept.ident ? kept.ident->c_str() : nullptr;
      return out;
    }
    const CompactItem& compact = set.chunks[index / kChunk][index % kChunk];
    out = set.fixed;
    out.latitude = compact.latitude;
    out.longitude = compact.longitude;
    out.altitude = compact.altitude;
    out.value32 = compact.value32;
    out.time = compact.time;
    out.value72 = compact.value72;
    out.name = texts.Text(compact.name);
    out.ident = texts.Text(compact.ident);
    return out;
  }
};

namespace {

int CollectItem(int setIndex, const tagGPSDBITEM* item, void* context) {
  // The host's answer for an item it cannot add.
  if (item == nullptr || X9Host_GetSet(setIndex) == nullptr) return 0;
  static_cast<AddedStore*>(context)->Add(setIndex, *item);
  return 1;
}

// The list as the host simulator's sets, each with its own items then those added here.
int SetCount() { return X9Host_GetSetCount(); }
size_t ItemCount(const AddedStore& added, int set) {
  return static_cast<size_t>(X9Host_ItemCount(set)) + added.Count(set);
}
tagGPSDBITEM ItemAt(const AddedStore& added, int set, size_t index) {
  const auto own = static_cast<size_t>(X9Host_ItemCount(set));
  if (index < own) return *X9Host_Item(set, static_cast<int>(index));
  return added.Item(set, index - own);
}

std::string Utf8Name(const char* cp932) {
  return cp932 == nullptr ? std::string() : Utf8FromCp932(cp932);
}

GpxPoint PointFromItem(const tagGPSDBITEM& item) {
  GpxPoint point;
  point.latitude = item.latitude;
  point.longitude = item.longitude;
  if (std::isfinite(item.altitude) && item.altitude != x9::NO_VALUE)
    point.elevation = item.altitude;
  // A wall clock that reads back outside the module's range is its stand-in for a time it could
  // not hand over: no time, and so on every build (some C libraries have no time before 1970).
  if (item.time != x9::kHostNoTime && x9::WallClockInHostRange(item.time))
    point.time = UtcFromLocal(CivilFromSeconds(item.time));
  point.name = Utf8Name(item.name != nullptr ? item.name : item.ident);
  if (item.kind == x9::kListTracks) {
    if (item.value32 != 0 && std::isfinite(item.value32)) point.value32 = item.value32;
    if (item.value72 != 0 && std::isfinite(item.value72)) point.value72 = double{item.value72};
  }
  return point;
}

uint64_t HeaderDigest(int set) {
  tagGPSDBHEADER header = *X9Host_GetSet(set);
  Digest digest;
  digest.AddText(header.name);
  header.name = nullptr;
  digest.Add(&header, sizeof header);
  return digest.Value();
}

uint64_t ItemDigest(tagGPSDBITEM item) {
  Digest digest;
  digest.AddText(item.name);
  digest.AddText(item.ident);
  item.name = nullptr;
  item.ident = nullptr;
  digest.Add(&item, sizeof item);
  return digest.Value();
}

}  // namespace

ListFromGpx ReadTransferList(const std::string& path, std::vector<std::string>& warnings,
                             ListUse use) {
  return ReadWith([&](GpxConsumer& consumer) { return ReadGpxFile(path, consumer); }, path,
                  warnings, use);
}

ListFromGpx TransferListFromGpxText(std::string_view bytes, const std::string& sourceName,
                                    std::vector<std::string>& warnings, ListUse use) {
  return ReadWith([&](GpxConsumer& consumer) { return ReadGpx(bytes, sourceName, consumer); },
                  sourceName, warnings, use);
}

void SeedTransferList(TransferListContent& content) {
  const auto add = [](int setIndex, x9::ListKind kind, const TransferListContent::Item& item) {
    tagGPSDBITEM record = x9::NewItem(kind);
    record.latitude = item.latitude;
    record.longitude = item.longitude;
    record.altitude = item.altitude;
    record.time = item.time;
    if (kind == x9::kListTracks) {
      record.value32 = item.value32;
      record.value72 = item.value72;
    }
    record.name = item.name.c_str();
    // Route points and waypoints carry their name twice, as the module's downloads do; the
    // upload reads it from ident.
    record.ident = kind == x9::kListTracks ? nullptr : item.name.c_str();
    X9Host_AddItem(setIndex, &record);
  };
  if (!content.waypoints.empty()) {
    tagGPSDBHEADER header = *X9Host_GetSet(0);
    for (const auto& item : content.waypoints)
      add(0, x9::kListWaypoints, item);
    header.itemCount = static_cast<int32_t>(content.waypoints.size());
    TPI_SetStatGpsProtocol(0, &header);
  }
  for (auto& set : content.sets) {
    tagGPSDBHEADER header = set.header;
    header.name = set.name.c_str();
    header.itemCount = static_cast<int32_t>(set.items.size());
    const int index = X9Host_AddSet(&header);
    for (const auto& item : set.items)
      add(index, static_cast<x9::ListKind>(set.header.kind), item);
    // The host holds its own copy now.
    std::vector<TransferListContent::Item>().swap(set.items);
  }
  std::vector<TransferListContent::Item>().swap(content.waypoints);
  X9Host_ClearLog();  // the seeding is not part of the request
}

AddedItems::AddedItems() : store_(std::make_unique<AddedStore>()) {
  X9Host_SetItemSink(&CollectItem, store_.get());
}

AddedItems::~AddedItems() { X9Host_SetItemSink(nullptr, nullptr); }

void WriteTransferListGpx(GpxWriter& gpx, const AddedItems& list) {
  const AddedStore& added = list.Store();
  // Waypoints, routes, tracks: the schema's order, whatever the list's.
  for (int set = 0; set < SetCount(); ++set) {
    const tagGPSDBHEADER& header = *X9Host_GetSet(set);
    if (set != 0 && header.kind != x9::kListWaypoints) continue;
    for (size_t i = 0; i < ItemCount(added, set); ++i)
      gpx.Waypoint(PointFromItem(ItemAt(added, set, i)));
  }
  for (const x9::ListKind kind : {x9::kListRoutes, x9::kListTracks}) {
    for (int set = 1; set < SetCount(); ++set) {
      const tagGPSDBHEADER& header = *X9Host_GetSet(set);
      if (header.kind != kind) continue;
      const std::string name = Utf8Name(header.name);
      if (kind == x9::kListRoutes) {
        gpx.StartRoute(name);
      } else {
        gpx.StartTrack(name);
        gpx.StartSegment();
      }
      for (size_t i = 0; i < ItemCount(added, set); ++i) {
        const GpxPoint point = PointFromItem(ItemAt(added, set, i));
        if (kind == x9::kListRoutes) {
          gpx.RoutePoint(point);
        } else {
          gpx.TrackPoint(point);
        }
      }
      gpx.End();
    }
  }
}

ListSnapshot TakeSnapshot(const AddedItems& list) {
  const AddedStore& added = list.Store();
  ListSnapshot snapshot;
  for (int set = 0; set < SetCount(); ++set) {
    auto& out = snapshot.sets.emplace_back();
    out.header = HeaderDigest(set);
    out.items.reserve(ItemCount(added, set));
    for (size_t i = 0; i < ItemCount(added, set); ++i)
      out.items.push_back(ItemDigest(ItemAt(added, set, i)));
  }
  return snapshot;
}

ListChanges ChangesSince(const ListSnapshot& before, const AddedItems& list) {
  const AddedStore& added = list.Store();
  ListChanges changes;
  for (int set = 0; set < SetCount(); ++set) {
    const size_t count = ItemCount(added, set);
    if (static_cast<size_t>(set) >= before.sets.size()) {
      ++changes.setsAdded;
      changes.itemsAdded += static_cast<int>(count);
      continue;
    }
    const auto& was = before.sets[static_cast<size_t>(set)];
    if (HeaderDigest(set) != was.header) ++changes.setsChanged;
    for (size_t i = 0; i < count; ++i) {
      if (i >= was.items.size()) {
        ++changes.itemsAdded;
      } else if (ItemDigest(ItemAt(added, set, i)) != was.items[i]) {
        ++changes.itemsChanged;
      }
    }
  }
  return changes;
}

std::string DescribeChanges(const ListChanges& changes) {
  if (changes.None()) return msg::ListUnchanged();
  return msg::ListChanges(changes.setsAdded, changes.setsChanged, changes.itemsAdded,
                          changes.itemsChanged);
}

std::string TransferListTable(const AddedItems& list) {
  const AddedStore& added = list.Store();
  // Each column as wide as its heading and its widest word, in columns of the terminal, so
  // that the rows line up in either language; numbers to the right.
  const std::string track = msg::SetKindTrack(), route = msg::SetKindRoute(),
                    waypoints = msg::SetKindWaypoints();
  const std::string headings[] = {msg::ColumnSet(),      msg::ColumnKind(),
                                  msg::ColumnPoints(),   msg::ColumnFirstTime(),
                                  msg::ColumnLastTime(), msg::ColumnName()};
  size_t widths[] = {3, 9, 6, 19, 19};
  for (size_t i = 0; i < std::size(widths); ++i)
    widths[i] = std::max(widths[i], DisplayWidth(headings[i]));
  for (const std::string* word : {&track, &route, &waypoints})
    widths[1] = std::max(widths[1], DisplayWidth(*word));
  const auto row = [&](const std::string& set, const std::string& kind, const std::string& points,
                       const std::string& first, const std::string& last, const std::string& name) {
    std::string out = PadLeftToWidth(set, widths[0]) + "  " + PadToWidth(kind, widths[1]) + "  " +
                      PadLeftToWidth(points, widths[2]) + "  " + PadToWidth(first, widths[3]) +
                      "  " + PadToWidth(last, widths[4]) + "  " + name;
    while (!out.empty() && out.back() == ' ')
      out.pop_back();
    return out + '\n';
  };
  std::string out =
      row(headings[0], headings[1], headings[2], headings[3], headings[4], headings[5]);
  for (int set = 0; set < SetCount(); ++set) {
    const tagGPSDBHEADER& header = *X9Host_GetSet(set);
    const auto count = static_cast<int>(ItemCount(added, set));
    const std::string& kind = header.kind == x9::kListTracks      ? track
                              : header.kind == x9::kListWaypoints ? waypoints
                              : header.kind == x9::kListRoutes    ? route
                                                                  : std::string("?");
    const auto timeOf = [&](int item) -> std::string {
      if (item < 0 || item >= count) return "-";
      const int32_t time = ItemAt(added, set, static_cast<size_t>(item)).time;
      // The module's stand-in for a time it could not hand over is no time, as in the GPX.
      return time == x9::kHostNoTime || !x9::WallClockInHostRange(time)
                 ? "-"
                 : FormatCivil(CivilFromSeconds(time));
    };
    // A name is shown on its row whatever it holds: control characters escaped.
    out += row(std::to_string(set), kind, std::to_string(count), timeOf(0), timeOf(count - 1),
               os::OneLine(Utf8Name(header.name)));
  }
  return out;
}

}  // namespace x9host
