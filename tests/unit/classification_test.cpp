#include "readtally/classification.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace c = at::classification;

namespace {

std::vector<std::string> tokens(std::string_view lineage) {
    std::vector<std::string> found;
    c::Tokens cut(lineage);
    std::string_view token;
    while (cut.next(token)) found.emplace_back(token);
    return found;
}

TEST(Classification, ReadIdAndLineageSplitAtTheFirstTab) {
    EXPECT_EQ(c::read_id_of("r1\tk__A(1);\tx"), "r1");
    EXPECT_EQ(c::lineage_of("r1\tk__A(1);\tx"), "k__A(1);\tx");
    EXPECT_EQ(c::read_id_of("no tab here"), "no tab here");
    EXPECT_EQ(c::lineage_of("no tab here"), "no tab here");
    EXPECT_EQ(c::lineage_of("r1\t"), "");
    EXPECT_EQ(c::read_id_of("\tk__A;"), "");
}

TEST(Classification, TokensAreCutLikeStrtok) {
    const std::vector<std::string> two{"k__Bacteria(100)", "p__Firmicutes(98)"};
    EXPECT_EQ(tokens("k__Bacteria(100);p__Firmicutes(98);"), two);
    EXPECT_EQ(tokens("k__Bacteria(100);;p__Firmicutes(98);"), two);
    EXPECT_EQ(tokens(";;k__Bacteria(100);p__Firmicutes(98)"), two);
    EXPECT_TRUE(tokens("").empty());
    EXPECT_TRUE(tokens(";;;").empty());
    EXPECT_EQ(tokens("a;\r"), (std::vector<std::string>{"a", "\r"}));
}

TEST(Classification, TaxonNameRunsFromIndexThreeToTheFirstParenthesis) {
    EXPECT_EQ(c::taxon_name("p__Firmicutes(100)"), "Firmicutes");
    EXPECT_EQ(c::taxon_name("s__coli"), "coli");
    EXPECT_EQ(c::taxon_name("p__Fir(x)(90)"), "Fir");
    EXPECT_EQ(c::taxon_name("g__(100)"), "");
    EXPECT_EQ(c::taxon_name("c_(x)"), "x)");
    EXPECT_EQ(c::taxon_name("c((x(y)"), "x(y)");  // first "(" before index 3: to the end
    EXPECT_EQ(c::taxon_name("s__"), "");
    EXPECT_FALSE(c::has_taxon_name("\r"));
    EXPECT_FALSE(c::has_taxon_name("u_"));
    EXPECT_TRUE(c::has_taxon_name("u__"));
}

TEST(Classification, TaxonLabelDropsTheConfidence) {
    EXPECT_EQ(c::taxon_label("p__Firmicutes(100)"), "p__Firmicutes");
    EXPECT_EQ(c::taxon_label("s__coli"), "s__coli");
    EXPECT_EQ(c::taxon_label("c_(x)"), "c_");
    EXPECT_EQ(c::rank_letter("u__17(70)"), 'u');
}

TEST(Classification, RankBelowCutoffIsMarkedBySuffixOfTheName) {
    EXPECT_TRUE(c::marks_rank_below_cutoff(c::taxon_name("g__Kitasatospora_unclassified(99)")));
    EXPECT_TRUE(c::marks_rank_below_cutoff(c::taxon_name("unknown_unclassified(0)")));
    EXPECT_TRUE(c::marks_rank_below_cutoff("_unclassified"));
    EXPECT_FALSE(c::marks_rank_below_cutoff(c::taxon_name("c__unclassified(80)")));
    EXPECT_FALSE(c::marks_rank_below_cutoff(c::taxon_name("unclassified")));
    EXPECT_FALSE(c::marks_rank_below_cutoff("X_unclassified_ish"));
    EXPECT_FALSE(c::marks_rank_below_cutoff("X_Unclassified"));
}

}  // namespace

namespace {

// The token cut done the plain way, one byte at a time.
struct PlainToken {
    std::string text;
    std::size_t first_paren;
    bool operator==(const PlainToken&) const = default;
};

std::vector<PlainToken> plain_tokens(const std::string& lineage) {
    std::vector<PlainToken> found;
    std::string current;
    auto close = [&] {
        if (!current.empty()) found.push_back({current, current.find('(')});
        current.clear();
    };
    for (char ch : lineage) {
        if (ch == ';') {
            close();
        } else {
            current += ch;
        }
    }
    close();
    return found;
}

TEST(Classification, TokenScanAgreesWithAPlainCutAtEveryLengthAndOffset) {
    // Lineages of every length up to well past the 16-byte scanning chunks,
    // built from an alphabet rich in separators and parentheses.
    const char alphabet[] = {';', '(', ')', 'a', 'k', '_', ';', '(', 'x', '\r'};
    std::uint32_t state = 12345;
    for (int round = 0; round < 4000; ++round) {
        state = state * 1103515245u + 12345u;
        const std::size_t length = (state >> 8) % 70;
        std::string lineage;
        for (std::size_t i = 0; i < length; ++i) {
            state = state * 1103515245u + 12345u;
            lineage += alphabet[(state >> 16) % sizeof alphabet];
        }
        std::vector<PlainToken> scanned;
        c::Tokens cut(lineage);
        std::string_view token;
        while (cut.next(token)) scanned.push_back({std::string(token), cut.first_paren()});
        ASSERT_EQ(scanned, plain_tokens(lineage)) << '"' << lineage << '"';
    }
}

TEST(Classification, KnownParenthesisGivesTheSameLabelAndName) {
    for (std::string_view token : {"p__Firmicutes(100)", "s__coli", "c_(x)", "g__(100)", "c((x(y)", "s__"}) {
        const std::size_t paren = token.find('(');
        EXPECT_EQ(c::taxon_label(token, paren), c::taxon_label(token)) << token;
        EXPECT_EQ(c::taxon_name(token, paren), c::taxon_name(token)) << token;
    }
}

}  // namespace
