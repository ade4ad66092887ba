// Control interface of the host simulator (PluginIf.dll / libPluginIf.so). Besides the 14 TPI_*
// services it keeps an in-memory transfer list that tests and x9host seed and inspect here.
// Plain C types only: the library may be built with its own copy of the C++ runtime.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "host/records.h"
#include "host/tpi.h"
#include "platform/abi.h"

#if defined(X9_BUILDING_HOST_SIM)
#define X9_HOST_API X9_EXPORT
#elif defined(_WIN32)
#define X9_HOST_API __declspec(dllimport)
#else
#define X9_HOST_API
#endif

extern "C" {

// Empty transfer list with set 0 (the waypoint set: kind 2, empty name, no items), version
// 9000, plug-in directory "", no registered protocol, empty logs, no hooks, every fault off.
X9_HOST_API void X9Host_Reset(void);

X9_HOST_API void X9Host_SetVersion(int version);
// Copies size bytes (at most 260) into what TPI_GetPluginDir writes; size 260 without a zero
// lets a test hand over an unterminated directory.
X9_HOST_API void X9Host_SetPluginDirBytes(const char* bytes, size_t size);
X9_HOST_API void X9Host_SetPluginDir(const char* directory);  // zero-terminated

// The transfer list. Seeding copies the records and their texts, as TPI_Add* do, without
// logging a call. Pointers returned stay valid until the list next changes. A header is kept as
// handed over: its itemCount is the caller's, not the number of items (which
// TPI_GetItemCountGpsProtocol and X9Host_ItemCount give).
X9_HOST_API int X9Host_GetSetCount(void);
X9_HOST_API int X9Host_AddSet(const tagGPSDBHEADER* header);  // returns the new index
// Returns the new item's index, or -1 for a set that does not exist.
X9_HOST_API int X9Host_AddItem(int setIndex, const tagGPSDBITEM* item);
X9_HOST_API const tagGPSDBHEADER* X9Host_GetSet(int setIndex);  // null when out of range
X9_HOST_API int X9Host_ItemCount(int setIndex);                 // -1 when out of range
X9_HOST_API const tagGPSDBITEM* X9Host_Item(int setIndex, int itemIndex);

// Every byte the host holds (records with texts in place of pointers, bytes 18-19 and all the
// unassigned item bytes included), for byte-for-byte before/after comparisons.
X9_HOST_API size_t X9Host_Dump(char* buffer, size_t capacity);  // returns the size needed

// The protocol registered last by TPI_AddGpsProtocol (null callback, name and info before Load).
X9_HOST_API TransferCallbackFn X9Host_Callback(void);
X9_HOST_API const char* X9Host_ProtocolName(void);
X9_HOST_API const tagGPSPROTOCOLINFO* X9Host_ProtocolInfo(void);  // the bytes as handed over
X9_HOST_API unsigned X9Host_ProtocolPluginId(void);

// One line per TPI_* call, "name arg,arg" (e.g. "TPI_ShowAllDataGarminUplist 3"), in order.
// A record argument appears as its size field ("TPI_AddDataItemGpsProtocol 1,96"), a text as its
// bytes, any other pointer as "*", and a null pointer as "null". CallCount matches whole names.
X9_HOST_API size_t X9Host_CallLog(char* buffer, size_t capacity);  // returns the size needed
X9_HOST_API int X9Host_CallCount(const char* functionName);
X9_HOST_API void X9Host_ClearLog(void);

// Called at the start of every TPI_Pump, after the host has handled its own messages.
using X9HostPumpHook = void (*)(void* context);
X9_HOST_API void X9Host_SetPumpHook(X9HostPumpHook hook, void* context);

// While a sink is set, every item TPI_AddDataItemGpsProtocol receives goes to it instead of the
// list (nothing kept, nothing logged), and its result is the call's: for downloads of millions
// of points, where only what was handed over matters. Null restores the list.
using X9HostItemSink = int (*)(int setIndex, const tagGPSDBITEM* item, void* context);
X9_HOST_API void X9Host_SetItemSink(X9HostItemSink sink, void* context);

// Hostile-host switches for the upload's tests:
// the item count TPI_GetItemCountGpsProtocol reports for set setIndex changes by delta on each
// call: the first call after this reports the true count, each later one delta more than the one
// before (0 turns it off; other sets are unaffected);
X9_HOST_API void X9Host_SetItemCountDrift(int setIndex, int delta);
// TPI_GetStatGpsProtocol / TPI_GetItemGpsProtocol return without writing anything (still 1 for
// an index that exists, as if they had).
X9_HOST_API void X9Host_SetReadsFillNothing(int on);

// At the end of every logged TPI_* call, once the host has stored or filled a record it takes
// (and before a hostile host overwrites it): the call's log line and its record argument (a
// tagGPSDBHEADER or tagGPSDBITEM, the destination for TPI_ConvertDatum; null for the others). Lets
// a test order the host's calls among other events and look at each record as the module handed it.
using X9HostCallHook = void (*)(const char* logLine, const void* record, void* context);
X9_HOST_API void X9Host_SetCallHook(X9HostCallHook hook, void* context);

// A host that takes the letter of the record convention: once it has copied what it keeps from
// a record handed to TPI_AddDataTrackGpsProtocol, TPI_AddDataItemGpsProtocol or
// TPI_SetStatGpsProtocol, it overwrites every byte of that record and every byte of the texts
// its name and ident point to (their terminators stay). What it stores is what a well-behaved
// host stores; a module that reuses anything it handed over sees the damage.
X9_HOST_API void X9Host_SetOverwritesWhatItWasHanded(int on);

// The transfer-list window (a real top-level window on Windows; a dummy non-null value on
// POSIX).
X9_HOST_API void* X9Host_Window(void);

}  // extern "C"

// Convenience for C++ callers in the same build.
inline std::string X9HostDumpString() {
  std::string out(X9Host_Dump(nullptr, 0), '\0');
  X9Host_Dump(out.data(), out.size());
  return out;
}
inline std::string X9HostCallLogString() {
  std::string out(X9Host_CallLog(nullptr, 0), '\0');
  X9Host_CallLog(out.data(), out.size());
  return out;
}
