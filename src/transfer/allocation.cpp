#include "transfer/allocation.h"

#include <cstring>
#include <new>

namespace x9 {
namespace {

uint64_t g_limit = kDefaultBufferLimit;
int g_failAt = 0;
int g_count = 0;
uint64_t g_live = 0;
uint64_t g_peak = 0;
AllocationControl::ReleaseHook g_releaseHook = nullptr;
void* g_releaseContext = nullptr;

// Each block carries its size, its number and its place in the list of live blocks in front,
// so the accounting needs no table.
struct alignas(std::max_align_t) BlockHeader {
  uint64_t bytes;
  int number;
  BlockHeader* previous;
  BlockHeader* next;
};

BlockHeader* g_liveBlocks = nullptr;

}  // namespace

void* AllocateWorkingBuffer(uint64_t count, size_t elementSize) {
  ++g_count;
  if (g_failAt != 0 && g_count == g_failAt) return nullptr;
  if (elementSize != 0 && count > g_limit / elementSize) return nullptr;
  const uint64_t bytes = count * elementSize;
  if (bytes > g_limit) return nullptr;
  void* block = std::calloc(1, sizeof(BlockHeader) + static_cast<size_t>(bytes));
  if (block == nullptr) return nullptr;
  auto* header = static_cast<BlockHeader*>(block);
  header->bytes = bytes;
  header->number = g_count;
  header->previous = nullptr;
  header->next = g_liveBlocks;
  if (g_liveBlocks != nullptr) g_liveBlocks->previous = header;
  g_liveBlocks = header;
  g_live += bytes;
  if (g_live > g_peak) g_peak = g_live;
  return header + 1;
}

void FreeWorkingBuffer(void* buffer) {
  if (buffer == nullptr) return;
  BlockHeader* block = static_cast<BlockHeader*>(buffer) - 1;
  g_live -= block->bytes;
  if (block->previous != nullptr) block->previous->next = block->next;
  if (block->next != nullptr) block->next->previous = block->previous;
  if (g_liveBlocks == block) g_liveBlocks = block->next;
  const int number = block->number;
  std::free(block);
  if (g_releaseHook != nullptr) g_releaseHook(number, g_releaseContext);
}

void AllocationControl::FailAllocation(int number) {
  g_failAt = number == 0 ? 0 : g_count + number;
}
void AllocationControl::SetLimit(uint64_t bytes) { g_limit = bytes; }
void AllocationControl::SetReleaseHook(ReleaseHook hook, void* context) {
  g_releaseHook = hook;
  g_releaseContext = context;
}
int AllocationControl::Count() { return g_count; }
uint64_t AllocationControl::LiveBytes() { return g_live; }
uint64_t AllocationControl::PeakBytes() { return g_peak; }
bool AllocationControl::Holds(const void* begin, size_t bytes) {
  const auto address = reinterpret_cast<uintptr_t>(begin);
  for (const BlockHeader* block = g_liveBlocks; block != nullptr; block = block->next) {
    const auto start = reinterpret_cast<uintptr_t>(block + 1);
    if (address >= start && address - start <= block->bytes &&
        bytes <= block->bytes - (address - start))
      return true;
  }
  return false;
}
void AllocationControl::Reset() {
  g_failAt = 0;
  g_count = 0;
  g_peak = g_live;
}

}  // namespace x9
