#pragma once
// An array of plain values in a memory mapping of its own.
//
// A std::vector grows by copying into a new allocation twice as large: the
// old copies stay behind as touched memory, which the system had to fault in
// and zero page by page. This array grows by remapping: the kernel moves the
// pages it has, so growing never copies a value and only the pages in use
// are ever touched. For the large arrays a program fills from its input.

#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

#include <sys/mman.h>

namespace at {

template <class T>
class MappedArray {
    static_assert(std::is_trivially_copyable_v<T>, "values are moved by remapping their pages");

public:
    MappedArray() = default;
    MappedArray(const MappedArray&) = delete;
    MappedArray& operator=(const MappedArray&) = delete;
    MappedArray(MappedArray&& other) noexcept { swap(other); }
    MappedArray& operator=(MappedArray&& other) noexcept {
        MappedArray(std::move(other)).swap(*this);
        return *this;
    }
    ~MappedArray() {
        if (data_ != nullptr) munmap(data_, bytes_);
    }

    void push_back(const T& value) {
        if (size_ == capacity_) grow(size_ + 1);
        data_[size_++] = value;
    }

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    T* data() { return data_; }
    const T* data() const { return data_; }
    T& operator[](std::size_t i) { return data_[i]; }
    const T& operator[](std::size_t i) const { return data_[i]; }
    T* begin() { return data_; }
    T* end() { return data_ + size_; }
    const T* begin() const { return data_; }
    const T* end() const { return data_ + size_; }

    void swap(MappedArray& other) noexcept {
        std::swap(data_, other.data_);
        std::swap(size_, other.size_);
        std::swap(capacity_, other.capacity_);
        std::swap(bytes_, other.bytes_);
    }

private:
    static constexpr std::size_t first_bytes = std::size_t{64} << 10;

    void grow(std::size_t least) {
        std::size_t bytes = bytes_ == 0 ? first_bytes : bytes_ * 2;
        while (bytes / sizeof(T) < least) {
            if (bytes > (static_cast<std::size_t>(-1) >> 2)) throw std::bad_alloc();
            bytes *= 2;
        }
        void* place = data_ == nullptr
                          ? mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)
                          : mremap(data_, bytes_, bytes, MREMAP_MAYMOVE);
        if (place == MAP_FAILED) throw std::bad_alloc();
        // Large arrays in huge pages where the system offers them; advice only.
        if (bytes >= (std::size_t{2} << 20)) madvise(place, bytes, MADV_HUGEPAGE);
        data_ = static_cast<T*>(place);
        capacity_ = bytes / sizeof(T);
        bytes_ = bytes;
    }

    T* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    std::size_t bytes_ = 0;  // the length of the mapping
};

}  // namespace at
