// Host simulator: the host's fourteen services over an in-memory transfer list, and the control
// interface through which tests and the console host seed and inspect that list.
#include "sim/host/host_sim.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "datum_shift.h"
#include "host_window.h"

// On POSIX the services must be visible to the module the process loads; on Windows the .def
// file exports them under their undecorated names.
#if defined(_WIN32)
#define X9_HOST_SERVICE extern "C"
#else
#define X9_HOST_SERVICE extern "C" __attribute__((visibility("default")))
#endif

namespace {

// A text the host owns: copied on the way in, so callers may reuse their buffers at once. The
// bytes live on the heap and do not move when the record holding them moves.
class HostText {
 public:
  HostText() = default;
  explicit HostText(const char* text) {
    if (text == nullptr) return;
    size_ = std::strlen(text);
    bytes_ = std::make_unique<char[]>(size_ + 1);
    std::memcpy(bytes_.get(), text, size_ + 1);
  }
  const char* get() const { return bytes_.get(); }
  size_t size() const { return size_; }

 private:
  std::unique_ptr<char[]> bytes_;
  size_t size_ = 0;
};

struct StoredItem {
  tagGPSDBITEM record;  // every byte as handed over; the text pointers point into the texts
  HostText name;
  HostText ident;
};

struct StoredSet {
  tagGPSDBHEADER header;  // as handed over; itemCount is the caller's, not maintained here
  HostText name;
  std::vector<StoredItem> items;
};

constexpr size_t kPluginDirSize = 260;

struct HostState {
  std::vector<StoredSet> sets;
  int version = 9000;
  char pluginDir[kPluginDirSize] = {};
  size_t pluginDirSize = 1;

  int protocolsRegistered = 0;
  unsigned pluginId = 0;
  TransferCallbackFn callback = nullptr;
  HostText protocolName;
  tagGPSPROTOCOLINFO protocolInfo{};

  std::vector<std::string> log;
  X9HostPumpHook pumpHook = nullptr;
  X9HostItemSink itemSink = nullptr;
  void* itemSinkContext = nullptr;
  void* pumpContext = nullptr;

