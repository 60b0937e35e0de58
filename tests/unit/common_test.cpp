// Numbers read as the C library reads them and written as printf does, lines
// across blocks, safe outputs, and each speed trick against its plain twin.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <utility>
#include <vector>

#include "common/fast/byte_search.hpp"
#include "common/fast/flat_map.hpp"
#include "common/fast/key_list.hpp"
#include "common/fast/prefixed_key_list.hpp"
#include "common/fast/sums.hpp"
#include "common/fast/select_in_order.hpp"
#include "common/fast/key_sort.hpp"
#include "common/fast/large_arrays.hpp"
#include "common/io/errors.hpp"
#include "common/io/file_source.hpp"
#include "common/io/line_reader.hpp"
#include "common/io/safe_outputs.hpp"
#include "common/text/format.hpp"
#include "common/text/numbers.hpp"

namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

const char* const tricky_texts[] = {
    "", " ", "42", "\t\n\v\f\r 42", "+7", "-7", "--7", "+-7", "- 7", "-0", "007", "12abc", "-3.7", "1e3", "1E-3",
    ".5", "5.", ".", "-.", "e5", "1e", "1e+", "1e+x", "0x1A", "0X1p4", "0x.8p1", "0x", "0xg", "-0x10", "inf", "-inf",
    "+INF", "Infinity", "infinit", "nan", "-nan", "NaN(123)", "nan(", "nanx", "1e400", "-1e400", "1e-400",
    "4.9e-324", "2.4703282292062328e-324", "0.010000001", "9007199254740993", "123456789012345678901234567890",
    "1,5", "12\t34", "7\r", "\r7", "9223372036854775807", "9223372036854775808", "-9223372036854775808",
    "-9223372036854775809", "-99999999999999999999999", "header",
};

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(Numbers, TrickyTextsMatchStrtollAndAtofBitForBit) {
    for (const char* text : tricky_texts) {
        EXPECT_EQ(at::to_whole(text), std::strtoll(text, nullptr, 10)) << '"' << text << '"';
        EXPECT_TRUE(same_bits(at::to_real(text), std::atof(text))) << '"' << text << '"';
    }
}

TEST(Numbers, RandomDecimalTextsMatchAtofBitForBit) {
    std::mt19937_64 random(42);
    const auto below = [&random](std::uint64_t n) { return random() % n; };
    for (int i = 0; i < 200000; ++i) {
        std::string text = below(4) == 0 ? "-" : "";
        for (auto digits = below(12); digits > 0; --digits) text += static_cast<char>('0' + below(10));
        if (below(3) != 0) {
            text += '.';
            for (auto digits = below(25); digits > 0; --digits) text += static_cast<char>('0' + below(10));
        }
        if (below(4) == 0) text += (below(2) ? "e" : "E") + std::string(below(2) ? "-" : "") + std::to_string(below(400));
        if (below(5) == 0) text += "\t\r x";
        ASSERT_TRUE(same_bits(at::to_real(text), std::atof(text.c_str()))) << '"' << text << '"';
        ASSERT_EQ(at::to_whole(text), std::strtoll(text.c_str(), nullptr, 10)) << '"' << text << '"';
    }
}

TEST(Numbers, ConversionStopsAtTheEndOfTheView) {
    // Fields are views into a line: the digits after a view's end must not count.
    const std::string_view line = "12345\t6";
    EXPECT_EQ(at::to_whole(line.substr(0, 2)), 12);
    EXPECT_EQ(at::to_real(line.substr(0, 3)), 123.0);
    EXPECT_TRUE(same_bits(at::to_real(std::string_view("0x1p4", 3)), 1.0));
    const std::string long_field = "1." + std::string(300, '0') + "1e2xyz";
    EXPECT_TRUE(same_bits(at::to_real(std::string_view(long_field).substr(0, 250)), 1.0));
    EXPECT_TRUE(same_bits(at::to_real(long_field), std::atof(long_field.c_str())));
}

