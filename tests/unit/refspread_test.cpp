#include "refspread/refspread.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

at::MemoryOutputs spread(std::string_view matrix_text, std::string_view abundance_text) {
    at::refspread::MappingMatrix matrix;
    at::LineReader matrix_reader(matrix_text);
    at::refspread::read_matrix(matrix_reader, matrix);
    at::refspread::MapBack map_back;
    at::LineReader abundance_reader(abundance_text);
    at::refspread::read_abundance(abundance_reader, matrix, map_back);
    at::MemoryOutputs outputs;
    at::refspread::write_tables(matrix, map_back, outputs);
    return outputs;
}

using Row = std::vector<std::pair<std::int64_t, float>>;

// The rows of a matrix as (reference id, weight) lists, by OTU.
struct Rows {
    at::refspread::MappingMatrix matrix;
    Row at(std::string_view otu) const {
        Row row;
        for (const auto& entry : matrix.row(otu)) row.emplace_back(matrix.reference_id(entry.rank), entry.weight);
        return row;
    }
};

Rows matrix_of(std::string_view text, std::size_t rows_at_a_time = at::refspread::MappingMatrix::default_rows_at_a_time) {
    Rows rows{at::refspread::MappingMatrix(rows_at_a_time)};
    at::LineReader reader(text);
    at::refspread::read_matrix(reader, rows.matrix);
    return rows;
}

TEST(Refspread, PercentagesDivideFirstAndUnassignedInDoublePrecision) {
    // 16/51*100 divided first gives 31.3726 (31.3725 multiplied first);
    // 35/51*100 in double gives 68.6274 (68.6275 in single precision).
    const auto out = spread("a\t1:1\n", "a\t16\nunassigned\t35\n");
    EXPECT_EQ(out.text("otu_reflowMANY.txt"), "1\t31.3726\nunassigned\t68.6274\n");
}

TEST(Refspread, EntryListPieces) {
    const auto matrix = matrix_of(
        "a\t,,3: 0.5,, 4 :0.25,\n"  // stray commas, blanks after "," and ":"
        "b\t42\n"                   // a bare number is id and weight
        "c\t\n"                     // empty list
        "12:0.5\n"                  // no TAB: the line is name and list
        "d\t-7:x,:0.3\n");          // text that is no number reads 0
    ASSERT_EQ(matrix.at("a").size(), 2u);
    EXPECT_EQ(matrix.at("a")[0].first, 3);
    EXPECT_EQ(matrix.at("a")[0].second, 0.5f);
    EXPECT_EQ(matrix.at("a")[1].first, 4);
    EXPECT_EQ(matrix.at("a")[1].second, 0.25f);
    ASSERT_EQ(matrix.at("b").size(), 1u);
    EXPECT_EQ(matrix.at("b")[0].first, 42);
    EXPECT_EQ(matrix.at("b")[0].second, 42.0f);
    EXPECT_TRUE(matrix.at("c").empty());
    ASSERT_EQ(matrix.at("12:0.5").size(), 1u);
    EXPECT_EQ(matrix.at("12:0.5")[0].first, 12);
    EXPECT_EQ(matrix.at("12:0.5")[0].second, 0.5f);
    ASSERT_EQ(matrix.at("d").size(), 2u);
    EXPECT_EQ(matrix.at("d")[0].first, -7);
    EXPECT_EQ(matrix.at("d")[0].second, 0.0f);
    EXPECT_EQ(matrix.at("d")[1].first, 0);
    EXPECT_EQ(matrix.at("d")[1].second, 0.3f);
}

