#include "rankroll/rankroll.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::vector<std::string> rank_files = {"species.txt", "genus.txt", "family.txt",
                                             "order.txt",   "class.txt", "phylum.txt"};

at::MemoryOutputs roll(std::string_view abundance_text, std::string_view taxonomy_text) {
    at::rankroll::AbundanceTable abundance;
    at::LineReader abundance_reader(abundance_text);
    at::rankroll::read_abundance(abundance_reader, abundance);
    at::rankroll::RollUp totals(abundance);
    at::LineReader taxonomy_reader(taxonomy_text);
    at::rankroll::roll_up(taxonomy_reader, totals);
    at::MemoryOutputs outputs;
    totals.write_tables(outputs);
    return outputs;
}

TEST(Rankroll, BlanksAfterSeparatorsCountLikeNone) {
    const std::string abundance = "1\t2\n2\t3\n";
    const auto plain = roll(abundance, "1\tk__B;p__F;c__C;o__O;f__Fa;g__G;s__s\n2\tk__B;p__F;c__D\n");
    const auto spaced = roll(abundance, "1\tk__B; p__F;  c__C; o__O; f__Fa; g__G; s__s\n2\tk__B; p__F; c__D\n");
    for (const auto& name : rank_files) EXPECT_EQ(spaced.text(name), plain.text(name)) << name;
    EXPECT_EQ(spaced.text("species.txt"), "G s\t2\nunassigned\t3\n");
    EXPECT_EQ(spaced.text("fullLineage.txt"),
              "k__B; p__F;  c__C; o__O; f__Fa; g__G; s__s\t2\nk__B; p__F; c__D\t3\nunassigned\t0\n");
}

TEST(Rankroll, OnlyBlanksAreSkippedBeforeARankLetter) {
    // A TAB before the rank letter makes the token belong to no rank.
    const auto out = roll("1\t1\n", "1\tp__A;\tc__B; ;  ;\n");
    EXPECT_EQ(out.text("phylum.txt"), "A\t1\nunassigned\t0\n");
    EXPECT_EQ(out.text("class.txt"), "unassigned\t0\n");  // c__ stands in the lineage
}

TEST(Rankroll, RankPrefixAnywhereInTheLineageCountsAsPresent) {
    // "s__" inside a name (in a run of underscores) and "f__" at the end of
    // an order token: those ranks are not missing; "o__", "c__", "g__" are.
    const auto out = roll("1\t1\n", "1\tp__Xs___Y;o_f__\n");
    EXPECT_EQ(out.text("species.txt"), "unassigned\t0\n");
    EXPECT_EQ(out.text("genus.txt"), "unassigned\t1\n");
    EXPECT_EQ(out.text("family.txt"), "unassigned\t0\n");
    EXPECT_EQ(out.text("order.txt"), "__\t1\nunassigned\t1\n");
    EXPECT_EQ(out.text("class.txt"), "unassigned\t1\n");
    EXPECT_EQ(out.text("phylum.txt"), "Xs___Y\t1\nunassigned\t0\n");
}

TEST(Rankroll, ShortTokensCountNowhere) {
    const auto out = roll("1\t4\n", "1\tp__A;g_;s;  g;\r\n");
    EXPECT_EQ(out.text("phylum.txt"), "A\t4\nunassigned\t0\n");
    EXPECT_EQ(out.text("genus.txt"), "unassigned\t4\n");
    EXPECT_EQ(out.text("species.txt"), "unassigned\t4\n");
    EXPECT_EQ(out.text("fullLineage.txt"), "p__A;g_;s;  g;\r\t4\nunassigned\t0\n");
}

TEST(Rankroll, TaxonNameIsEverythingAfterTheRankPrefix) {
    // No cut at "(" here; the CR of a CRLF line ends the last taxon name; the
    // characters after the rank letter are dropped whatever they are.
    const auto out = roll("1\t1\n", "1\tp__Firmicutes(100);cXXBacilli;o__Bacillales\r\n");
    EXPECT_EQ(out.text("phylum.txt"), "Firmicutes(100)\t1\nunassigned\t0\n");
    EXPECT_EQ(out.text("class.txt"), "Bacilli\t1\nunassigned\t1\n");  // no "c__" in the lineage
    EXPECT_EQ(out.text("order.txt"), "Bacillales\r\t1\nunassigned\t0\n");
}

