// The host's transfer list and GPX: seeding it from a file, reading it back as GPX, and seeing
// what a request changed.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "gpx.h"
#include "host/records.h"

namespace x9host {

// Sets ready to be handed to the host simulator, with the texts they point to.
class TransferListContent {
 public:
  struct Item {
    tagGPSDBITEM record{};
    std::string name;  // code page 932
  };
  struct Set {
    tagGPSDBHEADER header{};
    std::string name;  // code page 932
    std::vector<Item> items;
  };

  std::vector<Item> waypoints;  // go to set 0
  std::vector<Set> sets;        // appended after set 0
};

// Waypoints into set 0, each rte as a route set (kind 3 items, datum 0), each trk as a track
// set; names converted to code page 932 (not cut: the module cuts what goes to the watch), a
// character code page 932 cannot write becoming '?' (with a line in warnings); times from UTC
// to the host's wall-clock value. Throws InputError naming the source and line for a time the
// host cannot hold.
TransferListContent TransferListFromGpx(const GpxDocument& document, const std::string& sourceName,
                                        std::vector<std::string>& warnings);

// Adds the content to the host simulator's list (after X9Host_Reset, set 0 exists).
void SeedTransferList(const TransferListContent& content);

// The transfer list now: set 0 as waypoints, route sets as routes, track sets as tracks.
GpxDocument GpxFromTransferList();

// Every byte of every set and item, to tell what a request added or changed.
struct ListSnapshot {
  struct Set {
    std::string header;
    std::vector<std::string> items;
  };
  std::vector<Set> sets;
};
ListSnapshot TakeSnapshot();

struct ListChanges {
  int setsAdded = 0;
  int setsChanged = 0;  // headers changed, of sets that existed before
  int itemsAdded = 0;
  int itemsChanged = 0;
  bool None() const {
    return setsAdded == 0 && setsChanged == 0 && itemsAdded == 0 && itemsChanged == 0;
  }
};
ListChanges CompareSnapshots(const ListSnapshot& before, const ListSnapshot& after);
std::string DescribeChanges(const ListChanges& changes);

// One line per set: index, kind, points, first and last time (the host's wall clock), name;
// in UTF-8.
std::string TransferListTable();

}  // namespace x9host
