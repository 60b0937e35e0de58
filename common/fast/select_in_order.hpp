#pragma once
// Looking up the keys of a stream of records in a map, in the order they
// come: picking out the records whose key is in the map, passing each record
// on with its key's value, or putting each record's key into the map.
//
// Where the map is far larger than the processor's caches (the read IDs of
// a large run), each lookup waits for memory. Here records are read a batch
// ahead of their turn: each key's slot is asked for as its record is read,
// then the text of the key each slot holds, and the records of the batch are
// handled when it is full, so that the waits of a batch overlap. Records are
// handled in the order they were read, each before anything read after it,
// as the plain twins handle them: when a read fails, the records read
// before it are handled before the failure is passed on.

#include <array>
#include <cstddef>
#include <cstdint>

namespace at::fast {

// The plain twin of in_key_batches, which it must agree with.
template <class Record, class Map, class Next, class Visit>
void in_key_batches_plainly(const Map&, Next next, Visit visit) {
    Record record;
    while (next(record)) visit(record, Map::hash_of(record.key()));
}

// Calls next(record) to read each record into one of its own, until it
// returns false, and visit(record, hash) for each, hash being
// Map::hash_of(record.key()), in the order they were read: a batch at a
// time, once the map's places for the batch's keys have been asked for.
// visit may look the key up in the map or add it.
template <class Record, class Map, class Next, class Visit>
void in_key_batches(const Map& map, Next next, Visit visit) {
    constexpr std::size_t batch_size = 32;
    std::array<Record, batch_size> batch;
    std::array<std::uint64_t, batch_size> hashes;
    for (;;) {
        std::size_t count = 0;
        try {
            for (; count < batch_size && next(batch[count]); ++count) {
                hashes[count] = Map::hash_of(batch[count].key());
                map.prefetch_slot(hashes[count]);
            }
        } catch (...) {
            for (std::size_t i = 0; i < count; ++i) visit(batch[i], hashes[i]);
            throw;
        }
        for (std::size_t i = 0; i < count; ++i) map.prefetch_key(hashes[i]);
        for (std::size_t i = 0; i < count; ++i) visit(batch[i], hashes[i]);
        if (count < batch_size) return;
    }
}

// Calls next(record) to read each record into one of its own, until it
// returns false, and keep(record) for each record whose key() is in the
// map, in the order they were read.
template <class Record, class Map, class Next, class Keep>
void select_in_order(const Map& map, Next next, Keep keep) {
    in_key_batches<Record>(map, next, [&map, &keep](const Record& record, std::uint64_t hash) {
        if (map.find(record.key(), hash) != nullptr) keep(record);
    });
}

// Calls next(record) as select_in_order does, and visit(record, value) for
// each record in the order they were read, with the map's value of its key()
// (nullptr when it has none).
template <class Record, class Map, class Next, class Visit>
void look_up_in_order(const Map& map, Next next, Visit visit) {
    in_key_batches<Record>(map, next, [&map, &visit](const Record& record, std::uint64_t hash) {
        visit(record, map.find(record.key(), hash));
    });
}

}  // namespace at::fast
