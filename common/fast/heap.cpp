#include "common/fast/heap.hpp"

#include <cstdint>
#include <cstdlib>
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

namespace at::fast {

namespace {

// How far the heap grows at a time, and so how much of it is made of huge
// pages: reserved address space, resident only as far as it is touched.
constexpr std::size_t heap_extent = std::size_t{64} << 20;

// Kept for the whole run (and reachable, so that no leak checker counts
// it); volatile, so that the allocation is made although nothing reads it.
void* volatile below_huge_pages = nullptr;

}  // namespace

void prepare_heap() {
#if defined(__linux__) && defined(__GLIBC__)
    // Allocations up to glibc's largest threshold (32 MiB on 64-bit) come
    // from the heap, and freed memory stays there for reuse instead of going
    // back to the system and being faulted in again.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    mallopt(M_TOP_PAD, static_cast<int>(heap_extent));
    // One allocation larger than what is left at the top of the heap makes
    // the heap grow by it plus heap_extent; freeing it leaves that space as
    // the free top of the heap, which the huge page advice then covers.
    constexpr std::size_t probe_size = std::size_t{1} << 20;
    void* probe = std::malloc(probe_size);
    if (probe == nullptr) return;
    const auto start = reinterpret_cast<std::uintptr_t>(probe);
    std::free(probe);
    const auto end = reinterpret_cast<std::uintptr_t>(sbrk(0));
    // The huge pages begin past the end of the probe, where the heap wrote
    // the header of the block after it: a 2 MiB page of which one 4 KiB page
    // is already in use can only be filled with 4 KiB pages, a fault each.
    const std::uintptr_t first = (start + probe_size + 64 + huge_page - 1) & ~(huge_page - 1);
    const std::uintptr_t last = end & ~(huge_page - 1);
    // Only a range the probe and the break bound as expected: when the probe
    // came from elsewhere (the heap could not grow), nothing is advised.
    if (end == static_cast<std::uintptr_t>(-1) || last <= first || last - first > 2 * heap_extent) return;
    // Advice only: where it is refused, the heap works as before.
    if (madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE) != 0) return;
    // The heap below the first huge page is taken by one block that is never
    // used, so that the allocations that follow (the input buffers first)
    // land in huge pages instead of taking a fault per 4 KiB page. Only its
    // header is touched: the rest stays reserved, not resident. The block is
    // the probe's place again, as the probe went back to the top of the heap.
    if (first - start >= 64) below_huge_pages = std::malloc(first - start - sizeof(std::size_t));
#endif
}

}  // namespace at::fast
