#pragma once
// Memory for the largest arrays of a run, such as the slots of a hash map
// of millions of keys: an allocator whose blocks of 32 MiB or more (past the
// largest that glibc keeps on the heap, which prepare_heap() puts in huge
// pages) are mappings of their own in 2 MiB pages, where the system offers
// them. With 4 KiB pages every first touch of a page of such an array is a
// fault, dear on a virtual machine, and every lookup at a random place of it
// also misses the processor's table of pages. Smaller blocks come from the
// heap, as std::allocator's do.

#include <cstddef>
#include <memory>
#include <new>

namespace at::fast {

// A block of `bytes` (at least large_block_bytes) in a mapping of its own,
// aligned to 2 MiB and advised to be made of huge pages; throws
// std::bad_alloc when it cannot be mapped. Given back with the same size.
void* map_large_block(std::size_t bytes);
void unmap_large_block(void* block, std::size_t bytes) noexcept;

constexpr std::size_t large_block_bytes = std::size_t{32} << 20;

template <class T>
struct LargeArrayAllocator {
    using value_type = T;

    LargeArrayAllocator() = default;
    template <class U>
    LargeArrayAllocator(const LargeArrayAllocator<U>&) noexcept {}

    T* allocate(std::size_t count) {
        if (count > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
        if (count * sizeof(T) < large_block_bytes) return std::allocator<T>().allocate(count);
        return static_cast<T*>(map_large_block(count * sizeof(T)));
    }
    void deallocate(T* block, std::size_t count) noexcept {
        if (count * sizeof(T) < large_block_bytes) return std::allocator<T>().deallocate(block, count);
        unmap_large_block(block, count * sizeof(T));
    }

    template <class U>
    bool operator==(const LargeArrayAllocator<U>&) const noexcept { return true; }
};

}  // namespace at::fast
