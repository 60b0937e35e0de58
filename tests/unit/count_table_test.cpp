#include "common/count_table.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

std::vector<std::string> key_sorted(const std::vector<std::string>& keys) {
    std::vector<at::SortKey> items;
    for (const std::string& key : keys) items.push_back({0, key.data(), key.size()});
    at::sort_keys(items);
    std::vector<std::string> sorted;
    for (const auto& item : items) sorted.emplace_back(item.data, item.size);
    return sorted;
}

std::vector<std::string> std_sorted(std::vector<std::string> keys) {
    std::sort(keys.begin(), keys.end());
    return keys;
}

TEST(KeySort, ZeroBytesAndPrefixesSortAsStdStringDoes) {
    // Keys of NUL, "a" and 0xff bytes: the zeros read past a key's end must
    // not make it equal to a longer key that goes on with real zeros.
    std::vector<std::string> keys;
    std::uint32_t state = 3;
    for (int i = 0; i < 3000; ++i) {
        std::string key;
        for (std::uint32_t n = (state >> 4) % 21; n > 0; --n) {
            state = state * 1664525u + 1013904223u;
            key += "\0a\xff"[(state >> 16) % 3];
        }
        state = state * 1664525u + 1013904223u;
        keys.push_back(key);
    }
    EXPECT_EQ(key_sorted(keys), std_sorted(keys));
}

TEST(KeySort, FewAlikeAmongManyDifferentKeys) {
    // The places the sort samples hold one value and every other key differs:
    // the three-way split takes out only those, and the rest must still sort.
    std::vector<std::string> keys;
    std::uint32_t state = 11;
    for (int i = 0; i < 1000; ++i) {
        state = state * 1664525u + 1013904223u;
        keys.push_back(std::to_string(state) + "-" + std::to_string(i));
    }
    for (const std::size_t at : {0u, 250u, 500u, 750u, 999u}) keys[at] = "shared__" + std::to_string(at);
    EXPECT_EQ(key_sorted(keys), std_sorted(keys));
}

TEST(StringMap, AgreesWithAnOrderedMapThroughManyGrowths) {
    // Keys of every shape: empty, prefixes of each other, bytes above 127,
    // NUL bytes, and keys longer than one block of the key store; the table
    // grows step by step and is also made larger at once.
    at::StringMap<std::int64_t> table;
    std::map<std::string, std::int64_t> reference;
    std::uint32_t state = 7;
    for (int i = 0; i < 50000; ++i) {
        state = state * 1664525u + 1013904223u;
        std::string key;
        switch (state % 5) {
            case 0: key = ""; break;
            case 1: key = std::string((state >> 8) % 40, 'a'); break;
            case 2: key = "k__Bacteria;p__" + std::to_string((state >> 8) % 3000) + ";"; break;
            case 3: key = std::string("\xff\0x", 3) + std::to_string((state >> 8) % 500); break;
            default: key = std::string(70000 + (state >> 8) % 3, 'z'); break;
        }
        table[key] += i;
        reference[key] += i;
        // Room made ahead, and a request for less than there is, keep every key.
        if (i == 1000) table.reserve(40000);
        if (i == 30000) table.reserve(5);
    }
    ASSERT_EQ(table.size(), reference.size());
    const auto sorted = at::sorted_entries(table);
    auto expected = reference.begin();
    for (const auto* row : sorted) {
        EXPECT_EQ(row->first, expected->first);
        EXPECT_EQ(row->second, expected->second);
        ++expected;
    }
    for (const auto& [key, value] : reference) {
        const auto* found = table.find(key);
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(*found, value);
    }
    EXPECT_EQ(table.find("not a key"), nullptr);
}

TEST(SplitKeyMap, KeysAreTheirHeadAndTailTogetherAndGroupByHeadInByteOrder) {
    // Heads: the key up to its last "/", empty when it has none. Heads that
    // are prefixes of others, an empty head, equal tails under different
    // heads, bytes above 127.
    at::SplitKeyMap<std::int64_t> table;
    std::map<std::string, std::int64_t> counts;
    std::map<std::string, std::vector<std::string>> expected;
    std::uint32_t state = 9;
    for (int i = 0; i < 4000; ++i) {
        state = state * 1664525u + 1013904223u;
        std::string key;
        for (std::uint32_t depth = (state >> 8) % 4; depth > 0; --depth) key += "ab\xff"[(state >> depth) % 3] + std::string("/");
        key += std::to_string(i % 700);
        const std::size_t head_size = key.rfind('/') + 1;
        const auto [value, is_new] = table.insert(key, head_size);
        EXPECT_EQ(is_new, counts.count(key) == 0) << key;
        *value += i;
        counts[key] += i;
        if (is_new) expected[key.substr(0, head_size)].push_back(key);
    }
    ASSERT_EQ(table.size(), counts.size());
    for (const auto& entry : table) {
        const std::string key = std::string(table.head(entry)) + std::string(table.tail(entry));
        EXPECT_EQ(entry.second, counts.at(key)) << key;
    }
    // Each entry kept as its whole key.
    const at::HeadGroups<std::int64_t, std::string> groups(table, [&table](const auto& entry) {
        return std::string(table.head(entry)) + std::string(table.tail(entry));
    });
    ASSERT_EQ(groups.groups().size(), expected.size());
    ASSERT_EQ(groups.items().size(), table.size());
    auto head = expected.begin();
    std::size_t next = 0;
    for (const auto& group : groups.groups()) {
        EXPECT_EQ(group.head, head->first);
        EXPECT_EQ(group.first, next);
        std::vector<std::string> keys(groups.items().begin() + group.first, groups.items().begin() + group.last);
        std::sort(keys.begin(), keys.end());
        std::sort(head->second.begin(), head->second.end());
        EXPECT_EQ(keys, head->second);
        next = group.last;
        ++head;
    }
    EXPECT_EQ(next, table.size());
}

