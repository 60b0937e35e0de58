#include "readtally/readtally.hpp"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

at::MemoryOutputs tally(std::string_view input) {
    at::LineReader reader(input);
    at::readtally::Tally counts;
    at::readtally::read_classification(reader, counts);
    at::MemoryOutputs outputs;
    at::readtally::write_tables(counts, outputs);
    return outputs;
}

TEST(Readtally, WritesTheEightFilesInOrder) {
    const auto out = tally("r1\tk__B(1);p__F(1);\n");
    EXPECT_EQ(out.order(), (std::vector<std::string>{"otu.txt", "species.txt", "genus.txt", "family.txt",
                                                     "order.txt", "class.txt", "phylum.txt",
                                                     "fullLineage.txt"}));
}

TEST(Readtally, CurrentGenusBelongsToItsLineOnly) {
    const auto out = tally(
        "r1\tg__Bacillus(9);s__subtilis(9);\n"
        "r2\ts__coli(9);\n"                                // no genus on this line
        "r3\tg__Escherichia(9);g__Escherichia_unclassified(9);s__coli(9);\n");  // marker keeps the genus
    EXPECT_EQ(out.text("species.txt"), " coli\t1\nBacillus subtilis\t1\nEscherichia coli\t1\nunassigned\t0\n");
}

TEST(Readtally, SameKeyFromDifferentLinesCountsTheSame) {
    // Counts are derived once per distinct lineage; lines that share a key must
    // give exactly what counting them one by one gives.
    const auto out = tally("a\tp__X(1);g__G(2);s__s(3);\nb\tp__X(9);g__G(8);s__s(7);\nc\tp__X;g__G;s__s\n");
    EXPECT_EQ(out.text("fullLineage.txt"), "p__X;g__G;s__s;\t3\n");
    EXPECT_EQ(out.text("species.txt"), "G s\t3\nunassigned\t0\n");
    EXPECT_EQ(out.text("genus.txt"), "G\t3\nunassigned\t0\n");
}

TEST(Readtally, ParenthesisInsideTheRankPrefixKeepsTheRealTaxonName) {
    // "c_(x)" and "c_(y)" share the label "c_" but have the names "x)" and "y)".
    const auto out = tally("a\tc_(x);\nb\tc_(y);\nc\tc_(x);\n");
    EXPECT_EQ(out.text("fullLineage.txt"), "c_;\t3\n");
    EXPECT_EQ(out.text("class.txt"), "x)\t2\ny)\t1\nunassigned\t0\n");
}

TEST(Readtally, ShortTokensJoinTheKeyButCountNowhere) {
    const auto out = tally("r1\tk__B(1);g__G(1);\r\nr2\tg_;s__x;\n");
    EXPECT_EQ(out.text("fullLineage.txt"), "g_;s__x;\t1\nk__B;g__G;\r;\t1\n");
    EXPECT_EQ(out.text("genus.txt"), "G\t1\nunassigned\t1\n");
    EXPECT_EQ(out.text("species.txt"), " x\t1\nunassigned\t1\n");  // g_ set no genus
}

TEST(Readtally, UnplacedReadsAndMarkersAreSkipped) {
    const auto out = tally(
        "r1\tunknown;unknown_unclassified(0);unknown_unclassified(0);\n"
        "r2\tk__Bacteria(88);k__Bacteria_unclassified(88);\n"
        "r3\tunknown(5);p__Unclassified(3);\n");  // the marker test is case-sensitive
    EXPECT_EQ(out.text("otu.txt"), "unassigned\t3\n");
    EXPECT_EQ(out.text("phylum.txt"), "Unclassified\t1\nunassigned\t2\n");
    EXPECT_EQ(out.text("fullLineage.txt"), "\t1\nk__Bacteria;\t1\np__Unclassified;\t1\n");
}

TEST(Readtally, RepeatedRanksMakeTheUnassignedRowNegative) {
    const auto out = tally("r1\tp__A;p__B;\n");
    EXPECT_EQ(out.text("phylum.txt"), "A\t1\nB\t1\nunassigned\t-1\n");
}

