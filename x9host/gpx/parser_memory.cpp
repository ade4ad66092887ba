#include "gpx/parser_memory.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "gpx/xml_reader.h"

namespace x9host::parser_memory {
namespace {

thread_local size_t held = 0;
thread_local bool overBudget = false;
constexpr size_t kHeader = alignof(std::max_align_t);  // each block's size, before it

bool Affordable(size_t more) {
  if (more <= kXmlParserBudget - std::min(held, kXmlParserBudget)) return true;
  overBudget = true;
  return false;
}

unsigned char* Header(const void* block) {
  return static_cast<unsigned char*>(const_cast<void*>(block)) - kHeader;
}

}  // namespace

void Start() { overBudget = false; }

bool OverBudget() { return overBudget; }

void* Allocate(size_t size) {
  if (!Affordable(size)) return nullptr;
  auto* header = static_cast<unsigned char*>(std::malloc(size + kHeader));
  if (header == nullptr) return nullptr;
  std::memcpy(header, &size, sizeof size);
  held += size;
  return header + kHeader;
}

void* Reallocate(void* block, size_t size) {
  if (block == nullptr) return Allocate(size);
  const size_t old = SizeOf(block);
  if (size > old && !Affordable(size - old)) return nullptr;
  auto* moved = static_cast<unsigned char*>(std::realloc(Header(block), size + kHeader));
  if (moved == nullptr) return nullptr;
  std::memcpy(moved, &size, sizeof size);
  held = held - old + size;
  return moved + kHeader;
}

void Release(void* block) {
  if (block == nullptr) return;
  held -= SizeOf(block);
  std::free(Header(block));
}

size_t SizeOf(const void* block) {
  size_t size = 0;
  std::memcpy(&size, Header(block), sizeof size);
  return size;
}

}  // namespace x9host::parser_memory
