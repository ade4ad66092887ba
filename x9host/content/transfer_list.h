// The host's transfer list and GPX: seeding it from a file, reading it back as GPX, and seeing
// what a request changed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "gpx/gpx.h"
#include "host/records.h"

namespace x9host {

// Sets ready to be handed to the host simulator, with the texts they point to.
class TransferListContent {
 public:
  // A point as the varying fields of its record; every other byte is the kind's default,
  // which the seeding fills in (half the memory of a whole record).
  struct Item {
    double latitude = 0;
    double longitude = 0;
    double altitude = 0;
    double value32 = 0;
    int32_t time = 0;
    float value72 = 0;
    std::string name;  // code page 932
  };
  struct Set {
    tagGPSDBHEADER header{};
    std::string name;  // code page 932
    std::vector<Item> items;
    bool leftOffWatch = false;  // read for an upload: a route the module does not put
  };

  std::vector<Item> waypoints;  // go to set 0
  std::vector<Set> sets;        // appended after set 0
};

// Reads a GPX file into the content: waypoints into set 0, each rte as a route set (kind 3
// items, datum 0), each trk as a track set, in one pass; names converted to code page 932 (not
// cut: the module cuts what goes to the watch), a character code page 932 cannot write becoming
// '?' (with a line in warnings); times from UTC to the host's wall-clock value, by the rules every
// reader shares (value_rules.h): a time the host cannot hold is dropped, the point kept. What the
// list cannot hold is counted in the summary's dropped kinds: what the file holds beyond the
// list's fields (segment breaks, comments, ...), names changed by the conversion, times dropped,
// elevations that read as none. For an upload the route sets are also read as the module puts
// them on the watch, by the watch reader's rules: what the watch will not hold is counted in
// watchLost (the list itself keeps it). Throws InputError naming the file and line for
// everything ReadGpxFile refuses and for an x9:value72 past the host's float.
struct ListFromGpx {
  TransferListContent content;
  GpxSummary summary;    // its dropped kinds include the names changed
  GpxDropped watchLost;  // for an upload: what its routes lose on the watch
};
enum class ListUse { kDownload, kUpload };
ListFromGpx ReadTransferList(const std::string& path, std::vector<std::string>& warnings,
                             ListUse use = ListUse::kDownload);
// The same from bytes in memory (tests).
ListFromGpx TransferListFromGpxText(std::string_view bytes, const std::string& sourceName,
                                    std::vector<std::string>& warnings,
                                    ListUse use = ListUse::kDownload);

// Adds the content to the host simulator's list (after X9Host_Reset, set 0 exists), then lets
// the content's points go.
void SeedTransferList(TransferListContent& content);

struct AddedStore;

// While alive, the items the module adds go into a compact store beside the host simulator's
// list (about 60 bytes a track point instead of a full record with two texts on the heap). Every
// function below that is given it sees the list as the simulator's sets with their items
// followed by those.
class AddedItems {
 public:
  AddedItems();
  ~AddedItems();
  AddedItems(const AddedItems&) = delete;
  AddedItems& operator=(const AddedItems&) = delete;

  // Opaque outside this file's code.
  const AddedStore& Store() const { return *store_; }

 private:
  std::unique_ptr<AddedStore> store_;
};

// The transfer list now as GPX 1.1: set 0 and other waypoint sets as waypoints, route sets as
// routes, track sets as tracks, passed to the writer point by point.
void WriteTransferListGpx(GpxWriter& gpx, const AddedItems& list);

// What a request added or changed, without a copy of the list: a digest of every byte of each
// set's header and each item (texts in place of pointers).
struct ListSnapshot {
  struct Set {
    uint64_t header = 0;
    std::vector<uint64_t> items;
  };
  std::vector<Set> sets;
};
ListSnapshot TakeSnapshot(const AddedItems& list);

struct ListChanges {
  int setsAdded = 0;
  int setsChanged = 0;  // headers changed, of sets that existed before
  int itemsAdded = 0;
  int itemsChanged = 0;
  bool None() const {
    return setsAdded == 0 && setsChanged == 0 && itemsAdded == 0 && itemsChanged == 0;
  }
};
// The list now against what it was.
ListChanges ChangesSince(const ListSnapshot& before, const AddedItems& list);
std::string DescribeChanges(const ListChanges& changes);

// One line per set: index, kind, points, first and last time (the host's wall clock), name;
// in UTF-8.
std::string TransferListTable(const AddedItems& list);

}  // namespace x9host
