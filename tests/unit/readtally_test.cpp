// How classification lines are cut, and readtally's tables against a plain
// model of its rules on random lines.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "common/counts/count_table.hpp"
#include "common/io/output_set.hpp"
#include "common/taxonomy/classification.hpp"
#include "readtally/readtally.hpp"

namespace {

namespace tx = at::taxonomy;

TEST(Classification, TokensAreCutLikeStrtokIntoLabelsAndNames) {
    tx::Token token, next;
    for (std::string_view none : {"", ";", ";;;"}) EXPECT_FALSE(tx::Tokens(none).next(token)) << none;
    struct Case { std::string_view text, label; bool has_name; std::string_view name, through_name; };
    for (const Case& c : {Case{"p__Firmicutes(98)", "p__Firmicutes", true, "Firmicutes", "p__Firmicutes"},
                          Case{"p__Fir(x)(90)", "p__Fir", true, "Fir", "p__Fir"},
                          Case{"s__coli", "s__coli", true, "coli", "s__coli"},  // no "("
                          Case{"c_(x)", "c_", true, "x)", "c_(x)"},             // "(" in the rank prefix
                          Case{"c((x(y)", "c", true, "x(y)", "c((x(y)"},
                          Case{"g__(100)", "g__", true, "", "g__"},  // empty name
                          Case{"s__", "s__", true, "", "s__"}, Case{"a(", "a", false, "", "a("},
                          Case{"\r", "\r", false, "", "\r"}}) {
        // After a doubled ";", without a closing one; and the token on its own.
        const std::string lineage = ";k__A;;" + std::string(c.text);
        tx::Tokens tokens(lineage);
        ASSERT_TRUE(tokens.next(token) && token.text() == "k__A" && tokens.next(next)) << c.text;
        EXPECT_FALSE(tokens.next(token));
        for (const tx::Token& t : {next, tx::Token(c.text)}) {
            EXPECT_EQ(t.text(), c.text);
            EXPECT_EQ(t.label(), c.label) << c.text;
            EXPECT_EQ(t.has_name(), c.has_name) << c.text;
            EXPECT_EQ(t.has_name() ? t.name() : "", c.name) << c.text;
            EXPECT_EQ(t.through_name(), c.through_name) << c.text;
        }
    }
}

// readtally's rules, the plain way: every non-empty line counts once. Its
// lineage (after the first TAB, else the whole line) is cut at ";" into
// non-empty tokens; a token holding "unclassified", or labelled "unknown"
// (its text before the first "("), is dropped. The kept labels, each followed
// by ";", are the line's full-lineage key. A kept token of 3 characters or
// more whose first is a rank letter p c o f g s u counts its name (from index
// 3 to the first "(", or to the end when there is none or it stands before
// index 3) in that rank's table; a species as "<genus> <name>" with the last
// genus counted before it on the line. Each rank table ends with
// "unassigned", the lines minus every count of that table.
// With samples, a line counts the reads its read ID (the text before the
// TAB) has in each sample, and their sum in place of 1; each rank table is
// followed by its table per sample: the table's name and the samples, then
// the same keys with their reads in each sample, then "unassigned".
struct Samples {
    std::vector<std::string> names;
    std::map<std::string, std::vector<std::int64_t>> reads_of;
};

std::vector<std::pair<std::string, std::string>> model_tables(const std::string& input, const Samples* samples = nullptr) {
    const std::string ranks = "usgfocp";  // of the tables, in the order they are written
    const std::array<std::string, 8> files = {"otu.txt",   "species.txt", "genus.txt",  "family.txt",
                                              "order.txt", "class.txt",   "phylum.txt", "fullLineage.txt"};
    std::array<std::map<std::string, std::int64_t>, 8> counts;  // the last one of full lineages
    std::array<std::map<std::string, std::vector<std::int64_t>>, 7> sample_counts;
    const std::size_t sample_count = samples ? samples->names.size() : 0;
    std::int64_t line_count = 0;
    std::vector<std::int64_t> sample_totals(sample_count);
    std::istringstream lines(input);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();  // a CRLF line end
        if (line.empty()) continue;
        std::int64_t reads = 1;
        std::vector<std::int64_t> reads_in(sample_count);
        if (samples) {
            reads_in = samples->reads_of.at(line.substr(0, line.find('\t')));
            reads = 0;
            for (std::size_t i = 0; i < sample_count; ++i) {
                reads += reads_in[i];
                sample_totals[i] += reads_in[i];
            }
        }
        line_count += reads;
        if (line.find('\t') != std::string::npos) line = line.substr(line.find('\t') + 1);
        std::string key, genus;
        std::istringstream tokens(line);
        for (std::string token; std::getline(tokens, token, ';');) {
            const std::size_t paren = token.find('(');
            const std::string label = token.substr(0, paren);
            if (token.empty() || token.find("unclassified") != std::string::npos || label == "unknown") continue;
            key += label + ";";
            const std::size_t rank = ranks.find(token[0]);
            if (token.size() < 3 || rank == std::string::npos) continue;
            const std::string name = paren == std::string::npos || paren < 3 ? token.substr(3) : token.substr(3, paren - 3);
            if (token[0] == 'g') genus = name;
            const std::string rank_key = token[0] == 's' ? genus + " " + name : name;
            counts[rank][rank_key] += reads;
            auto& row = sample_counts[rank][rank_key];
            row.resize(sample_count);
            for (std::size_t i = 0; i < sample_count; ++i) row[i] += reads_in[i];
        }
        counts[7][key] += reads;
    }
    std::vector<std::pair<std::string, std::string>> tables;
    for (std::size_t table = 0; table < files.size(); ++table) {
        std::string text;
        std::int64_t counted = 0;
        for (const auto& [key, count] : counts[table]) {
            text += key + "\t" + std::to_string(count) + "\n";
            counted += count;
        }
        if (table < ranks.size()) text += "unassigned\t" + std::to_string(line_count - counted) + "\n";
        tables.emplace_back(files[table], text);
        if (table == ranks.size() || sample_count == 0) continue;
        const std::string name = files[table].substr(0, files[table].find('.'));
        text = name;
        for (const std::string& sample : samples->names) (text += '\t') += sample;
        std::vector<std::int64_t> unassigned = sample_totals;
        for (const auto& [key, count] : counts[table]) {
            (text += '\n') += key;
            for (std::size_t i = 0; i < sample_count; ++i) {
                (text += '\t') += std::to_string(sample_counts[table][key][i]);
                unassigned[i] -= sample_counts[table][key][i];
            }
        }
        text += "\nunassigned";
        for (const std::int64_t reads : unassigned) (text += '\t') += std::to_string(reads);
        tables.emplace_back(name + ".samples.txt", text + "\n");
    }
    return tables;
}