TEST(Readtally, LineWithoutTabIsAllLineage) {
    const auto out = tally("p__Alone(1);c__C\n");
    EXPECT_EQ(out.text("phylum.txt"), "Alone\t1\nunassigned\t0\n");
    EXPECT_EQ(out.text("fullLineage.txt"), "p__Alone;c__C;\t1\n");
}

TEST(Readtally, LineagesThatExtendOthersSortAndCountAsWholeKeys) {
    // Many lineages whose labels but the last are those of other, longer
    // lineages; last labels that are a prefix of, equal to, or byte-wise on
    // either side of the label that leads on; empty labels and bytes above
    // 127. fullLineage.txt must list the keys in byte order, and the genus
    // and species counts must be those of each line taken on its own.
    const std::vector<std::string> labels = {"k__A", "p__B", "g__G", "g__H", "s__s", "s__t", "u__5",
                                             "u__56", "u__6", "", "x", "g__\xc3\xa9", "k_"};
    std::map<std::string, std::int64_t> lineages;
    std::map<std::string, std::int64_t> genera;
    std::map<std::string, std::int64_t> species;
    std::string input;
    std::uint32_t state = 5;
    const auto next = [&state](std::uint32_t below) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % below;
    };
    for (int line = 0; line < 3000; ++line) {
        const std::uint32_t depth = 1 + next(5);
        std::string lineage;
        std::string key;
        std::string genus;
        for (std::uint32_t i = 0; i < depth; ++i) {
            // Early labels from few choices, so that lineages share them.
            const std::string& label = labels[next(i < 2 ? 3 : static_cast<std::uint32_t>(labels.size()))];
            lineage += label + "(" + std::to_string(next(100)) + ");";
            key += label + ";";
            if (label.size() < 3) continue;
            if (label[0] == 'g') {
                genus = label.substr(3);
                ++genera[genus];
            } else if (label[0] == 's') {
                ++species[genus + " " + label.substr(3)];
            }
        }
        input += "r\t" + lineage + "\n";
        ++lineages[key];
    }
    const auto out = tally(input);
    std::string expected_lineages;
    for (const auto& [key, count] : lineages) expected_lineages += key + "\t" + std::to_string(count) + "\n";
    EXPECT_EQ(out.text("fullLineage.txt"), expected_lineages);
    std::int64_t counted = 0;
    std::string expected_genera;
    for (const auto& [name, count] : genera) {
        expected_genera += name + "\t" + std::to_string(count) + "\n";
        counted += count;
    }
    EXPECT_EQ(out.text("genus.txt"), expected_genera + "unassigned\t" + std::to_string(3000 - counted) + "\n");
    counted = 0;
    std::string expected_species;
    for (const auto& [name, count] : species) {
        expected_species += name + "\t" + std::to_string(count) + "\n";
        counted += count;
    }
    EXPECT_EQ(out.text("species.txt"), expected_species + "unassigned\t" + std::to_string(3000 - counted) + "\n");
}

TEST(Readtally, KeysSortAsUnsignedBytes) {
    const auto out = tally("a\tg__b;\nb\tg__B;\nc\tg__\xc3\xa9;\nd\tg__;\ne\tg__bb;\nf\tg__1;\n");
    EXPECT_EQ(out.text("genus.txt"), "\t1\n1\t1\nB\t1\nb\t1\nbb\t1\n\xc3\xa9\t1\nunassigned\t0\n");
}

}  // namespace

namespace {

TEST(Readtally, MarkerIsFoundAtEveryPlaceOfALongLineAndOnlyThere) {
    // The marker test scans lines in chunks: put the marker, and near-misses
    // of it, at every offset of a line far longer than a chunk.
    for (std::size_t pad = 0; pad < 40; ++pad) {
        const std::string filler(pad, 'x');
        const std::string line = "r\tk__B(1);p__" + filler + "(1);g__G_unclassified(1);p__Q(2);\n"
                                 "s\tk__B(1);p__" + filler + "(1);g__G_unclassifieD(1);uncl;unclassifie;\n";
        const auto out = tally(line);
        EXPECT_EQ(out.text("fullLineage.txt"),
                  "k__B;p__" + filler + ";g__G_unclassifieD;uncl;unclassifie;\t1\nk__B;p__" + filler + ";p__Q;\t1\n")
            << "pad " << pad;
    }
}

}  // namespace