TEST(Refspread, EntriesThatStrayFromThePlainFormMidway) {
    // Each starts as plain digits and a colon; what follows ends the number
    // where strtod would, and the entry still ends at the next comma.
    // Weights below 0.01 are kept only first in their row.
    const auto matrix = matrix_of(
        "a\t5:0.5x,7:0x1p-1,8:.5,10:0.25 ,11:2.\n"
        "b\t1234567890123456789:0.5,12:0.1234567890123456789012,13:9007199254740993\n"
        "c\t6:1e-2\n"
        "d\t9:-0.5\n");
    const Row a_expected = {{5, 0.5f}, {7, 0.5f}, {8, 0.5f}, {10, 0.25f}, {11, 2.0f}};
    EXPECT_EQ(matrix.at("a"), a_expected);
    EXPECT_EQ(matrix.at("c"), (Row{{6, 0.01f}}));
    EXPECT_EQ(matrix.at("d"), (Row{{9, -0.5f}}));
    const Row b = matrix.at("b");
    ASSERT_EQ(b.size(), 3u);
    EXPECT_EQ(b[0].first, 1234567890123456789);
    EXPECT_EQ(b[1].second, static_cast<float>(0.1234567890123456789012));
    EXPECT_EQ(b[2].second, static_cast<float>(9007199254740993.0));
}

TEST(Refspread, WeightsOfEveryLengthReadAsAtofReadsThem) {
    // Plain decimals with 1 to 9 digits before the point and 0 to 20 after it
    // (leading zeros and all), the usual entries of real matrices among them,
    // and numbers past 2^53: each weight must be atof's, to the bit.
    std::mt19937_64 random(7);
    auto digits = [&](std::size_t count) {
        std::string text;
        for (std::size_t i = 0; i < count; ++i) text += static_cast<char>('0' + random() % 10);
        return text;
    };
    // Sixteen digits past 2^53, next to the middle between two floats: the
    // digits made a double first and then divided round to the other float.
    std::vector<std::string> weights = {"9.396496295928955", "9.203601360321045", "9.762865543365479",
                                        "9.626294612884521", "9.367489337921143"};
    std::string text = "near\t";
    for (std::size_t i = 0; i < weights.size(); ++i) {
        if (i != 0) text += ',';
        text += std::to_string(i + 1);
        text += ':';
        text += weights[i];
    }
    text += '\n';
    for (int row = 0; row < 400; ++row) {
        text += "otu" + std::to_string(row) + "\t";
        for (int entry = 0; entry < 5; ++entry) {
            std::string weight = digits(1 + random() % 9);
            const std::size_t after = random() % 21;
            if (after != 0 || random() % 4 == 0) {
                weight += '.';
                weight.append(random() % 4, '0');
                weight += digits(after);
            }
            if (entry != 0) text += ',';
            text += std::to_string(1 + random() % 9999999) + ":" + weight;
            weights.push_back(weight);
        }
        text += '\n';
    }
    const auto matrix = matrix_of(text);
    std::size_t next = 0;
    for (const auto& [id, weight] : matrix.at("near")) {
        EXPECT_EQ(weight, static_cast<float>(std::atof(weights[next].c_str()))) << weights[next];
        ++next;
    }
    ASSERT_EQ(next, 5u);
    // A row keeps its first entry and those after it of weight 0.01 or
    // more, as read; so the weights below 0.01 are read right as well, or
    // the wrong entries would be kept.
    std::size_t dropped = 0;
    for (int row = 0; row < 400; ++row) {
        std::vector<float> expected;
        for (std::size_t entry = 0; entry < 5; ++entry, ++next) {
            const float weight = static_cast<float>(std::atof(weights[next].c_str()));
            if (entry == 0 || static_cast<double>(weight) >= 0.01) {
                expected.push_back(weight);
            } else {
                ++dropped;
            }
        }
        std::vector<float> got;
        for (const auto& [id, weight] : matrix.at("otu" + std::to_string(row))) got.push_back(weight);
        EXPECT_EQ(got, expected) << "row " << row;
    }
    EXPECT_GT(dropped, 0u);
}