std::string formatted(float value) {
    char text[at::longest_number];
    return std::string(text, at::format_real(text, value));
}
std::string printed(float value) {
    char text[64];
    return std::string(text, static_cast<std::size_t>(std::snprintf(text, sizeof text, "%g", double{value})));
}

TEST(Format, OddAndRandomFloatsMatchPrintf) {
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    for (float value : {inf, -inf, nan, -nan, 0.0f, -0.0f, 1e-5f, 999999.5f, 1e6f, 100.0f / 3.0f, 123456.5f,
                        9.999995e-5f, 0.0001f, 1.4e-45f, 3.4028235e38f, std::numeric_limits<float>::min()}) {
        EXPECT_EQ(formatted(value), printed(value));
    }
    EXPECT_EQ(formatted(-nan), "-nan");  // what the tables write for a negative NaN
    // Every bit pattern (denormals, NaN payloads), and percentages and weights.
    std::mt19937 random(7);
    std::uniform_real_distribution<float> percent(-100.0f, 1000.0f);
    for (int i = 0; i < 200000; ++i) {
        const auto bits = static_cast<std::uint32_t>(random());
        float value;
        std::memcpy(&value, &bits, sizeof value);
        ASSERT_EQ(formatted(value), printed(value)) << bits;
        value = percent(random);
        ASSERT_EQ(formatted(value), printed(value));
    }
}

Strings lines_of(at::LineReader& reader) {
    Strings lines;
    std::string_view line;
    while (reader.next(line)) lines.emplace_back(line);
    return lines;
}

// Fed through a pipe, which hands the reader less than it asks for.
Strings through_pipe(const std::string& text) {
    int ends[2];
    EXPECT_EQ(::pipe(ends), 0);
    std::thread writer([&] {
        for (ssize_t at = 0, done = 0; at < std::ssize(text) && done >= 0; at += done)
            done = ::write(ends[1], text.data() + at, text.size() - static_cast<std::size_t>(at));
        ::close(ends[1]);
    });
    at::LineReader reader(std::make_unique<at::io::FileSource>(ends[0], "pipe"));
    Strings lines = lines_of(reader);
    writer.join();
    ::close(ends[0]);
    return lines;
}

TEST(LineReader, LinesOfAnyLengthAcrossBlocksFromPipesAndMemory) {
    constexpr std::size_t block = at::LineReader::block_size;
    Strings texts = {"", "\n\n\n", "a", "\r", "a\r\n\r\n\nb\r", "a\r\r\nb\rc\r\r", std::string("x\0y\n", 4), std::string(block, 'z'),
                     std::string(block - 1, 'z') + "\n", std::string(block, 'z') + "\nlast"};
    std::mt19937 random(11);
    const std::size_t lengths[] = {0, 0, 1, 2, 3, 40, 300, 5000, block - 1, block, block + 1, 3 * block + 7};
    for (int round = 0; round < 3; ++round) {
        std::string text;
        for (int line = 0; line < 60; ++line) {
            text += std::string(lengths[random() % std::size(lengths)], static_cast<char>('a' + line % 26));
            text += random() % 4 == 0 ? "\r\n" : "\n";
        }
        texts.push_back(text + "last line without newline\r");
    }
    for (std::size_t i = 0; i < texts.size(); ++i) {
        // The lines, the plain way: cut at LF, one CR at the end taken off,
        // empty ones left out.
        Strings want;
        std::istringstream cut(texts[i]);
        for (std::string line; std::getline(cut, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!line.empty()) want.push_back(line);
        }
        at::LineReader in_memory(texts[i]);
        EXPECT_EQ(lines_of(in_memory), want) << "text " << i;
        EXPECT_EQ(through_pipe(texts[i]), want) << "text " << i;
    }
}

// A source that hands out a few bytes at a time, as a slow pipe does.
class Trickle : public at::io::ByteSource {
public:
    Trickle(std::string_view text, std::size_t piece) : text_(text), piece_(piece) {}
    std::size_t read(char* into, std::size_t size) override {
        const std::string_view next = text_.substr(0, std::min(size, piece_));
        std::memcpy(into, next.data(), next.size());
        text_.remove_prefix(next.size());
        return next.size();
    }

private:
    std::string_view text_;
    std::size_t piece_;
};

