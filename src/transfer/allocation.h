// Every working buffer of a transfer comes from here: sizes are checked before they are
// multiplied, a limit far above any real watch turns absurd counts into a memory failure, and
// tests can make a chosen allocation fail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace x9 {

inline constexpr uint64_t kDefaultBufferLimit = uint64_t{1} << 30;  // bytes

// Zero-filled storage for count elements of elementSize bytes; null when the size overflows,
// exceeds the limit, memory runs out, or a test asked for this allocation to fail. A count of 0
// gives a valid (non-null) empty buffer.
void* AllocateWorkingBuffer(uint64_t count, size_t elementSize);
void FreeWorkingBuffer(void* buffer);

// Test seam.
struct AllocationControl {
  // Called with an allocation's number (counted since the last Reset) as it is freed.
  using ReleaseHook = void (*)(int number, void* context);

  static void FailAllocation(int number);  // the number-th allocation from now fails; 0 = none
  static void SetReleaseHook(ReleaseHook hook, void* context);  // null: none
  static void SetLimit(uint64_t bytes);  // kDefaultBufferLimit restores the default
  static int Count();                    // allocations since the last Reset
  static uint64_t LiveBytes();           // bytes held now
  static uint64_t PeakBytes();           // most bytes held at once since the last Reset
  // Whether the bytes [begin, begin + bytes) lie within one live buffer.
  static bool Holds(const void* begin, size_t bytes);
  static void Reset();  // clears the counters and the failure; keeps the limit
};

template <typename T>
class WorkingBuffer {
 public:
  WorkingBuffer() = default;
  WorkingBuffer(const WorkingBuffer&) = delete;
  WorkingBuffer& operator=(const WorkingBuffer&) = delete;

  // Replaces any earlier storage; false on failure (the buffer is then empty).
  bool Allocate(uint64_t count) {
    storage_.reset();
    count_ = 0;
    storage_.reset(static_cast<T*>(AllocateWorkingBuffer(count, sizeof(T))));
    if (!storage_) return false;
    count_ = count;
    return true;
  }
  void Release() {
    storage_.reset();
    count_ = 0;
  }

  T* data() const { return storage_.get(); }
  T& operator[](uint64_t index) const { return storage_.get()[index]; }
  uint64_t size() const { return count_; }

 private:
  struct Free {
    void operator()(T* p) const { FreeWorkingBuffer(p); }
  };
  std::unique_ptr<T, Free> storage_;
  uint64_t count_ = 0;
};

}  // namespace x9