TEST(SplitKeyMap, KeysOfTheSameHashAreToldApartByHeadAndTail) {
    // Every key looked up under one hash, so that only the comparison of the
    // stored head and tail keeps them apart: equal tails under different
    // heads, equal heads with tails of every length from 0 to 20 that differ
    // in any one byte.
    at::SplitKeyMap<std::int64_t> table;
    std::map<std::pair<std::string, std::string>, std::int64_t> expected;
    const std::vector<std::string> heads = {"", "k__A;", "k__A;p__B;", "k__A;p__C;", "k__B;p__B;"};
    for (int round = 0; round < 2; ++round) {
        for (const std::string& head : heads) {
            for (std::size_t size = 0; size <= 20; ++size) {
                for (std::size_t odd = 0; odd <= size; ++odd) {
                    std::string tail(size, 'u');
                    if (odd < size) tail[odd] = 'v';
                    const auto [value, is_new] = table.insert_hashed(head + tail, head.size(), 42);
                    const auto [count, expected_new] = expected.try_emplace({head, tail}, 0);
                    EXPECT_EQ(is_new, expected_new) << head << "|" << tail;
                    *value += 1;
                    count->second += 1;
                }
            }
        }
    }
    ASSERT_EQ(table.size(), expected.size());
    for (const auto& entry : table) {
        const auto found = expected.find({std::string(table.head(entry)), std::string(table.tail(entry))});
        ASSERT_NE(found, expected.end());
        EXPECT_EQ(entry.second, found->second);
    }
}

TEST(StringHash, ShortTailsHashAsTheirZeroPaddedBytes) {
    // The last bytes of a key are read with overlapping loads; they must
    // make the same word as copying them into a zeroed one, or keys that
    // differ only there could collide. Every length up to 23, bytes of all
    // values.
    const auto reference = [](std::string_view text) {
        constexpr std::uint64_t seed = 0x9e3779b97f4a7c15ull;
        constexpr std::uint64_t multiplier = 0xbf58476d1ce4e5b9ull;
        const auto mix = [](std::uint64_t a, std::uint64_t b) {
            const unsigned __int128 product = static_cast<unsigned __int128>(a) * b;
            return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
        };
        std::uint64_t hash = seed ^ (text.size() * multiplier);
        for (std::size_t at = 0; at < text.size(); at += 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, text.data() + at, std::min<std::size_t>(8, text.size() - at));
            hash = mix(hash ^ word, multiplier);
        }
        return mix(hash, seed);
    };
    std::string text;
    for (std::size_t length = 0; length < 24; ++length) {
        text.clear();
        for (std::size_t i = 0; i < length; ++i) text.push_back(static_cast<char>(37 * i + 11 * length + 200));
        ASSERT_EQ(at::StringHash{}(text), reference(text)) << "length " << length;
    }
}

TEST(HashFilter, PassesEveryKeyOfTheTableAndFewOthers) {
    at::StringMap<int> table;
    for (int i = 0; i < 30000; i += 3) table[std::to_string(i)] = i;
    const at::HashFilter filter(table);
    int absent_passed = 0;
    for (int i = 0; i < 30000; ++i) {
        const std::string key = std::to_string(i);
        const bool passes = filter.may_hold(at::StringMap<int>::hash_of(key));
        if (i % 3 == 0) {
            ASSERT_TRUE(passes) << key;
        } else if (passes) {
            ++absent_passed;
        }
    }
    // About one absent key in nine at 8 bits per key; all of them would mean
    // the filter sorts nothing out.
    EXPECT_LT(absent_passed, 20000 / 5);
    EXPECT_FALSE(at::HashFilter(at::StringMap<int>()).may_hold(at::StringMap<int>::hash_of("")));
}

TEST(StringMap, InsertKeepsTheFirstValueAndSaysWhetherTheKeyWasNew) {
    at::StringMap<float> table;
    const auto [first, first_is_new] = table.insert("Firmicutes", -0.0f);
    EXPECT_TRUE(first_is_new);
    EXPECT_TRUE(std::signbit(*first));
    const auto [again, again_is_new] = table.insert("Firmicutes", 5.0f);
    EXPECT_FALSE(again_is_new);
    EXPECT_EQ(again, first);
    EXPECT_TRUE(std::signbit(*again));
    EXPECT_TRUE(at::StringMap<float>().empty());
    EXPECT_EQ(at::StringMap<float>().find(""), nullptr);
}

TEST(StringMap, KeysSurviveTheTableMoving) {
    at::StringMap<int> table;
    std::string key = "genus";
    table[key] = 3;
    key = "changed";  // the table holds its own copy
    at::StringMap<int> moved = std::move(table);
    EXPECT_EQ(moved.at("genus"), 3);
    EXPECT_THROW(moved.at("changed"), std::out_of_range);
}

}  // namespace

namespace {

TEST(IdMap, SortsNumericallyAndKeepsTheWholeRange) {
    at::IdMap<std::int64_t> table;
    const std::int64_t ids[] = {5, -3, 4294967296, 0, -9223372036854775807 - 1, 9223372036854775807, 5, 17};
    for (std::int64_t id : ids) table[id] += 1;
    std::vector<std::int64_t> order;
    for (const auto* row : at::sorted_entries(table)) order.push_back(row->first);
    EXPECT_EQ(order, (std::vector<std::int64_t>{-9223372036854775807 - 1, -3, 0, 5, 17, 4294967296,
                                                9223372036854775807}));
    EXPECT_EQ(table.at(5), 2);
    EXPECT_EQ(table.find(6), nullptr);
}

}  // namespace