TEST(Refspread, LaterMatrixRowReplacesEarlierOne) {
    // Shorter and longer rows than the earlier one, with other rows between.
    const auto matrix = matrix_of("a\t1:1,2:1,3:1\nb\t5:1\na\t9:0.5\nc\t4:1\nb\t\nc\t6:1,7:1\na\t8:1,2:1\n");
    EXPECT_EQ(matrix.at("a"), (Row{{8, 1.0f}, {2, 1.0f}}));
    EXPECT_TRUE(matrix.at("b").empty());
    EXPECT_EQ(matrix.at("c"), (Row{{6, 1.0f}, {7, 1.0f}}));
    // Ids of replaced rows are not written.
    const auto out = spread("a\t1:1,2:1,3:1\na\t9:0.5\n", "a\t4\n");
    EXPECT_EQ(out.text("otu_reflowONE.txt"), "9\t4\nunassigned\t0\n");
}

TEST(Refspread, ManyReplacedRowsKeepTheLastOfEach) {
    // Rows entered a few at a time, and enough replaced entries for the
    // matrix to move its live rows together several times, with ids of 32
    // bits before the first wider one and after.
    std::string text;
    for (int i = 0; i < 3000; ++i) {
        text += "abc"[i % 3];
        text += '\t' + std::to_string(i) + ":1," + std::to_string(i + 1) + ":0.5\n";
        if (i == 1500) text += "w\t4294967296:1,4294967295:0.5\n";
    }
    const auto matrix = matrix_of(text, 5);
    EXPECT_EQ(matrix.at("a"), (Row{{2997, 1.0f}, {2998, 0.5f}}));
    EXPECT_EQ(matrix.at("b"), (Row{{2998, 1.0f}, {2999, 0.5f}}));
    EXPECT_EQ(matrix.at("c"), (Row{{2999, 1.0f}, {3000, 0.5f}}));
    EXPECT_EQ(matrix.at("w"), (Row{{4294967296, 1.0f}, {4294967295, 0.5f}}));
    const auto out = spread(text, "a\t1\nb\t2\nc\t3\nw\t4\n");
    EXPECT_EQ(out.text("otu_reflowONE.txt"), "2997\t1\n2998\t2\n2999\t3\n4294967296\t4\nunassigned\t0\n");
}

TEST(Refspread, IndexThatGrowsAndRenumbersFindsEveryRow) {
    // Rows entered a few at a time. First names that come once: the index
    // grows many times over after them, placing them anew from their names
    // each time. Then a few names, over and over: their row numbers outgrow
    // what the slots were made to hold, and are numbered anew as replaced
    // rows are dropped.
    const auto name_of = [](int number) {
        std::string name = "n";
        name += std::to_string(number);
        return name;
    };
    std::string text;
    for (int i = 0; i < 3000; ++i) {
        text += name_of(i < 1000 ? i : 1000 + i % 3);
        text += '\t' + std::to_string(i) + ":1\n";
    }
    const auto matrix = matrix_of(text, 7);
    for (int name = 0; name < 1000; ++name) ASSERT_EQ(matrix.at(name_of(name)), (Row{{name, 1.0f}})) << name;
    EXPECT_EQ(matrix.at(name_of(1000)), (Row{{2997, 1.0f}}));
    EXPECT_EQ(matrix.at(name_of(1001)), (Row{{2998, 1.0f}}));
    EXPECT_EQ(matrix.at(name_of(1002)), (Row{{2999, 1.0f}}));
    EXPECT_TRUE(matrix.at(name_of(1003)).empty());
}

