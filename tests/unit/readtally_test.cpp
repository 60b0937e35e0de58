#include "readtally/readtally.hpp"

#include <gtest/gtest.h>

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
