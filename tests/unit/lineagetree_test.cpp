#include "lineagetree/lineagetree.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace lt = at::lineagetree;

namespace {

lt::Tree tree_of_lines(std::string_view input) {
    at::LineReader reader(input);
    lt::LineTally tally;
    lt::read_classification(reader, tally);
    return lt::tree_of(std::move(tally));
}

// Every count of a tree, one per line in key order: "level parent>child=count".
std::string counts(const lt::Tree& tree) {
    static constexpr const char* level_names[] = {"class", "order", "family", "genus", "species", "otu"};
    std::string text;
    for (std::size_t level = 0; level < lt::level_count; ++level) {
        for (const auto* parent : at::sorted_entries(tree.levels[level])) {
            for (const auto* child : at::sorted_entries(parent->second)) {
                text += level_names[level];
                text += ' ' + std::string(parent->first) + '>' + std::string(child->first) + '=' +
                        std::to_string(child->second) + '\n';
            }
        }
    }
    return text;
}

std::string counts(std::string_view input) { return counts(tree_of_lines(input)); }

std::string json(const lt::Tree& tree) {
    at::MemoryOutputs outputs;
    lt::write_taxonomy(tree, outputs);
    EXPECT_EQ(outputs.order(), std::vector<std::string>{"taxonomy.json"});
    return outputs.text("taxonomy.json");
}

std::string json(std::string_view input) { return json(tree_of_lines(input)); }

// ---- reading lines into the tree ----

TEST(LineagetreeModel, SixReadExample) {
    EXPECT_EQ(counts("r1\tk__Bacteria(100);p__Firmicutes(100);c__Bacilli(100);o__Lactobacillales(98);"
                     "f__Streptococcaceae(97);g__Streptococcus(95);s__(90);u__otu7(90);\n"
                     "r2\tk__Bacteria(100);p__Firmicutes(100);c__Bacilli(100);unclassified;unclassified;\n"
                     "r3\tk__Bacteria(100);p__Proteobacteria(100);unclassified;\n"
                     "r4\tk__Bacteria(100);p__Firmicutes(100);u__42(80);\n"
                     "r5\tk__Bacteria(100);p__Firmicutes(100);\n"
                     "r6\tk__Bacteria(100);unclassified;\n"),
              "class Firmicutes>42=1\n"
              "class Firmicutes>Bacilli=2\n"
              "class Proteobacteria>unclassified=1\n"
              "order Bacilli>Lactobacillales=1\n"
              "order Bacilli>unclassified=1\n"
              "family Lactobacillales>Streptococcaceae=1\n"
              "genus Streptococcaceae>Streptococcus=1\n"
              "species Streptococcus>=1\n"
              "otu >otu7=1\n");
}

TEST(LineagetreeModel, LinesSharingCountsAddUp) {
    // Confidences do not matter; lines that share only part of their counts
    // still add into the same entries.
    EXPECT_EQ(counts("a\tk__B(1);p__F(2);c__C(3);o__O(4);\n"
                     "b\tk__B(9);p__F(9);c__C(9);o__O(9);\n"
                     "c\tk__B;p__F;c__C;unclassified;\n"
                     "d\tp__F;c__C;o__O;u__7;\n"),
              "class F>C=4\norder C>O=3\norder C>unclassified=1\nfamily O>7=1\n");
}

TEST(LineagetreeModel, EveryLineStartsWithoutRankOrPreviousName) {
    // A line that stops at a genus must not make the next line's first tokens
    // count beneath that genus.
    EXPECT_EQ(counts("a\tk__B;p__F;c__C;o__O;f__Fa;g__G;\n"
                     "b\tu__9(80);\n"
                     "c\tunclassified;\n"
                     "d\ts__x;\n"),
              "class F>C=1\norder C>O=1\nfamily O>Fa=1\ngenus Fa>G=1\nspecies >x=1\n");
}

TEST(LineagetreeModel, RankTokensNestUnderWhateverNameCameBefore) {
    EXPECT_EQ(counts("a\tk__Bacteria;c__Bacilli;\n"           // no phylum: under the kingdom
                     "b\tp__F;Bacteria(100);c__C;\n"          // no rank, but its name "teria" is passed on
                     "c\tp__F;o__O;g__G;u__5;\n"),             // skipped ranks
              "class Bacteria>Bacilli=1\nclass teria>C=1\norder F>O=1\ngenus O>G=1\nspecies G>5=1\n");
}

TEST(LineagetreeModel, OtuAndUnclassifiedTokensCountBelowTheRankStateAndEndTheLine) {
    EXPECT_EQ(counts("a\tp__F;u__42(80);c__C;\n"                  // OTU right after a phylum
                     "b\tk__B;u__1;\n"                            // after the kingdom: nothing
                     "c\tk__B;unclassified;\n"
                     "d\tp__F;c__C;unclassified(100);o__O;\n"     // counted whole, line ends
                     "e\tp__F;c__C;o__O;unknown;unclassified;\n"
                     "f\tg__G;s__s;u__u1;u__u2;\n"                // only the first OTU counts
                     "g\tg__G;s__s;o__O2;unclassified;\n"),       // the rank state is the last rank token
              "class F>42=1\nclass F>C=2\n"
              "order C>O=1\norder C>unclassified(100)=1\norder s>O2=1\n"
              "family O>unknown=1\nfamily O2>unclassified=1\n"
              "genus >G=2\n"
              "species G>s=2\n"
              "otu s>u1=1\n");
}

TEST(LineagetreeModel, BareMarkerAfterANameOfLassifiedIsNotCounted) {
    EXPECT_EQ(counts("a\tp__F;Unclassified;unclassified;\n"
                     "b\tp__F;c__lassified;unclassified;\n"
                     "c\tp__F;c__lassified;unknown;\n"
                     "d\tp__F;c__lassified;c__lassified_unclassified;\n"),
              "class F>lassified=3\n");
}

TEST(LineagetreeModel, TokensTooShortForANameChangeNothing) {
    EXPECT_EQ(counts("a\tk__B;p__F;c__C;\r\n"
                     "b\tp__F;ab;c__D;\n"     // D stays under F
                     "c\tp__F;u_;un;c__E;\n"  // too short to be an OTU or a marker
                     "d\tk_;p_;c_;\n"),
              "class F>C=1\nclass F>D=1\nclass F>E=1\n");
}

TEST(LineagetreeModel, NameEndingInUnclassifiedIsTheMarkerOfARankBelowTheCutoff) {
    const std::string old_form =
        "a\tk__Bacteria(100);p__Actinobacteria(100);c__Actinobacteria(100);o__Actinomycetales(100);"
        "f__Streptomycetaceae(100);g__Kitasatospora(99);unclassified;unclassified;\n"
        "b\tk__Bacteria(88);unclassified;unclassified;\n"
        "c\tk__Bacteria;p__Bacteroidetes;c__Bacteroidetes;o__Bacteroidales;unclassified;unclassified;\n"
        "d\tunknown;unclassified;\n";
    const std::string new_form =
        "a\tk__Bacteria(100);p__Actinobacteria(100);c__Actinobacteria(100);o__Actinomycetales(100);"
        "f__Streptomycetaceae(100);g__Kitasatospora(99);g__Kitasatospora_unclassified(99);"
        "g__Kitasatospora_unclassified(99);\n"
        "b\tk__Bacteria(88);k__Bacteria_unclassified(88);k__Bacteria_unclassified(88);\n"
        "c\tk__Bacteria;p__Bacteroidetes;c__Bacteroidetes;o__Bacteroidales;o__Bacteroidales_unclassified;"
        "o__Bacteroidales_unclassified;\n"
        "d\tunknown;unknown_unclassified(0);\n";
    const std::string expected =
        "class Actinobacteria>Actinobacteria=1\nclass Bacteroidetes>Bacteroidetes=1\n"
        "order Actinobacteria>Actinomycetales=1\norder Bacteroidetes>Bacteroidales=1\n"
        "family Actinomycetales>Streptomycetaceae=1\nfamily Bacteroidales>unclassified=1\n"
        "genus Streptomycetaceae>Kitasatospora=1\n"
        "species Kitasatospora>unclassified=1\n";
    EXPECT_EQ(counts(old_form), expected);
    EXPECT_EQ(counts(new_form), expected);
}

TEST(LineagetreeModel, MarkerTestLooksAtTheTaxonNameOnly) {
    EXPECT_EQ(counts("a\tp__F;c__unclassified(80);o__O;\n"         // a class named unclassified
                     "b\tp__F;c__C;o__X_unclassified_ish;\n"         // suffix not at the end
                     "c\tp__F;c__C;o___unclassified(5);o__Y;\n"      // empty label plus the suffix
                     "d\tp__F;c__C;u__9_unclassified(1);\n"),        // any rank letter
              "class F>C=3\nclass F>unclassified=1\n"
              "order C>X_unclassified_ish=1\norder C>unclassified=2\norder unclassified>O=1\n");
}

TEST(LineagetreeModel, LineageIsTheTextAfterTheFirstTab) {
    EXPECT_EQ(counts("p__F;c__NoTab(1);\n"
                     "r\t\n"
                     "r\tp__F;c__A\tB(1);\n"
                     "r\tp__F;c__(9);o__x(1);\n"      // empty name as child and as parent
                     "r\tp__F;c_(x);o__y;\n"),        // "(" inside the rank prefix
              "class F>=1\nclass F>A\tB=1\nclass F>NoTab=1\nclass F>x)=1\norder >x=1\norder x)>y=1\n");
}

TEST(LineagetreeModel, LinesSharingAllButTheirLastCountAddUpUnderTheShared) {
    // Many OTUs under one species, lines that end at different depths below
    // the same taxa, last counts under a name that is not the previous child
    // (after a token of no rank) and lines of a single count: every shared
    // count is the sum of its lines, however the lines end.
    std::string input;
    for (int otu = 0; otu < 40; ++otu) {
        for (int repeat = 0; repeat <= otu % 3; ++repeat) {
            input += "r\tp__F;c__C;o__O;f__Fa;g__G;s__S;u__" + std::to_string(otu) + ";\n";
        }
    }
    input += "r\tp__F;c__C;o__O;f__Fa;g__G;s__S;\n"
             "r\tp__F;c__C;o__O;f__Fa;g__G;s__S_unclassified;\n"
             "r\tp__F;c__C;o__O;x__Mid;u__7;\n"
             "r\tp__F;c__C;o__O;x__Mid;u__7;\n"
             "r\tp__F;u__7;\n"
             "r\tg__G;u__7;\n";
    const std::string tree = counts(input);
    // 40 OTUs seen 1, 2 or 3 times: 14 + 2 * 13 + 3 * 13 = 79 lines.
    EXPECT_NE(tree.find("class F>C=83\n"), std::string::npos) << tree;
    EXPECT_NE(tree.find("class F>7=1\n"), std::string::npos) << tree;
    EXPECT_NE(tree.find("order C>O=83\n"), std::string::npos) << tree;
    EXPECT_NE(tree.find("family O>Fa=81\n"), std::string::npos) << tree;
    EXPECT_NE(tree.find("family Mid>7=2\n"), std::string::npos) << tree;
    EXPECT_NE(tree.find("genus Fa>G=81\n"), std::string::npos) << tree;
    EXPECT_NE(tree.find("species G>S=80\n"), std::string::npos) << tree;
    EXPECT_NE(tree.find("species G>7=1\n"), std::string::npos) << tree;
    EXPECT_NE(tree.find("species G>unclassified=1\n"), std::string::npos) << tree;
    EXPECT_NE(tree.find("otu S>0=1\notu S>1=2\notu S>10=2\n"), std::string::npos) << tree;
    EXPECT_NE(tree.find("otu S>39=1\n"), std::string::npos) << tree;
    // One count per OTU under S, and nothing else there.
    std::size_t otu_counts = 0;
    for (std::size_t at = tree.find("otu S>"); at != std::string::npos; at = tree.find("otu S>", at + 1)) ++otu_counts;
    EXPECT_EQ(otu_counts, 40u);
}

// ---- writing taxonomy.json ----

constexpr std::string_view empty_tree = "{\n \"name\": \"taxonomy\",\n \"children\": [\n ]\n}";

TEST(LineagetreeWriter, EmptyTreeIsTheRootAlone) {
    EXPECT_EQ(empty_tree.size(), 42u);
    EXPECT_EQ(json(lt::Tree{}), empty_tree);
    EXPECT_EQ(json(""), empty_tree);
    EXPECT_EQ(json("r5\tk__Bacteria(100);p__Firmicutes(100);\nr6\tk__Bacteria(100);unclassified;\n"), empty_tree);
}

TEST(LineagetreeWriter, SiblingsAndPhylaAreSeparatedByCommas) {
    lt::Tree tree;
    tree.levels[lt::class_level]["P1"]["a"] = 1;
    tree.levels[lt::class_level]["P1"]["b"] = 2;
    tree.levels[lt::class_level]["P2"]["c"] = 3;
    EXPECT_EQ(json(tree),
              "{\n \"name\": \"taxonomy\",\n \"children\": [\n"
              "  {\n   \"name\": \"P1\",\n   \"children\": [\n"
              "    {\"name\": \"a\", \"size\": 1},\n"
              "    {\"name\": \"b\", \"size\": 2}\n"
              "   ]\n  },\n"
              "  {\n   \"name\": \"P2\",\n   \"children\": [\n"
              "    {\"name\": \"c\", \"size\": 3}\n"
              "   ]\n  }\n"
              " ]\n}");
}

TEST(LineagetreeWriter, EveryDepthHasItsIndentationAndLeavesCarryTheirCount) {
    // The opening braces of genus and species nodes stand after 8 spaces, as a
    // family's does.
    EXPECT_EQ(json("a\tp__P;c__C;o__O;f__F;g__G;s__S;unclassified;\n"
                   "b\tp__P;c__C;o__O;f__F;g__G;unclassified;\n"
                   "c\tp__P;c__C;o__O;f__F;g__G;unclassified;\n"
                   "d\tp__P;c__C;o__O;f__F;u__1;\n"
                   "e\tp__P;c__C;o__O;u__2;\n"
                   "f\tp__P;c__C;u__3;\n"
                   "g\tp__P;u__4;\n"),
              "{\n \"name\": \"taxonomy\",\n \"children\": [\n"
              "  {\n   \"name\": \"P\",\n   \"children\": [\n"
              "    {\"name\": \"4\", \"size\": 1},\n"
              "    {\n     \"name\": \"C\",\n     \"children\": [\n"
              "      {\"name\": \"3\", \"size\": 1},\n"
              "      {\n       \"name\": \"O\",\n       \"children\": [\n"
              "        {\"name\": \"2\", \"size\": 1},\n"
              "        {\n         \"name\": \"F\",\n         \"children\": [\n"
              "          {\"name\": \"1\", \"size\": 1},\n"
              "        {\n           \"name\": \"G\",\n           \"children\": [\n"
              "        {\n             \"name\": \"S\",\n             \"children\": [\n"
              "              {\"name\": \"unclassified\", \"size\": 1}\n"
              "             ]\n            },\n"
              "            {\"name\": \"unclassified\", \"size\": 2}\n"
              "           ]\n          }\n"
              "         ]\n        }\n"
              "       ]\n      }\n"
              "     ]\n    }\n"
              "   ]\n  }\n"
              " ]\n}");
}

TEST(LineagetreeWriter, NameUnderManyParentsIsWrittenAsIfEachWereItsOwn) {
    // The empty species name under two genera, with its OTUs, and the same
    // tree with the second one renamed: the text must differ in that name only.
    const auto build = [](std::string_view second_species) {
        lt::Tree tree;
        tree.levels[lt::class_level]["P"]["C"] = 1;
        tree.levels[lt::order_level]["C"]["O"] = 1;
        tree.levels[lt::family_level]["O"]["F1"] = 1;
        tree.levels[lt::family_level]["O"]["F2"] = 1;
        tree.levels[lt::genus_level]["F1"]["G1"] = 1;
        tree.levels[lt::genus_level]["F2"]["G2"] = 1;
        tree.levels[lt::species_level]["G1"][""] = 3;
        tree.levels[lt::species_level]["G2"][second_species] = 4;
        for (const std::string_view species : {std::string_view(), second_species}) {
            tree.levels[lt::otu_level][species]["u1"] = 5;
            tree.levels[lt::otu_level][species]["u\"2"] = 2;
        }
        return tree;
    };
    const std::string shared = json(build(""));
    std::string separate = json(build("s2"));
    const std::string renamed = "\"name\": \"s2\"";
    ASSERT_NE(separate.find(renamed), std::string::npos);
    separate.replace(separate.find(renamed), renamed.size(), "\"name\": \"\"");
    EXPECT_EQ(shared, separate);
    EXPECT_NE(shared.find("{\"name\": \"u\\\"2\", \"size\": 2}"), std::string::npos);
}

TEST(LineagetreeWriter, ChildrenComeInByteOrder) {
    const std::string text = json("a\tp__P;c__b;\nb\tp__P;c__B;\nc\tp__P;c__\xc3\xa9;\nd\tp__P;c__;\n"
                                  "e\tp__P;c__1;\nf\tp__P;c__bb;\ng\tp__P;c__b;\n");
    EXPECT_NE(text.find("    {\"name\": \"\", \"size\": 1},\n"
                        "    {\"name\": \"1\", \"size\": 1},\n"
                        "    {\"name\": \"B\", \"size\": 1},\n"
                        "    {\"name\": \"b\", \"size\": 2},\n"
                        "    {\"name\": \"bb\", \"size\": 1},\n"
                        "    {\"name\": \"\xc3\xa9\", \"size\": 1}\n"),
              std::string::npos)
        << text;
}

TEST(LineagetreeWriter, NamesAreWrittenAsJsonStrings) {
    lt::Tree tree;
    tree.levels[lt::class_level]["q\"b\\"]["\b\f\n\r\t|\x01\x1f\x7f\xff"] = 1;
    EXPECT_EQ(json(tree),
              "{\n \"name\": \"taxonomy\",\n \"children\": [\n"
              "  {\n   \"name\": \"q\\\"b\\\\\",\n   \"children\": [\n"
              "    {\"name\": \"\\b\\f\\n\\r\\t|\\u0001\\u001f\x7f\xff\", \"size\": 1}\n"
              "   ]\n  }\n"
              " ]\n}");
}

TEST(LineagetreeWriter, CountsBeyondThirtyTwoBitsAreWrittenWhole) {
    lt::Tree tree;
    tree.levels[lt::class_level]["P"]["C"] = 5'000'000'000;
    EXPECT_NE(json(tree).find("{\"name\": \"C\", \"size\": 5000000000}"), std::string::npos);
}

}  // namespace