TEST(LineReader, ALongLineInSmallPiecesIsSearchedOnce) {
    // Searching the whole buffered line again after every piece would read
    // about 2 TB here and take minutes; searching each byte once takes
    // milliseconds, even under a sanitizer.
    const std::string line(std::size_t{16} << 20, 'a');
    const std::string text = line + "\nb";
    const auto start = std::chrono::steady_clock::now();
    at::LineReader reader(std::make_unique<Trickle>(text, 64));
    EXPECT_EQ(lines_of(reader), (Strings{line, "b"}));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(LineReader, ReadErrorThrowsNamingTheInput) {
    const int fd = ::open("/", O_RDONLY | O_DIRECTORY);  // reading a folder fails with EISDIR
    ASSERT_GE(fd, 0);
    at::LineReader reader(std::make_unique<at::io::FileSource>(fd, "the input"));
    EXPECT_THROW(try { lines_of(reader); } catch (const at::io::ReadFailed& failure) {
        EXPECT_EQ(failure.failure, (at::io::FileFailure{"the input", "Is a directory"}));
        throw;
    }, at::io::ReadFailed);
    ::close(fd);
}

std::string contents(const fs::path& file) {
    std::ostringstream text;
    text << std::ifstream(file, std::ios::binary).rdbuf();
    return text.str();
}

TEST(SafeOutputs, CommitReplacesEarlierFilesOrNoneAndLeavesNoTempFile) {
    char name[] = "/tmp/at_unit_outputsXXXXXX";
    ASSERT_NE(::mkdtemp(name), nullptr);
    const fs::path folder = name, a = folder / "a.txt", b = folder / "b.txt", c = folder / "c.txt";
    // The files in the folder, temporary (hidden) ones included.
    const auto count = [&folder] { return std::distance(fs::directory_iterator(folder), {}); };
    std::ofstream(a, std::ios::binary) << "earlier\n";
    const std::string big(3 * at::LineReader::block_size + 5, 'x');  // partly written out before the commit
    {
        at::SafeOutputs outputs;
        outputs.create(a.string()).write(big);
        outputs.create(b.string()).row("key", std::int64_t{5});
        EXPECT_EQ(contents(a), "earlier\n");
        outputs.commit();
    }
    EXPECT_EQ(contents(a), big);
    EXPECT_EQ(contents(b), "key\t5\n");
    EXPECT_EQ(count(), 2);

    // An output whose name is a folder fails the commit, which replaces nothing.
    fs::create_directory(c);
    {
        at::SafeOutputs outputs;
        outputs.create(a.string()).write("new a\n");
        outputs.create(c.string()).write("new c\n");
        outputs.create(b.string()).write(big + big);
        EXPECT_THROW(try { outputs.commit(); } catch (const at::io::WriteFailed& failure) {
            EXPECT_EQ(failure.failures, (std::vector<at::io::FileFailure>{{c.string(), "Is a directory"}}));
            throw;
        }, at::io::WriteFailed);
    }
    EXPECT_EQ(contents(a), big);
    EXPECT_EQ(contents(b), "key\t5\n");
    EXPECT_EQ(count(), 3);
    EXPECT_TRUE(fs::is_directory(c) && fs::is_empty(c));
    fs::remove_all(folder);
}

// A key of random length over few bytes (NUL and 0xff among them), so that
// keys repeat and are prefixes of each other.
std::string random_key(std::mt19937& random, std::size_t longest) {
    static const char bytes[] = {'a', 'b', '\0', '\xff', ';', '_'};
    std::string key(random() % (longest + 1), 'a');
    for (char& c : key) c = bytes[random() % sizeof bytes];
    return key;
}

TEST(FlatMap, AgreesWithStdMapsThroughManyGrowths) {
    std::mt19937 random(1);
    at::fast::FlatMap<std::int64_t> map;
    std::unordered_map<std::string, std::int64_t> plain;
    const auto make_key = [&random](int i) {
        if (i == 0) return std::string();  // the empty key
        if (i % 20000 == 7) return std::string(70000, '\0') + random_key(random, 4);  // longer than a block
        return random_key(random, i % 3 == 0 ? 3 : 12);
    };
    for (int i = 0; i < 60000; ++i) {
        const std::string key = make_key(i), other = make_key(i + 1);  // the other present or not
        const auto amount = static_cast<std::int64_t>(random() % 1000) - 300;
        map[key] += amount;
        plain[key] += amount;
        const auto found = plain.find(other);
        const std::int64_t* const got = map.find(other);
        ASSERT_TRUE(got == nullptr ? found == plain.end() : found != plain.end() && *got == found->second) << i;
    }
    ASSERT_EQ(map.size(), plain.size());
    // Every entry once, sorted as std::map sorts its keys.
    std::vector<std::pair<std::string, std::int64_t>> sorted;
    for (const auto* entry : at::fast::sorted_entries(map)) sorted.emplace_back(entry->key(), entry->value);
    const std::map<std::string, std::int64_t> ordered(plain.begin(), plain.end());
    EXPECT_EQ(sorted, (std::vector<std::pair<std::string, std::int64_t>>(ordered.begin(), ordered.end())));
}

struct Item : at::fast::SortKey {
    std::size_t number;  // which key it is: must travel with its key
};

TEST(KeySort, AgreesWithThePlainSortOnKeysSharingLongPrefixes) {
    const std::vector<std::string> prefixes = {"", "k__Bacteria;p__Firmicutes;c__Bacilli;o__Lactobacillales;",
                                               "k__Bacteria;p__Firmicutes;c__Bacilli;", "k__Bacteria;p__F",
                                               std::string(40, '\0'), std::string(17, '\xff')};
    std::mt19937 random(2);
    for (int set = 0; set < 20; ++set) {
        // Keys of few prefixes, then of all; some keys repeat whole.
        const std::size_t count = std::vector<std::size_t>{0, 1, 2, 15, 16, 17, 100, 1000, 5000, 20000}[set % 10];
        const std::size_t choices = set < 10 ? 2 : prefixes.size();
        std::vector<std::string> keys;
        for (std::size_t i = 0; i < count; ++i) {
            keys.push_back(!keys.empty() && random() % 8 == 0
                               ? keys[random() % keys.size()]
                               : prefixes[random() % choices] + random_key(random, random() % 2 ? 30 : 5));
        }
        std::vector<Item> fast;
        for (std::size_t i = 0; i < count; ++i) fast.push_back(Item{{0, keys[i].data(), keys[i].size()}, i});
        std::vector<Item> plain = fast;
        at::fast::sort_keys(fast);
        at::fast::sort_keys_plainly(plain);
        for (std::size_t i = 0; i < count; ++i) {
            ASSERT_EQ(std::string_view(fast[i].data, fast[i].size), std::string_view(plain[i].data, plain[i].size))
                << "count " << count << " at " << i;
            ASSERT_EQ(fast[i].data, keys[fast[i].number].data());
        }
    }
}

TEST(PrefixedKeyList, AgreesWithJoinedKeysInAStdMap) {
    // Prefixes that begin one another, repeat, or are empty, as lineages of
    // lines cut short do; suffixes that repeat, are empty or hold zeros.
    const std::vector<std::string> prefixes = {"", "a;", "a;b;", "a;b;", "a;bc;", "b;", "a;b;c;", std::string("a\0", 2)};
    const std::vector<std::string> suffixes = {"", ";", "b;", "b;c;", "c;", "x;", std::string("\0;", 2), "bc;"};
    std::mt19937 random(6);
    for (const std::size_t used : {std::size_t{2}, std::size_t{5}, prefixes.size()}) {
        at::fast::PrefixedKeyList<std::int64_t> list;
        std::map<std::string, std::int64_t> plain;
        for (std::size_t n = 0; n < used; ++n) list.add_prefix(prefixes[n]);
        for (int i = 0; i < 3000; ++i) {
            const auto prefix = static_cast<std::uint32_t>(random() % used);
            const std::string& suffix = suffixes[random() % suffixes.size()];
            list.add(prefix, suffix, i % 7);
            plain[prefixes[prefix] + suffix] += i % 7;
        }
        std::vector<std::pair<std::string, std::int64_t>> listed;
        list.for_each_sorted([&listed](std::string_view prefix, std::string_view suffix, std::int64_t sum) {
            listed.emplace_back(std::string(prefix) + std::string(suffix), sum);
        });
        EXPECT_EQ(listed, (std::vector<std::pair<std::string, std::int64_t>>(plain.begin(), plain.end()))) << used;
    }
}

TEST(ByteSearch, FindEitherAgreesWithThePlainSearchOnRangesOfEveryLength) {
    std::mt19937 random(3);
    const char bytes[] = {';', '(', 'a', '\0', '\x80', '\xff'};
    for (int round = 0; round < 20; ++round) {
        for (std::size_t length = 0; length <= 70; ++length) {
            // A block of exactly the range, so that a read past it is caught.
            const std::unique_ptr<char[]> range(new char[length]);
            for (std::size_t i = 0; i < length; ++i) range[i] = bytes[random() % (round < 10 ? 3 : sizeof bytes)];
            const char one = bytes[random() % sizeof bytes], other = bytes[random() % sizeof bytes];
            for (std::size_t start = 0; start <= length; start += 1 + length / 8) {
                const char *const at = range.get() + start, *const end = range.get() + length;
                ASSERT_EQ(at::fast::find_either(at, end, one, other), at::fast::find_either_plainly(at, end, one, other))
                    << "length " << length << " start " << start;
                const std::string_view text(at, static_cast<std::size_t>(end - at));
                const std::string part(text.substr(random() % (text.size() + 1), 2 + random() % 14));
                for (const std::string_view needle : {std::string_view(part), std::string_view("a;(")}) {
                    ASSERT_EQ(at::fast::contains(text, needle), at::fast::contains_plainly(text, needle))
                        << "length " << length << " start " << start << " part " << needle;
                }
            }
        }
    }
}

TEST(LargeArrays, BlocksPastTheThresholdAreAlignedToHugePagesAndKeepWhatIsWritten) {
    at::fast::LargeArrayAllocator<std::uint64_t> allocator;
    const std::size_t count = at::fast::large_block_bytes / sizeof(std::uint64_t) + 3;
    std::uint64_t* block = allocator.allocate(count);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % (std::size_t{2} << 20), 0u);
    for (std::size_t i = 0; i < count; i += 509) block[i] = i * 3;
    block[count - 1] = 7;
    for (std::size_t i = 0; i + 1 < count; i += 509) ASSERT_EQ(block[i], i * 3) << i;
    EXPECT_EQ(block[count - 1], 7u);
    allocator.deallocate(block, count);
    // A vector that grows from heap blocks into mapped ones and back keeps
    // its elements.
    std::vector<std::uint32_t, at::fast::LargeArrayAllocator<std::uint32_t>> grown;
    for (std::uint32_t i = 0; i < 10'000'000; ++i) grown.push_back(i ^ 0x5a5a5a5a);
    for (std::uint32_t i = 0; i < 10'000'000; i += 997) ASSERT_EQ(grown[i], i ^ 0x5a5a5a5a) << i;
    grown.resize(5);
    grown.shrink_to_fit();
    EXPECT_EQ(grown.back(), 4u ^ 0x5a5a5a5a);
}