TEST(Refspread, NamesWhoseHashesShareTheIndexTagAreKeptApart) {
    // The index places a name by the upper half of its hash and keeps, above
    // a row's number, the other bits of the lower half as a tag. A matrix of
    // three rows has an index of 16 slots and numbers its rows in 3 bits: two
    // names of one length whose hashes agree in the low 4 bits of the upper
    // half and in all but the low 3 bits of the lower half share a place and
    // a tag, and only their bytes tell them apart: in the matrix, and as the
    // short names of the abundance table are compared.
    std::unordered_map<std::uint64_t, std::string> seen;
    std::string first;
    std::string second;
    for (int i = 0; first.empty(); ++i) {
        // Names of one length, so that only their bytes differ.
        std::string name = std::to_string(10000000 + i);
        name[0] = 'o';
        const std::uint64_t hash = at::refspread::MappingMatrix::hash_of(name);
        const std::uint64_t shared = (hash >> 32 & 0xf) << 29 | (hash & 0xffffffffu) >> 3;
        const auto [place, is_new] = seen.emplace(shared, name);
        if (!is_new) {
            first = place->second;
            second = name;
        }
    }
    const std::string matrix = first + "\t1:1\n" + second + "\t2:1\n" + second + "\t3:1\n";
    const auto rows = matrix_of(matrix);
    EXPECT_EQ(rows.at(first), (Row{{1, 1.0f}}));
    EXPECT_EQ(rows.at(second), (Row{{3, 1.0f}}));
    const auto out = spread(matrix, second + "\t5\n" + first + "\t7\nother\t1\n");
    EXPECT_EQ(out.text("otu_reflowONE.txt"), "1\t7\n3\t5\nunassigned\t1\n");
}

TEST(Refspread, NamesAreFoundByTheirWholeText) {
    // Names of the abundance table up to 16 bytes are compared with the
    // matrix's in one step of 16 bytes: prefixes, names that differ only in
    // their last byte, names of 16 and 17 bytes, and the last name of the
    // matrix, behind which there is no other name.
    const std::string matrix =
        "ab\t2:1\n"
        "abcdefghijklmnop\t16:1\n"
        "abcdefghijklmnoq\t17:1\n"
        "abcdefghijklmnopq\t18:1\n"
        "a\t1:1\n";
    const auto out = spread(matrix,
                            "a\t1\nab\t10\nabc\t100\nabcdefghijklmno\t1000\nabcdefghijklmnop\t2\n"
                            "abcdefghijklmnoq\t20\nabcdefghijklmnopq\t200\nabcdefghijklmnopr\t2000\nb\t5\n");
    EXPECT_EQ(out.text("otu_reflowONE.txt"), "1\t1\n2\t10\n16\t2\n17\t20\n18\t200\nunassigned\t3105\n");
}

TEST(Refspread, ThresholdIsTestedInDoublePrecision) {
    // 0.01 in single precision lies just below 0.01; the next float up counts.
    const auto out = spread("a\t1:0.01,2:0.010000001,3:0.5\n", "a\t100\n");
    EXPECT_EQ(out.text("otu_reflowONE.txt"), "1\t100\nunassigned\t0\n");
    // 2: 1.0000001 of 51.0000001 -> 1.96078; 3: 50 -> 98.0392
    EXPECT_EQ(out.text("otu_reflowMANY.txt"), "2\t1.96078\n3\t98.0392\nunassigned\t0\n");
}

TEST(Refspread, EntriesThatCanNeverCountAreNotKept) {
    // After the first entry, weights below the threshold or not a number are
    // left out of the row; the first entry stays whatever its weight, and an
    // id seen only in left-out entries is never written.
    const auto matrix = matrix_of("a\t1:0.001,2:0.005,3:0.5,4:nan,5:0.01,6:0.010000001\nb\t7:nan\n");
    EXPECT_EQ(matrix.at("a"), (Row{{1, 0.001f}, {3, 0.5f}, {6, 0.010000001f}}));
    ASSERT_EQ(matrix.at("b").size(), 1u);
    EXPECT_EQ(matrix.at("b")[0].first, 7);
    const auto out = spread("a\t1:0.001,2:0.005,3:0.5\nb\t7:nan,2:0.001\n", "a\t10\nb\t4\n");
    EXPECT_EQ(out.text("otu_reflowONE.txt"), "1\t10\n7\t4\nunassigned\t0\n");
    EXPECT_EQ(out.text("otu_reflowMANY.txt"), "3\t100\nunassigned\t0\n");
}

