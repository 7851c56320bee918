// Counts the heap bytes the whole process holds (every allocation through
// malloc, which operator new uses too), so that a benchmark can report the
// peak a call adds on top of what was held before it.
#pragma once

#include <cstddef>

namespace QzBench {

// Bytes held now.
std::size_t HeapInUse();
// Starts a new peak at what is held now.
void ResetHeapPeak();
// The highest HeapInUse since ResetHeapPeak.
std::size_t HeapPeak();

}  // namespace QzBench