  int driftSet = -1;
  int driftDelta = 0;
  int64_t driftCalls = 0;
  bool readsFillNothing = false;
  bool overwritesWhatItWasHanded = false;
  X9HostCallHook callHook = nullptr;
  void* callHookContext = nullptr;
};

void StoreHeader(StoredSet& set, const tagGPSDBHEADER& header) {
  std::memcpy(&set.header, &header, sizeof header);
  set.name = HostText(header.name);
  set.header.name = set.name.get();
}

// The list a host starts with: only the waypoint set, which always exists as set 0.
void StartList(HostState& state) {
  tagGPSDBHEADER header{};
  header.size = sizeof header;
  header.name = "";
  header.kind = x9::kListWaypoints;
  state.sets.clear();
  StoreHeader(state.sets.emplace_back(), header);
}

// Never destroyed: a module may still call in while the process shuts down.
HostState& State() {
  static HostState* state = [] {
    auto* fresh = new HostState;
    StartList(*fresh);
    return fresh;
  }();
  return *state;
}

StoredSet* FindSet(int setIndex) {
  auto& sets = State().sets;
  if (setIndex < 0 || static_cast<size_t>(setIndex) >= sets.size()) return nullptr;
  return &sets[static_cast<size_t>(setIndex)];
}

StoredItem* FindItem(int setIndex, int itemIndex) {
  StoredSet* set = FindSet(setIndex);
  if (set == nullptr || itemIndex < 0 || static_cast<size_t>(itemIndex) >= set->items.size()) {
    return nullptr;
  }
  return &set->items[static_cast<size_t>(itemIndex)];
}

int AppendSet(const tagGPSDBHEADER* header) {
  if (header == nullptr) return -1;
  auto& sets = State().sets;
  sets.emplace_back();
  StoreHeader(sets.back(), *header);
  return static_cast<int>(sets.size() - 1);
}

int AppendItem(int setIndex, const tagGPSDBITEM* item) {
  StoredSet* set = FindSet(setIndex);
  if (set == nullptr || item == nullptr) return -1;
  StoredItem& stored = set->items.emplace_back();
  std::memcpy(&stored.record, item, sizeof *item);
  stored.name = HostText(item->name);
  stored.ident = HostText(item->ident);
  stored.record.name = stored.name.get();
  stored.record.ident = stored.ident.get();
  return static_cast<int>(set->items.size() - 1);
}

// --- Call log: "name arg,arg". Records appear as their size field, texts as their bytes, other
// pointers as "*" or "null".

void Log(const char* function, const std::string& arguments = std::string()) {
  std::string line(function);
  if (!arguments.empty()) line += ' ' + arguments;
  State().log.push_back(std::move(line));
}

// Tells the test's hook about the call just logged, once the host is done with the record.
void Notify(const void* record = nullptr) {
  const X9HostCallHook hook = State().callHook;
  if (hook != nullptr) hook(State().log.back().c_str(), record, State().callHookContext);
}

// The hostile host's scribbling, done after it has copied what it keeps.
void Scribble(char* text) {
  if (text != nullptr) std::memset(text, 'Z', std::strlen(text));
}
template <typename Record>
void Overwrite(Record* record) {
  if (!State().overwritesWhatItWasHanded || record == nullptr) return;
  // The texts are the module's; a well-behaved host never writes them, this one does.
  Scribble(const_cast<char*>(record->name));
  if constexpr (std::is_same_v<Record, tagGPSDBITEM>) {
    Scribble(const_cast<char*>(record->ident));
  }
  std::memset(static_cast<void*>(record), 0xA5, sizeof *record);
}

template <typename Record>
std::string SizeOf(const Record* record) {
  return record == nullptr ? std::string("null") : std::to_string(record->size);
}

std::string Join(std::initializer_list<std::string> parts) {
  std::string out;
  for (const std::string& part : parts) {
    if (!out.empty()) out += ',';
    out += part;
  }
  return out;
}

size_t CopyOut(const std::string& text, char* buffer, size_t capacity) {
  if (buffer != nullptr)
    std::memcpy(buffer, text.data(), text.size() < capacity ? text.size() : capacity);
  return text.size();
}

// --- Dump: one line per record, bytes in hex, texts in place of the pointers (whose own bytes
// read as zero so that two equal lists dump equally wherever their texts live).

void AppendHex(std::string& out, const void* bytes, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  const auto* p = static_cast<const unsigned char*>(bytes);
  for (size_t i = 0; i < size; ++i) {
    out += kDigits[p[i] >> 4];
    out += kDigits[p[i] & 15];
  }
}

void AppendText(std::string& out, const HostText& text) {
  if (text.get() == nullptr) {
    out += '-';
  } else {
    out += '"';
    AppendHex(out, text.get(), text.size());
    out += '"';
  }
}

std::string DumpList() {
  std::string out = "sets " + std::to_string(State().sets.size()) + '\n';
  int setIndex = 0;
  for (const StoredSet& set : State().sets) {
    tagGPSDBHEADER header;
    std::memcpy(&header, &set.header, sizeof header);
    header.name = nullptr;
    out += "set " + std::to_string(setIndex++) + " name ";
    AppendText(out, set.name);
    out += " items " + std::to_string(set.items.size()) + "\n  ";
    AppendHex(out, &header, sizeof header);
    out += '\n';
    int itemIndex = 0;
    for (const StoredItem& item : set.items) {
      tagGPSDBITEM record;
      std::memcpy(&record, &item.record, sizeof record);
      record.name = nullptr;
      record.ident = nullptr;
      out += "  item " + std::to_string(itemIndex++) + " name ";
      AppendText(out, item.name);
      out += " ident ";
      AppendText(out, item.ident);
      out += "\n    ";
      AppendHex(out, &record, sizeof record);
      out += '\n';
    }
  }
  return out;
}

}  // namespace

// --- Control interface -------------------------------------------------------------------------