TEST(FlatMap, IntegerKeysAgreeWithStdMap) {
    std::mt19937_64 random(4);
    at::fast::FlatMap<float, std::int64_t> map;
    std::map<std::int64_t, float> plain;
    for (int i = 0; i < 20000; ++i) {
        // Small ids, 0 among them, and ids of the whole 64-bit range.
        const auto id = i % 2 == 0 ? static_cast<std::int64_t>(random() % 500) - 250 : static_cast<std::int64_t>(random());
        map[id] += 1.5f;
        plain[id] += 1.5f;
    }
    std::vector<std::pair<std::int64_t, float>> entries;
    map.for_each([&entries](std::int64_t id, float value) { entries.emplace_back(id, value); });
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::pair<std::int64_t, float>>(plain.begin(), plain.end())));
    EXPECT_EQ(map.find(1000), nullptr);
}

// A record of in_key_batches: its key, and its place in the stream.
struct Numbered {
    std::string text;
    int number = 0;
    std::string_view key() const { return text; }
};

TEST(Sums, SumsAndBatchedLookupsAgreeWithTheirPlainTwins) {
    std::mt19937 random(5);
    at::fast::Sums<std::int64_t> counts;
    at::fast::FlatMap<std::int64_t> plain;
    // Enough keys to take the table past the size up to which amounts are
    // added at once.
    for (int i = 0; i < 50000; ++i) {
        const std::string key = random_key(random, i % 7 == 0 ? 40 : 6);
        counts.add(key, i % 5);
        plain[key] += i % 5;
    }
    const auto& counted = counts.totals();
    ASSERT_EQ(counted.size(), plain.size());
    // The same keys listed and summed once in byte order, as std::map orders them.
    at::fast::KeyList<std::int64_t> list;
    std::map<std::string, std::int64_t> ordered;
    plain.for_each([&](std::string_view key, std::int64_t count) {
        for (int copy = 0; copy < 1 + count % 3; ++copy) {
            list.add(key, count);
            ordered[std::string(key)] += count;
        }
    });
    std::vector<std::pair<std::string, std::int64_t>> listed;
    list.for_each_sorted([&listed](std::string_view key, std::int64_t sum) { listed.emplace_back(key, sum); });
    EXPECT_EQ(listed, (std::vector<std::pair<std::string, std::int64_t>>(ordered.begin(), ordered.end())));
    plain.for_each([&counted](std::string_view key, std::int64_t count) {
        ASSERT_NE(counted.find(key), nullptr) << key;
        EXPECT_EQ(*counted.find(key), count) << key;
    });
    // Streams of every length around the batch size, half the keys absent,
    // looked up, and added to a map of their own; a stream whose read fails
    // after its last record.
    for (int length : {0, 1, 31, 32, 33, 64, 1000}) {
        for (const bool fails : {false, true}) {
            const std::mt19937 start = random;
            const auto handled = [&](auto in_batches) {
                random = start;
                std::vector<std::string> seen;
                at::fast::FlatMap<int> added;
                int at = 0;
                const auto next = [&](Numbered& record) {
                    if (at == length && fails) throw std::runtime_error("read failed");
                    if (at == length) return false;
                    record.text = random_key(random, 6);
                    record.number = at++;
                    return true;
                };
                try {
                    in_batches(added, next, [&](const Numbered& r, std::uint64_t hash) {
                        const bool known = counted.find(r.key(), hash) != nullptr;
                        const bool first = added.find(r.key()) == nullptr;
                        added.value_of(r.key(), hash) = r.number;
                        seen.push_back(std::to_string(r.number) + (known ? " known" : "") + (first ? " first" : ""));
                    });
                    seen.push_back("end");
                } catch (const std::runtime_error& failure) {
                    seen.push_back(failure.what());
                }
                return seen;
            };
            const auto batched = handled([](auto& map, auto next, auto visit) {
                at::fast::in_key_batches<Numbered>(map, next, visit);
            });
            const auto plainly = handled([](auto& map, auto next, auto visit) {
                at::fast::in_key_batches_plainly<Numbered>(map, next, visit);
            });
            EXPECT_EQ(batched, plainly) << length;
            EXPECT_EQ(batched.size(), static_cast<std::size_t>(length) + 1) << length;
        }
    }
}

}  // namespace
