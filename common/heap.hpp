#pragma once
// Heap settings for one run of a program.

namespace at {

// Makes the start of the heap come in transparent huge pages where the
// system offers them (THP "always" or "madvise"), and keeps large tables on
// the heap rather than in separate mappings. The programs build tables of
// tens of megabytes; with 4 KiB pages every first touch of a page is a fault,
// and on a virtual machine a fault costs microseconds, which came to a third
// of the run time of the small-table programs. A 2 MiB page takes one fault.
// Does nothing harmful where huge pages are not offered: the heap then simply
// stays reserved (not resident) until used. Call once, before the tables are
// built.
void prepare_heap();

}  // namespace at
