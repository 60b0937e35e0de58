// Count tables and group files: both forms of a count table give the same
// counts, samples come in the order the file gives them, and each kind of
// malformed line is rejected by its number.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "common/counts/count_table.hpp"
#include "common/counts/group_file.hpp"
#include "common/io/errors.hpp"

namespace {

namespace counts = at::counts;
using Strings = std::vector<std::string>;

// A read's total and its (sample, reads) pairs, as ReadCounts gives them.
std::pair<std::int64_t, std::vector<std::pair<std::uint32_t, std::int64_t>>> read_of(const counts::ReadCounts& table,
                                                                                     std::string_view id) {
    const counts::ReadCounts::Read read = table.of(id);
    std::vector<std::pair<std::uint32_t, std::int64_t>> samples;
    for (const counts::SampleCount& count : read.samples) samples.emplace_back(count.sample, count.reads);
    return {read.total, samples};
}

counts::ReadCounts count_table(const std::string& text) {
    at::LineReader lines(text, "t");
    return counts::read_count_table(lines, "t");
}

TEST(CountTable, CompressedAndPlainFormsGiveTheSameCounts) {
    const std::string compressed =
        "#Compressed Format: groupIndex,abundance. For example 1,6 would mean the read has an abundance of 6 for group A.\n"
        "#1,A\t2,B\t3,C\t\n"
        "Representative_Sequence\ttotal\tA\tB\tC\n"
        "r1\t5\t1,3\t3,2\n"
        "r2\t1\t3,1\n";
    const std::string plain =
        "Representative_Sequence\ttotal\tA\tB\tC\r\n"
        "r1\t5\t3\t0\t2\r\n"
        "\r\n"
        "r2\t1\t0\t0\t1\r\n";
    for (const std::string& text : {compressed, plain}) {
        const counts::ReadCounts table = count_table(text);
        EXPECT_EQ(table.samples(), (Strings{"A", "B", "C"}));
        EXPECT_EQ(read_of(table, "r1"), read_of(count_table(compressed), "r1"));
        EXPECT_EQ(read_of(table, "r1").first, 5);
        EXPECT_EQ(read_of(table, "r1").second, (std::vector<std::pair<std::uint32_t, std::int64_t>>{{0, 3}, {2, 2}}));
        EXPECT_EQ(read_of(table, "r2").second, (std::vector<std::pair<std::uint32_t, std::int64_t>>{{2, 1}}));
        EXPECT_THROW(table.of("r3"), at::io::ReadNotListed);
    }
    const counts::ReadCounts totals = count_table("Representative_Sequence\ttotal\nr1\t7\n");
    EXPECT_TRUE(totals.samples().empty());
    EXPECT_EQ(read_of(totals, "r1").first, 7);
    EXPECT_TRUE(count_table("").samples().empty());
}

TEST(CountTable, MalformedLinesAreRejectedByTheirNumber) {
    const std::string plain = "Representative_Sequence\ttotal\tA\tB\n";
    const std::string compressed = "#1,A\t2,B\nRepresentative_Sequence\ttotal\tA\tB\n";
    const std::pair<std::string, std::string> cases[] = {
        {"r1\t1\t1\t0\n", "line 1: the header is not"},
        {"Representative_Sequence\tcount\tA\n", "line 1: the header is not"},
        {plain + "r1\t2\t1\t1\n\nr2\t2\t1\n", "line 4: expected 2 sample counts after the total, found 1"},
        {plain + "r1\t2\t1\t1\t0\n", "line 2: expected 2 sample counts"},
        {plain + "r1\n", "line 2: expected a read ID, TAB, its total"},
        {plain + "r1\t-2\t-1\t-1\n", "line 2: expected a read ID, TAB, its total"},
        {plain + "r1\t2\t1\t1x\n", "line 2: \"1x\" is not a count"},
        {plain + "r1\t3\t1\t1\n", "line 2: the total 3 is not the sum of the sample counts, 2"},
        {plain + "r1\t2\t1\t1\nr1\t2\t2\t0\n", "line 3: the read \"r1\" is listed twice"},
        {compressed + "r1\t2\t2,2\nr2\t1\t3,1\n", "line 4: \"3,1\" names no sample: there are 2"},
        {compressed + "r1\t2\t2:2\n", "line 3: \"2:2\" is not a sample number, a comma and a count"},
        {compressed + "r1\t2\t0,2\n", "line 3: \"0,2\" names no sample"},
        {"#1,A\t3,B\nRepresentative_Sequence\ttotal\tA\tB\n", "line 1: \"3,B\" is not sample 2"},
        {"#1,A\t2,B\nRepresentative_Sequence\ttotal\tB\tA\n", "line 2: the header does not name the samples"},
    };
    for (const auto& [text, message] : cases) {
        try {
            count_table(text);
            ADD_FAILURE() << "accepted: " << text;
        } catch (const at::io::ReadFailed& failure) {
            EXPECT_EQ(failure.failure.path, "t");
            EXPECT_EQ(failure.failure.reason.substr(0, message.size()), message) << text;
        }
    }
}

TEST(GroupFile, SamplesInByteOrderAndMalformedLinesRejected) {
    at::LineReader lines("r1\tsoil\nr2\tZoo\n\nr3\tgut\nr4\tsoil\n", "g");
    const counts::ReadCounts groups = counts::read_group_file(lines, "g");
    EXPECT_EQ(groups.samples(), (Strings{"Zoo", "gut", "soil"}));
    for (const auto& [id, sample] : {std::pair{"r1", 2u}, {"r2", 0u}, {"r3", 1u}, {"r4", 2u}}) {
        EXPECT_EQ(read_of(groups, id), (std::pair{std::int64_t{1}, std::vector<std::pair<std::uint32_t, std::int64_t>>{{sample, 1}}}))
            << id;
    }
    for (const auto& [text, message] : {std::pair{"r1\tA\nr2\n", "line 2: expected a read ID, TAB and the name"},
                                        {"r1\tA\tB\n", "line 1: expected"},
                                        {"r1\tA\n\nr1\tB\n", "line 3: the read \"r1\" is listed twice"}}) {
        at::LineReader bad(text, "g");
        try {
            counts::read_group_file(bad, "g");
            ADD_FAILURE() << "accepted: " << text;
        } catch (const at::io::ReadFailed& failure) {
            EXPECT_EQ(failure.failure.reason.substr(0, std::string_view(message).size()), message) << text;
        }
    }
}

}  // namespace