TEST(Refspread, WeightThatIsNotANumberIsPassedOver) {
    const auto out = spread("a\t1:nan,2:-nan,3:1\n", "a\t4\n");
    EXPECT_EQ(out.text("otu_reflowONE.txt"), "1\t4\nunassigned\t0\n");
    EXPECT_EQ(out.text("otu_reflowMANY.txt"), "3\t100\nunassigned\t0\n");
}

TEST(Refspread, UnassignedRowsAndUnmappedOtus) {
    // A matrix row named "unassigned" is never used; an empty list counts as no row.
    const auto out = spread("unassigned\t1:1\nempty\t\nm\t2:1\n", "unassigned\t6\nempty\t3\nnone\t1\nm\t10\n");
    EXPECT_EQ(out.text("otu_reflowONE.txt"), "2\t10\nunassigned\t10\n");
    EXPECT_EQ(out.text("otu_reflowMANY.txt"), "2\t50\nunassigned\t50\n");
}

TEST(Refspread, ZeroCountsAreStillCredited) {
    // A count of 0 credits its ids with 0 in both tables: they are written.
    const auto out = spread("a\t1:1,2:0.5\nb\t3:1\n", "a\t0\nb\t2\nc\t2\n");
    EXPECT_EQ(out.text("otu_reflowONE.txt"), "1\t0\n3\t2\nunassigned\t2\n");
    EXPECT_EQ(out.text("otu_reflowMANY.txt"), "1\t0\n2\t0\n3\t50\nunassigned\t50\n");
}

TEST(Refspread, ZeroGrandTotalIsNotGuarded) {
    auto out = spread("", "");
    EXPECT_EQ(out.text("otu_reflowONE.txt"), "unassigned\t0\n");
    EXPECT_EQ(out.text("otu_reflowMANY.txt"), "unassigned\t-nan\n");
    // Every entry below the threshold: credited in ONE only.
    out = spread("a\t5:0.001\n", "a\t7\n");
    EXPECT_EQ(out.text("otu_reflowONE.txt"), "5\t7\nunassigned\t0\n");
    EXPECT_EQ(out.text("otu_reflowMANY.txt"), "unassigned\t-nan\n");
    // Shares that cancel out: a non-zero value over a zero total.
    out = spread("a\t1:1\nb\t2:1\n", "a\t3\nb\t-3\nc\t2\nd\t-2\n");
    EXPECT_EQ(out.text("otu_reflowMANY.txt"), "1\tinf\n2\t-inf\nunassigned\t-nan\n");
}

TEST(Refspread, NegativeAndWideIdsSortNumerically) {
    const auto out = spread("a\t3000000000:1\nb\t-5:1\nc\t10:1\nd\t9:1\ne\t99999999999999999999:1\n",
                            "a\t1\nb\t1\nc\t1\nd\t1\ne\t1\n");
    EXPECT_EQ(out.text("otu_reflowONE.txt"),
              "-5\t1\n9\t1\n10\t1\n3000000000\t1\n9223372036854775807\t1\nunassigned\t0\n");
}

TEST(Refspread, IdsComeOutInOrderHoweverFarApart) {
    // Ids close together, ids far apart, and ids at both ends of the range
    // are ranked in different ways; each must give ascending numeric order.
    const char* const abundance = "a\t1\nb\t2\nc\t3\nd\t4\n";
    EXPECT_EQ(spread("a\t12:1\nb\t10:1\nc\t75:1\nd\t11:1\n", abundance).text("otu_reflowONE.txt"),
              "10\t2\n11\t4\n12\t1\n75\t3\nunassigned\t0\n");
    EXPECT_EQ(spread("a\t5000000000000:1\nb\t-3:1\nc\t7:1\nd\t5000000000000:1\n", abundance)
                  .text("otu_reflowONE.txt"),
              "-3\t2\n7\t3\n5000000000000\t5\nunassigned\t0\n");
    EXPECT_EQ(spread("a\t9223372036854775807:1\nb\t-9223372036854775808:1\nc\t0:1\nd\t-1:1\n", abundance)
                  .text("otu_reflowONE.txt"),
              "-9223372036854775808\t2\n-1\t4\n0\t3\n9223372036854775807\t1\nunassigned\t0\n");
}