TEST(Rankroll, SpeciesKeyTakesTheGenusBeforeItOnItsLine) {
    const auto out = roll("1\t1\n2\t1\n3\t1\n4\t1\n",
                          "1\tg__Bacillus;s__subtilis\n"
                          "2\ts__coli;g__Escherichia\n"  // species before its genus
                          "3\ts__\n"                     // genus from line 1 does not carry over
                          "4\tg__;s__\n");
    EXPECT_EQ(out.text("species.txt"), " \t2\n coli\t1\nBacillus subtilis\t1\nunassigned\t0\n");
    EXPECT_EQ(out.text("genus.txt"), "\t1\nBacillus\t1\nEscherichia\t1\nunassigned\t1\n");
}

TEST(Rankroll, LastValueOfARepeatedKeyWins) {
    const auto out = roll("1\t5\n1\t7\nunassigned\t1\nunassigned\t2\n", "1\tp__A\n1\tp__A\n");
    // A reference id on two lines adds its value twice.
    EXPECT_EQ(out.text("phylum.txt"), "A\t14\nunassigned\t2\n");
    EXPECT_EQ(out.text("class.txt"), "unassigned\t16\n");
}

TEST(Rankroll, LinesWithoutTab) {
    // The whole abundance line is key and value text (the number that begins
    // it, or 0); the whole taxonomy line is reference id and lineage.
    const auto out = roll("p__Alone\n3.5 reads\n", "p__Alone\n3.5 reads\tp__X\n");
    EXPECT_EQ(out.text("fullLineage.txt"), "p__Alone\t0\np__X\t3.5\nunassigned\t0\n");
    EXPECT_EQ(out.text("phylum.txt"), "Alone\t0\nX\t3.5\nunassigned\t0\n");
}

TEST(Rankroll, EmptyLineageCountsAsMissingEverywhere) {
    const auto out = roll("1\t2.5\nunassigned\t0.5\n", "1\t\n");
    EXPECT_EQ(out.text("fullLineage.txt"), "\t2.5\nunassigned\t0.5\n");
    for (const auto& name : rank_files) EXPECT_EQ(out.text(name), "unassigned\t3\n") << name;
}

TEST(Rankroll, TotalsAreSinglePrecisionInFileOrder) {
    // 2^24 + 1 is not a float; adding 1 to 2^24 rounds back to 2^24.
    const auto out = roll("a\t16777216\nb\t1\n", "a\tp__P\nb\tp__P\nb\tp__P\n");
    EXPECT_EQ(out.text("phylum.txt"), "P\t1.67772e+07\nunassigned\t0\n");
    const auto reversed = roll("a\t16777216\nb\t1\n", "b\tp__P\nb\tp__P\na\tp__P\n");
    EXPECT_EQ(reversed.text("phylum.txt"), "P\t1.67772e+07\nunassigned\t0\n");
}

TEST(Rankroll, FirstValueOfAKeyIsTakenAsItIs) {
    // -0 stays -0 when it starts a total; a NaN unassigned value spreads.
    const auto out = roll("1\t-0\nunassigned\t-nan\n", "1\tp__A\n");
    EXPECT_EQ(out.text("phylum.txt"), "A\t-0\nunassigned\t-nan\n");
    EXPECT_EQ(out.text("fullLineage.txt"), "p__A\t-0\nunassigned\t-nan\n");
}

TEST(Rankroll, UnassignedTaxonSortsInItsPlace) {
    const auto out = roll("1\t1\nunassigned\t4\n", "1\tg__zeta;g__unassigned;g__Alpha\n");
    EXPECT_EQ(out.text("genus.txt"), "Alpha\t1\nunassigned\t1\nzeta\t1\nunassigned\t4\n");
}

}  // namespace
