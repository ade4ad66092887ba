// The XML parser's own memory, counted while one file is read and refused past
// kXmlParserBudget. A parser keeps every distinct element and attribute name it meets for the
// document's life, so a file of ever new names would otherwise grow it without end. Both
// builds' parsers allocate through here: expat through its memory suite, XmlLite through an
// IMalloc. Counted per thread, as the readers run one after the other.
#pragma once

#include <cstddef>

namespace x9host::parser_memory {

// A new file: any earlier refusal is forgotten (blocks still held stay counted).
void Start();
// Whether an allocation was refused for the budget since Start, rather than by the machine.
bool OverBudget();

void* Allocate(size_t size);
// As realloc: a null block is a new one. Refused past the budget, the block is left as it was.
void* Reallocate(void* block, size_t size);
void Release(void* block);
size_t SizeOf(const void* block);

}  // namespace x9host::parser_memory
