// malloc and its kin, interposed for the whole process: each forwards to the
// C library's own entry and counts the usable size of the block.
#include "HeapCounter.h"

#include <malloc.h>

#include <atomic>
#include <cerrno>
#include <cstring>

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* block);
}

namespace {

std::atomic<std::size_t> inUse{0};
std::atomic<std::size_t> peak{0};

void Added(void* block)
{
    if (block == nullptr)
        return;
    const std::size_t now = inUse.fetch_add(malloc_usable_size(block)) + malloc_usable_size(block);
    std::size_t seen = peak.load();
    while (now > seen && !peak.compare_exchange_weak(seen, now)) {
    }
}

void Removed(void* block)
{
    if (block != nullptr)
        inUse.fetch_sub(malloc_usable_size(block));
}

}  // namespace

extern "C" {

void* malloc(std::size_t size)
{
    void* block = __libc_malloc(size);
    Added(block);
    return block;
}

void* calloc(std::size_t count, std::size_t size)
{
    void* block = __libc_calloc(count, size);
    Added(block);
    return block;
}

void* realloc(void* block, std::size_t size)
{
    const std::size_t before = block ? malloc_usable_size(block) : 0;
    void* moved = __libc_realloc(block, size);
    if (moved != nullptr || size == 0) {
        inUse.fetch_sub(before);
        Added(moved);
    }
    return moved;
}

void free(void* block)
{
    Removed(block);
    __libc_free(block);
}

void* memalign(std::size_t alignment, std::size_t size)
{
    void* block = __libc_memalign(alignment, size);
    Added(block);
    return block;
}

void* aligned_alloc(std::size_t alignment, std::size_t size)
{
    return memalign(alignment, size);
}

int posix_memalign(void** result, std::size_t alignment, std::size_t size)
{
    void* block = memalign(alignment, size);
    if (block == nullptr)
        return ENOMEM;
    *result = block;
    return 0;
}
}

namespace QzBench {

std::size_t HeapInUse()
{
    return inUse.load();
}

void ResetHeapPeak()
{
    peak.store(inUse.load());
}

std::size_t HeapPeak()
{
    return peak.load();
}

}  // namespace QzBench
