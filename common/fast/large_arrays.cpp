#include "common/fast/large_arrays.hpp"

#include "common/fast/heap.hpp"

#include <cstdint>
#include <sys/mman.h>

namespace at::fast {

namespace {

std::size_t whole_pages(std::size_t bytes) { return (bytes + huge_page - 1) & ~(huge_page - 1); }

}  // namespace

void* map_large_block(std::size_t bytes) {
    const std::size_t size = whole_pages(bytes);
    // One huge page more than needed, so that a 2 MiB boundary lies within
    // the first; what lies before it and after the block is given back.
    void* mapped = ::mmap(nullptr, size + huge_page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + huge_page - 1) & ~(huge_page - 1);
    if (aligned != start) ::munmap(mapped, aligned - start);
    if (const std::size_t after = start + huge_page - aligned; after != 0) {
        ::munmap(reinterpret_cast<void*>(aligned + size), after);
    }
    // Advice only: where it is refused, the block is made of small pages.
    ::madvise(reinterpret_cast<void*>(aligned), size, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(aligned);
}

void unmap_large_block(void* block, std::size_t bytes) noexcept { ::munmap(block, whole_pages(bytes)); }

}  // namespace at::fast