// Random lines as the classifier might write them, odd ones among them; with
// `with_read_ids`, every line starts with a read ID.
std::string random_lines(std::mt19937& random, int round, bool with_read_ids) {
    const std::vector<std::string> tokens = {
        "k__Bacteria", "k__Archaea", "p__Firmicutes", "p__F", "c__Bacilli", "o__Lacto", "f__Fam", "g__Bacillus",
        "g__Escherichia", "g__\xc3\xa9", "s__coli", "s__subtilis", "s__", "g__", "u__17", "u__170", "u__2",
        "g__Bacillus_unclassified", "k__Bacteria_unclassified", "c__unclassified", "p__Unclassified",
        "unknown", "unknown_unclassified", "unknownish", "g_", "s", "u_", "c_(x)", "g((B)", "s(_A", "(", "x__Odd"};
    std::string input;
    for (int line = 0, lines = 1 + static_cast<int>(random() % 800); line < lines; ++line) {
        if (with_read_ids || random() % 20 != 0) ((input += 'r') += std::to_string(line)) += '\t';  // else no read ID
        for (auto count = random() % 9; count > 0; --count) {
            input += tokens[random() % (round % 2 ? 12 : tokens.size())];
            if (random() % 3 != 0) ((input += '(') += std::to_string(random() % 101)) += ')';
            input += random() % 10 == 0 ? ";;" : ";";
        }
        if (random() % 6 == 0) input += "g__Last";  // no closing ";"
        if (random() % 5 == 0) input += random() % 2 ? "\r" : "\r\r";
        input += random() % 15 == 0 ? "\n\n" : "\n";
    }
    return input;
}

TEST(Readtally, TablesAgreeWithAPlainModelOnRandomLines) {
    std::mt19937 random(2024);
    for (int round = 0; round < 20; ++round) {
        const std::string input = random_lines(random, round, false);
        at::LineReader reader(input);
        at::MemoryOutputs outputs;
        at::readtally::tally(reader, outputs);
        std::vector<std::string> files;
        for (const auto& [file, text] : model_tables(input)) {
            files.push_back(file);
            ASSERT_EQ(outputs.text(file), text) << file << " round " << round;
        }
        EXPECT_EQ(outputs.order(), files);
    }
}

TEST(Readtally, WeightedAndPerSampleTablesAgreeWithThePlainModel) {
    std::mt19937 random(25);
    for (int round = 0; round < 20; ++round) {
        const std::string input = random_lines(random, round, true);
        // A count table of every read ID: a few samples, most reads in one,
        // some in none (a total of 0), the last sample always empty.
        Samples samples;
        samples.names = {"gut", "Soil", "soil_2", "empty"};
        std::string table = "Representative_Sequence\ttotal\tgut\tSoil\tsoil_2\tempty\n";
        for (int line = 0; line < 800; ++line) {
            std::vector<std::int64_t> reads(samples.names.size());
            for (std::size_t i = 0; i + 1 < reads.size(); ++i) reads[i] = random() % 3 == 0 ? random() % 50 : 0;
            const std::string id = std::string("r").append(std::to_string(line));
            ((table += id) += '\t') += std::to_string(reads[0] + reads[1] + reads[2]);
            for (const std::int64_t count : reads) (table += '\t') += std::to_string(count);
            table += '\n';
            samples.reads_of[id] = reads;
        }
        at::LineReader table_lines(table);
        const at::counts::ReadCounts counts = at::counts::read_count_table(table_lines, "counts");
        at::LineReader reader(input);
        at::MemoryOutputs outputs;
        at::readtally::tally(reader, outputs, &counts);
        std::vector<std::string> files;
        for (const auto& [file, text] : model_tables(input, &samples)) {
            files.push_back(file);
            ASSERT_EQ(outputs.text(file), text) << file << " round " << round;
        }
        EXPECT_EQ(outputs.order(), files);
    }
}

}  // namespace
