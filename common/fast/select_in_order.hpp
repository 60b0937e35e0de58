#pragma once
// Picking out of a stream the records whose key is in a map, in the order
// they come.
//
// Where the map is far larger than the processor's caches (the read IDs of
// a large run), each lookup waits for memory. Here records are read a batch
// ahead of their turn: each key's slot is asked for as its record is read,
// and the records of the batch are looked up and passed on when it is full,
// so that the waits of a batch overlap.

#include <array>
#include <cstddef>

namespace at::fast {

// The plain twin of select_in_order, which it must agree with.
template <class Record, class Map, class Next, class Keep>
void select_in_order_plainly(const Map& map, Next next, Keep keep) {
    Record record;
    while (next(record)) {
        if (map.find(record.key()) != nullptr) keep(record);
    }
}

// Calls next(record) to read each record into one of its own, until it
// returns false, and keep(record) for each record whose key() is in the
// map, in the order they were read.
template <class Record, class Map, class Next, class Keep>
void select_in_order(const Map& map, Next next, Keep keep) {
    constexpr std::size_t batch_size = 32;
    std::array<Record, batch_size> batch;
    for (;;) {
        std::size_t count = 0;
        for (; count < batch_size && next(batch[count]); ++count) map.prefetch_slot(Map::hash_of(batch[count].key()));
        for (std::size_t i = 0; i < count; ++i) {
            if (map.find(batch[i].key()) != nullptr) keep(batch[i]);
        }
        if (count < batch_size) return;
    }
}

}  // namespace at::fast