TEST(Refspread, CloseIdsOfEveryPatternKeepTheirRanks) {
    // Ids close together are ranked through a bit per id, 64 to a word:
    // words with no bit, one, four, five, all 64, the lowest and the highest
    // bit, and a last word with one. Each id comes out once, in order, with
    // the count of its OTU.
    std::vector<int> ids;
    for (int bit : {0, 63}) ids.push_back(64 + bit);
    for (int bit = 0; bit < 4; ++bit) ids.push_back(3 * 64 + bit * 9);
    for (int bit = 0; bit < 5; ++bit) ids.push_back(4 * 64 + 1 + bit * 11);
    for (int bit = 0; bit < 64; ++bit) ids.push_back(6 * 64 + bit);
    ids.push_back(7 * 64 + 63);
    ids.push_back(9 * 64 + 2);
    std::string matrix;
    std::string abundance;
    std::string expected;
    // The rows in an order of their own, so that ranking is what sorts them.
    std::mt19937 random(7);
    std::vector<int> shuffled = ids;
    std::shuffle(shuffled.begin(), shuffled.end(), random);
    for (const int id : shuffled) {
        const std::string name = std::to_string(id);
        matrix += 'o';
        matrix += name + '\t' + name + ":1\n";
        abundance += 'o';
        abundance += name + '\t' + std::to_string(id + 1) + '\n';
    }
    for (const int id : ids) expected += std::to_string(id) + '\t' + std::to_string(id + 1) + '\n';
    expected += "unassigned\t0\n";
    EXPECT_EQ(spread(matrix, abundance).text("otu_reflowONE.txt"), expected);
}

TEST(Refspread, CountsAreWholeAnd64Bit) {
    // A fraction is cut at the point; counts past 32 bits are kept; each
    // repeated row counts.
    const auto out = spread("a\t1:1\n", "a\t3.7\na\t4000000000\na\t-1\nb\t5000000000\n");
    EXPECT_EQ(out.text("otu_reflowONE.txt"), "1\t4000000002\nunassigned\t5000000000\n");
}

TEST(Refspread, SumsPastTheRangeStayAtItsEnd) {
    const auto out = spread("a\t1:1\nb\t2:1\n",
                            "a\t9223372036854775807\na\t1\nb\t-9223372036854775808\nb\t-1\n"
                            "c\t9223372036854775807\nc\t9223372036854775807\n");
    EXPECT_EQ(out.text("otu_reflowONE.txt"),
              "1\t9223372036854775807\n2\t-9223372036854775808\nunassigned\t9223372036854775807\n");
}

TEST(Refspread, SameIdTwiceInARow) {
    // ONE credits the first entry once; MANY once per entry that passes.
    const auto out = spread("a\t1:0.5,1:0.5,2:0.25\n", "a\t8\n");
    EXPECT_EQ(out.text("otu_reflowONE.txt"), "1\t8\nunassigned\t0\n");
    EXPECT_EQ(out.text("otu_reflowMANY.txt"), "1\t80\n2\t20\nunassigned\t0\n");
}

TEST(Refspread, CarriageReturnsEndTheLastFieldOnly) {
    const auto out = spread("otu1\t7:0.8,9:0.2\r\notu2\t9:1\r\n", "otu1\t10\r\notu2\t5\r\nunassigned\t5\r\n");
    EXPECT_EQ(out.text("otu_reflowONE.txt"), "7\t10\n9\t5\nunassigned\t5\n");
    EXPECT_EQ(out.text("otu_reflowMANY.txt"), "7\t40\n9\t35\nunassigned\t25\n");
}

}  // namespace
