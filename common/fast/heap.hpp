#pragma once
// Heap settings for one run of a program.

#include <cstddef>

namespace at::fast {

// The size of a transparent huge page on x86-64.
constexpr std::size_t huge_page = std::size_t{2} << 20;

// Makes the heap come in transparent huge pages where the system offers
// them (THP "always" or "madvise"), and keeps large tables on the heap, for
// reuse, rather than in mappings of their own. The programs build tables of
// tens of megabytes; with 4 KiB pages every first touch of a page is a
// fault, and on a virtual machine a fault is dear. A 2 MiB page takes one.
// Where huge pages are not offered, nothing is lost: the heap stays reserved,
// not resident, until used. Called once by the command-line frame, before
// anything is read.
void prepare_heap();

}  // namespace at::fast