extern "C" {

void X9Host_Reset(void) {
  HostState& state = State();
  state = HostState{};
  StartList(state);
}

void X9Host_SetVersion(int version) { State().version = version; }

void X9Host_SetPluginDirBytes(const char* bytes, size_t size) {
  HostState& state = State();
  std::memset(state.pluginDir, 0, sizeof state.pluginDir);
  state.pluginDirSize = size < kPluginDirSize ? size : kPluginDirSize;
  if (bytes != nullptr) std::memcpy(state.pluginDir, bytes, state.pluginDirSize);
}

void X9Host_SetPluginDir(const char* directory) {
  X9Host_SetPluginDirBytes(directory, directory == nullptr ? 0 : std::strlen(directory) + 1);
}

int X9Host_GetSetCount(void) { return static_cast<int>(State().sets.size()); }
int X9Host_AddSet(const tagGPSDBHEADER* header) { return AppendSet(header); }
int X9Host_AddItem(int setIndex, const tagGPSDBITEM* item) { return AppendItem(setIndex, item); }

const tagGPSDBHEADER* X9Host_GetSet(int setIndex) {
  const StoredSet* set = FindSet(setIndex);
  return set == nullptr ? nullptr : &set->header;
}

int X9Host_ItemCount(int setIndex) {
  const StoredSet* set = FindSet(setIndex);
  return set == nullptr ? -1 : static_cast<int>(set->items.size());
}

const tagGPSDBITEM* X9Host_Item(int setIndex, int itemIndex) {
  const StoredItem* item = FindItem(setIndex, itemIndex);
  return item == nullptr ? nullptr : &item->record;
}

size_t X9Host_Dump(char* buffer, size_t capacity) { return CopyOut(DumpList(), buffer, capacity); }

TransferCallbackFn X9Host_Callback(void) { return State().callback; }

const char* X9Host_ProtocolName(void) {
  return State().protocolsRegistered == 0 ? nullptr : State().protocolName.get();
}

const tagGPSPROTOCOLINFO* X9Host_ProtocolInfo(void) {
  return State().protocolsRegistered == 0 ? nullptr : &State().protocolInfo;
}

unsigned X9Host_ProtocolPluginId(void) { return State().pluginId; }

size_t X9Host_CallLog(char* buffer, size_t capacity) {
  std::string text;
  for (const std::string& line : State().log)
    text += line + '\n';
  return CopyOut(text, buffer, capacity);
}

int X9Host_CallCount(const char* functionName) {
  if (functionName == nullptr) return 0;
  int count = 0;
  for (const std::string& line : State().log) {
    const size_t end = line.find(' ');
    if (line.compare(0, end, functionName) == 0) ++count;
  }
  return count;
}

void X9Host_ClearLog(void) { State().log.clear(); }

void X9Host_SetItemSink(X9HostItemSink sink, void* context) {
  State().itemSink = sink;
  State().itemSinkContext = context;
}

void X9Host_SetPumpHook(X9HostPumpHook hook, void* context) {
  State().pumpHook = hook;
  State().pumpContext = context;
}

void X9Host_SetItemCountDrift(int setIndex, int delta) {
  HostState& state = State();
  state.driftSet = delta == 0 ? -1 : setIndex;
  state.driftDelta = delta;
  state.driftCalls = 0;
}

void X9Host_SetReadsFillNothing(int on) { State().readsFillNothing = on != 0; }

void X9Host_SetCallHook(X9HostCallHook hook, void* context) {
  State().callHook = hook;
  State().callHookContext = context;
}

void X9Host_SetOverwritesWhatItWasHanded(int on) { State().overwritesWhatItWasHanded = on != 0; }

void* X9Host_Window(void) { return x9sim::TransferListWindow(); }

}  // extern "C"

// --- The host's services -----------------------------------------------------------------------

X9_HOST_SERVICE int X9_STDCALL TPI_GetVersion(void) {
  Log("TPI_GetVersion");
  Notify();
  return State().version;
}

X9_HOST_SERVICE unsigned X9_STDCALL TPI_AddGpsProtocol(unsigned pluginId,
                                                       TransferCallbackFn callback,
                                                       const char* protocolName,
                                                       tagGPSPROTOCOLINFO* info) {
  HostState& state = State();
  Log("TPI_AddGpsProtocol", Join({std::to_string(pluginId), callback == nullptr ? "null" : "*",
                                  protocolName == nullptr ? "null" : protocolName, SizeOf(info)}));
  state.pluginId = pluginId;
  state.callback = callback;
  state.protocolName = HostText(protocolName);
  std::memset(&state.protocolInfo, 0, sizeof state.protocolInfo);
  if (info != nullptr) std::memcpy(&state.protocolInfo, info, sizeof state.protocolInfo);
  Notify();
  return static_cast<unsigned>(++state.protocolsRegistered);
}

X9_HOST_SERVICE void X9_STDCALL TPI_GetPluginDir(char* buffer260) {
  Log("TPI_GetPluginDir", buffer260 == nullptr ? "null" : "*");
  if (buffer260 != nullptr) std::memcpy(buffer260, State().pluginDir, State().pluginDirSize);
  Notify();
}

X9_HOST_SERVICE void* X9_STDCALL TPI_GetGarminUplist(void) {
  Log("TPI_GetGarminUplist");
  Notify();
  return x9sim::TransferListWindow();
}

X9_HOST_SERVICE int X9_STDCALL TPI_Pump(void) {
  Log("TPI_Pump");
  x9sim::PumpHostMessages();
  Notify();
  // Copied first: the hook may replace itself.
  const X9HostPumpHook hook = State().pumpHook;
  void* const context = State().pumpContext;
  if (hook != nullptr) hook(context);
  return 1;
}

