// Records exchanged with the host. Layouts are the host's 32-bit ones; the Windows build pins
// every size and offset. A 64-bit build keeps field order and types, with 8-byte pointers.
//
// Field names: `valueNN` is a field the host defines and reads, into which the module only
// writes a fixed value (NN is its byte offset in the 32-bit layout); `reservedNN` are bytes that
// nobody assigns, zero in every record the module builds. (The watch's records call the bytes
// only its library knows `opaqueNN`.)
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/civil_time.h"

// Data-set header (32 bytes in the host's layout).
struct tagGPSDBHEADER {
  int32_t size;       // 0: sizeof, set before every host call
  const char* name;   // 4: set name, Shift-JIS
  int32_t value8;     // 8: kSetValue8
  int32_t itemCount;  // 12
  uint8_t value16;    // 16: kSetValue16
  uint8_t kind;       // 17: ListKind
  uint8_t reserved18[2];
  int32_t value20;  // 20: kSetValue20
  int32_t value24;  // 24: kSetValue24
  int32_t value28;  // 28: kSetValue28
};

// One point of a data set (96 bytes in the host's layout).
struct tagGPSDBITEM {
  int32_t size;      // 0
  const char* name;  // 4
  double latitude;   // 8: degrees
  double longitude;  // 16: degrees
  double altitude;   // 24: metres
  double value32;    // 32: track value x 10, else NO_VALUE
  double value40;    // 40: NO_VALUE_2
  int32_t time;      // 48: seconds, wall clock
  uint8_t kind;      // 52
  uint8_t datum;     // 53: 0 = the watch's datum
  uint8_t reserved54[2];
  int32_t value56;    // 56: kItemValue56
  int32_t value60;    // 60: kItemValue60
  const char* ident;  // 64
  int32_t value68;    // 68: 0
  float value72;      // 72: track value, single precision
  int32_t value76;    // 76: 0
  uint8_t reserved80[12];
  int16_t value92;  // 92: kTrackItemValue92 / kOtherItemValue92
  uint8_t reserved94[2];
};

// The protocol description handed to TPI_AddGpsProtocol (72 bytes).
struct tagGPSPROTOCOLINFO {
  uint32_t size;        // 0: 72
  char mode[8];         // 4: "NORMAL  ", no terminator
  uint32_t values[15];  // 12 .. 68: the host's parameters
};

// The identification record filled by Init (280 bytes).
struct PluginInfo {
  uint32_t size;      // 0: 280
  char name[80];      // 4
  char version[30];   // 84
  char notice[162];   // 114
  uint32_t value276;  // 276: 0
};

namespace x9 {

enum ListKind : uint8_t { kListTracks = 1, kListWaypoints = 2, kListRoutes = 3 };

inline constexpr double NO_VALUE = -9999.0;
inline constexpr double NO_VALUE_2 = -9999.9;

// The fixed values of the records the module builds, written here once.
inline constexpr int32_t kSetValue8 = 1;
inline constexpr uint8_t kSetValue16 = 0;
inline constexpr int32_t kSetValue20 = 255;
inline constexpr int32_t kSetValue24 = 2;
inline constexpr int32_t kSetValue28 = 1;
inline constexpr int32_t kItemValue56 = 1;
inline constexpr int32_t kItemValue60 = 901001;
inline constexpr int16_t kTrackItemValue92 = 2;
inline constexpr int16_t kOtherItemValue92 = 0;

// Gives a set header its fixed values, name and kind; size, itemCount and the reserved bytes are
// the caller's (the waypoint set's header keeps what the host delivered there).
inline void SetHeaderDefaults(tagGPSDBHEADER& header, const char* name, ListKind kind) {
  header.name = name;
  header.value8 = kSetValue8;
  header.value16 = kSetValue16;
  header.kind = kind;
  header.value20 = kSetValue20;
  header.value24 = kSetValue24;
  header.value28 = kSetValue28;
}

// A new set (a track or a route) as handed to TPI_AddDataTrackGpsProtocol: no items yet.
inline tagGPSDBHEADER NewSetHeader(const char* name, ListKind kind) {
  tagGPSDBHEADER header{};
  header.size = sizeof header;
  header.itemCount = 0;
  SetHeaderDefaults(header, name, kind);
  return header;
}

// A new item of the given kind with every fixed value set and nothing of a point yet: no name,
// no position, no time. A track point's extra values start at 0, a route point's or waypoint's
// at "no value", as they stay.
inline tagGPSDBITEM NewItem(ListKind kind) {
  tagGPSDBITEM item{};
  item.size = sizeof item;
  item.name = nullptr;
  item.value32 = kind == kListTracks ? 0.0 : NO_VALUE;
  item.value40 = NO_VALUE_2;
  item.time = kHostNoTime;
  item.kind = kind;
  item.datum = 0;
  item.value56 = kItemValue56;
  item.value60 = kItemValue60;
  item.ident = nullptr;
  item.value68 = 0;
  item.value72 = 0.0f;
  item.value76 = 0;
  item.value92 = kind == kListTracks ? kTrackItemValue92 : kOtherItemValue92;
  return item;
}

}  // namespace x9

static_assert(sizeof(tagGPSPROTOCOLINFO) == 72);
static_assert(offsetof(tagGPSPROTOCOLINFO, values) == 12);
static_assert(sizeof(PluginInfo) == 280);
static_assert(offsetof(PluginInfo, version) == 84);
static_assert(offsetof(PluginInfo, notice) == 114);
static_assert(offsetof(PluginInfo, value276) == 276);

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(tagGPSDBHEADER) == 32);
static_assert(offsetof(tagGPSDBHEADER, name) == 4);
static_assert(offsetof(tagGPSDBHEADER, itemCount) == 12);
static_assert(offsetof(tagGPSDBHEADER, kind) == 17);
static_assert(offsetof(tagGPSDBHEADER, value20) == 20);
static_assert(offsetof(tagGPSDBHEADER, value28) == 28);
static_assert(sizeof(tagGPSDBITEM) == 96);
static_assert(offsetof(tagGPSDBITEM, name) == 4);
static_assert(offsetof(tagGPSDBITEM, latitude) == 8);
static_assert(offsetof(tagGPSDBITEM, longitude) == 16);
static_assert(offsetof(tagGPSDBITEM, altitude) == 24);
static_assert(offsetof(tagGPSDBITEM, value32) == 32);
static_assert(offsetof(tagGPSDBITEM, value40) == 40);
static_assert(offsetof(tagGPSDBITEM, time) == 48);
static_assert(offsetof(tagGPSDBITEM, kind) == 52);
static_assert(offsetof(tagGPSDBITEM, datum) == 53);
static_assert(offsetof(tagGPSDBITEM, value56) == 56);
static_assert(offsetof(tagGPSDBITEM, value60) == 60);
static_assert(offsetof(tagGPSDBITEM, ident) == 64);
static_assert(offsetof(tagGPSDBITEM, value68) == 68);
static_assert(offsetof(tagGPSDBITEM, value72) == 72);
static_assert(offsetof(tagGPSDBITEM, value76) == 76);
static_assert(offsetof(tagGPSDBITEM, reserved80) == 80);
static_assert(offsetof(tagGPSDBITEM, value92) == 92);
#endif