X9_HOST_SERVICE void X9_STDCALL TPI_ShowAllDataGarminUplist(unsigned listKind) {
  Log("TPI_ShowAllDataGarminUplist", std::to_string(listKind));
  Notify();
}

X9_HOST_SERVICE int X9_STDCALL TPI_GetTrackCountGpsProtocol(void) {
  Log("TPI_GetTrackCountGpsProtocol");
  Notify();
  return static_cast<int>(State().sets.size());
}

X9_HOST_SERVICE int X9_STDCALL TPI_GetStatGpsProtocol(int setIndex, tagGPSDBHEADER* header) {
  Log("TPI_GetStatGpsProtocol", Join({std::to_string(setIndex), SizeOf(header)}));
  const StoredSet* set = FindSet(setIndex);
  int result = 0;
  if (set != nullptr && header != nullptr) {
    if (!State().readsFillNothing) std::memcpy(header, &set->header, sizeof *header);
    result = 1;
  }
  Notify(header);
  return result;
}

X9_HOST_SERVICE void X9_STDCALL TPI_SetStatGpsProtocol(int setIndex, tagGPSDBHEADER* header) {
  Log("TPI_SetStatGpsProtocol", Join({std::to_string(setIndex), SizeOf(header)}));
  StoredSet* set = FindSet(setIndex);
  if (set != nullptr && header != nullptr) StoreHeader(*set, *header);
  Notify(header);
  Overwrite(header);
}

X9_HOST_SERVICE int X9_STDCALL TPI_GetItemCountGpsProtocol(int setIndex) {
  Log("TPI_GetItemCountGpsProtocol", std::to_string(setIndex));
  Notify();
  HostState& state = State();
  const StoredSet* set = FindSet(setIndex);
  if (set == nullptr) return 0;
  int64_t count = static_cast<int64_t>(set->items.size());
  if (setIndex == state.driftSet) count += state.driftDelta * state.driftCalls++;
  if (count > INT32_MAX) return INT32_MAX;
  if (count < INT32_MIN) return INT32_MIN;
  return static_cast<int>(count);
}

X9_HOST_SERVICE int X9_STDCALL TPI_GetItemGpsProtocol(int setIndex, int itemIndex,
                                                      tagGPSDBITEM* item) {
  Log("TPI_GetItemGpsProtocol",
      Join({std::to_string(setIndex), std::to_string(itemIndex), SizeOf(item)}));
  const StoredItem* stored = FindItem(setIndex, itemIndex);
  int result = 0;
  if (stored != nullptr && item != nullptr) {
    if (!State().readsFillNothing) std::memcpy(item, &stored->record, sizeof *item);
    result = 1;
  }
  Notify(item);
  return result;
}

X9_HOST_SERVICE int X9_STDCALL TPI_AddDataTrackGpsProtocol(tagGPSDBHEADER* header) {
  Log("TPI_AddDataTrackGpsProtocol", SizeOf(header));
  const int index = AppendSet(header);
  Notify(header);
  Overwrite(header);
  return index;
}

X9_HOST_SERVICE int X9_STDCALL TPI_AddDataItemGpsProtocol(int setIndex, tagGPSDBITEM* item) {
  // Millions of points: handed to the sink as they come, neither kept nor logged.
  if (State().itemSink != nullptr) return State().itemSink(setIndex, item, State().itemSinkContext);
  Log("TPI_AddDataItemGpsProtocol", Join({std::to_string(setIndex), SizeOf(item)}));
  const int result = AppendItem(setIndex, item) < 0 ? 0 : 1;
  Notify(item);
  Overwrite(item);
  return result;
}

X9_HOST_SERVICE void X9_STDCALL TPI_ConvertDatum(tagGPSDBITEM* source, tagGPSDBITEM* destination,
                                                 int fromDatum, int toDatum) {
  Log("TPI_ConvertDatum", Join({SizeOf(source), SizeOf(destination), std::to_string(fromDatum),
                                std::to_string(toDatum)}));
  if (source != nullptr && destination != nullptr) {
    // memmove: the caller may convert in place.
    std::memmove(destination, source, sizeof *destination);
    double latitude = destination->latitude;
    double longitude = destination->longitude;
    if (x9sim::ShiftDatum(latitude, longitude, fromDatum, toDatum)) {
      destination->latitude = latitude;
      destination->longitude = longitude;
    }
  }
  Notify(destination);
}
