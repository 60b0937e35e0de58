// Microbenchmarks of the pieces that every line of a large input goes through:
// the line reader, the classification-file token cutting, the number
// conversions and the %g writer.
//   cmake --preset bench && cmake --build --preset bench --target microbench
//   build/bench/bench/microbench

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include "common/fields.hpp"
#include "common/line_reader.hpp"
#include "common/numbers.hpp"
#include "common/text_sink.hpp"
#include "readtally/classification.hpp"

namespace {

namespace c = at::classification;

// Lineages as the classifier writes them; most reads of a run reach an OTU.
constexpr std::array<std::string_view, 10> lineages = {
    "k__Bacteria(100);p__Firmicutes(100);c__Bacilli(100);o__Lactobacillales(100);f__Aerococcaceae(100);"
    "g__Abiotrophia(100);s__morbi(100);u__470(100);",
    "k__Bacteria(100);p__Actinobacteria(100);c__Actinobacteria(100);o__Actinomycetales(100);"
    "f__Nocardiopsaceae(100);g__Nocardiopsis(100);s__dassonvillei(100);u__121(100);",
    "k__Bacteria(100);p__Firmicutes(100);c__Clostridia(100);o__Clostridiales(100);f__Peptococcaceae(100);"
    "g__Desulfosporosinus(100);s__orientis(100);u__276(100);",
    "k__Bacteria(100);p__Aquificae(100);c__Aquificae(100);o__Aquificales(100);f__Aquificaceae(100);"
    "g__Sulfurihydrogenibium(100);s__(100);u__584(100);",
    "k__Bacteria(100);p__Proteobacteria(100);c__Gammaproteobacteria(99);o__Pseudomonadales(99);"
    "f__Moraxellaceae(98);g__Acinetobacter(96);s__johnsonii(93);u__10233(88);",
    "k__Bacteria(100);p__Bacteroidetes(100);c__Bacteroidia(100);o__Bacteroidales(100);"
    "f__Bacteroidaceae(100);g__Bacteroides(100);s__caccae(100);u__37(100);",
    "k__Bacteria(100);p__Firmicutes(100);c__Bacilli(100);o__Bacillales(100);f__Bacillaceae(100);"
    "g__Bacillus(100);s__subtilis(100);u__1017(100);",
    "k__Bacteria(100);p__Actinobacteria(100);c__Actinobacteria(100);o__Actinomycetales(100);"
    "f__Streptomycetaceae(100);g__Kitasatospora(99);g__Kitasatospora_unclassified(99);"
    "g__Kitasatospora_unclassified(99);",
    "k__Bacteria(88);k__Bacteria_unclassified(88);k__Bacteria_unclassified(88);k__Bacteria_unclassified(88);"
    "k__Bacteria_unclassified(88);k__Bacteria_unclassified(88);k__Bacteria_unclassified(88);"
    "k__Bacteria_unclassified(88);",
    "unknown;unknown_unclassified(0);unknown_unclassified(0);unknown_unclassified(0);unknown_unclassified(0);"
    "unknown_unclassified(0);unknown_unclassified(0);unknown_unclassified(0);",
};

// A small generator with a fixed seed: the same text in every run.
struct Lcg {
    std::uint64_t state = 0x2545F4914F6CDD1DULL;
    std::uint32_t next() {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<std::uint32_t>(state >> 33);
    }
};

std::string read_id(Lcg& random) {
    char id[80];
    std::snprintf(id, sizeof id, "M03542_87_000000000-AYF2C_1_%u%02u_%u_%u", 1 + random.next() % 2,
                  1 + random.next() % 19, 1000 + random.next() % 29000, 1000 + random.next() % 29000);
    return id;
}

// About 8 MB of classification lines: eight in ten reach an OTU.
const std::string& classification_text() {
    static const std::string text = [] {
        std::string out;
        Lcg random;
        while (out.size() < (std::size_t{8} << 20)) {
            const std::uint32_t pick = random.next() % 100;
            const std::size_t lineage = pick < 80 ? pick % 7 : 7 + pick % 3;
            out += read_id(random);
            out += '\t';
            out += lineages[lineage];
            out += '\n';
        }
        return out;
    }();
    return text;
}

// About 8 MB of FASTA records, a third of them wrapped at 60 or 80 columns.
const std::string& fasta_text() {
    static const std::string text = [] {
        std::string out;
        Lcg random;
        while (out.size() < (std::size_t{8} << 20)) {
            out += '>';
            out += read_id(random);
            out += " 1:N:0:TGGATGAT\n";
            const std::uint32_t style = random.next() % 3;
            const std::size_t width = style == 0 ? 253 : style == 1 ? 60 : 80;
            for (std::size_t base = 0; base < 253; ++base) {
                out += "ACGT"[random.next() % 4];
                if ((base + 1) % width == 0 || base == 252) out += '\n';
            }
        }
        return out;
    }();
    return text;
}

std::vector<std::string_view> lines_of(const std::string& text) {
    std::vector<std::string_view> lines;
    at::LineReader reader{std::string_view(text)};
    std::string_view line;
    while (reader.next(line)) lines.push_back(line);
    return lines;
}

std::size_t bytes_of(const std::vector<std::string_view>& lines) {
    std::size_t bytes = 0;
    for (std::string_view line : lines) bytes += line.size();
    return bytes;
}

void count_lines_in_memory(benchmark::State& state, const std::string& text) {
    std::size_t lines = 0;
    for (auto _ : state) {
        at::LineReader reader{std::string_view(text)};
        std::string_view line;
        while (reader.next(line)) {
            benchmark::DoNotOptimize(line.data());
            ++lines;
        }
    }
    benchmark::DoNotOptimize(lines);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}

void BM_LineReader_ClassificationInMemory(benchmark::State& state) {
    count_lines_in_memory(state, classification_text());
}
BENCHMARK(BM_LineReader_ClassificationInMemory);

void BM_LineReader_FastaInMemory(benchmark::State& state) { count_lines_in_memory(state, fasta_text()); }
BENCHMARK(BM_LineReader_FastaInMemory);

// The same lines through read(2) from a memory-backed file: the block refill
// path that the programs take, without a disk.
void BM_LineReader_ClassificationFromFd(benchmark::State& state) {
    const std::string& text = classification_text();
    const int fd = memfd_create("classification", 0);
    if (fd < 0 || write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
        state.SkipWithError("memfd_create or write failed");
        return;
    }
    for (auto _ : state) {
        lseek(fd, 0, SEEK_SET);
        at::LineReader reader(fd);
        std::string_view line;
        while (reader.next(line)) benchmark::DoNotOptimize(line.data());
    }
    close(fd);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_LineReader_ClassificationFromFd);

// What readtally and lineagetree do to each line before any table lookup:
// split off the lineage, cut it at ";", and take each token's label and name.
void BM_Tokens_LabelAndName(benchmark::State& state) {
    const std::vector<std::string_view> lines = lines_of(classification_text());
    const std::size_t bytes = bytes_of(lines);
    for (auto _ : state) {
        for (std::string_view line : lines) {
            c::Tokens tokens(c::lineage_of(line));
            std::string_view token;
            while (tokens.next(token)) {
                std::string_view label = c::taxon_label(token);
                benchmark::DoNotOptimize(label);
                if (c::has_taxon_name(token)) {
                    std::string_view name = c::taxon_name(token);
                    benchmark::DoNotOptimize(name);
                }
            }
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * lines.size()));
}
BENCHMARK(BM_Tokens_LabelAndName);

// Only the ";" cutting, for comparison with the label and name work above.
void BM_Tokens_CutOnly(benchmark::State& state) {
    const std::vector<std::string_view> lines = lines_of(classification_text());
    const std::size_t bytes = bytes_of(lines);
    for (auto _ : state) {
        for (std::string_view line : lines) {
            c::Tokens tokens(c::lineage_of(line));
            std::string_view token;
            while (tokens.next(token)) benchmark::DoNotOptimize(token.data());
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * lines.size()));
}
BENCHMARK(BM_Tokens_CutOnly);

// Counts as the tables hold them (otu.txt, otu_reflowONE.txt) and a few
// oddities the conversion must still take: blanks, signs, a CR.
constexpr std::array<std::string_view, 12> whole_texts = {
    "1", "14", "470", "2105", "38217", "1048576", "unassigned", " 42", "-7", "12\r", "+300", "4400005",
};

void BM_ToWhole(benchmark::State& state) {
    for (auto _ : state) {
        for (std::string_view text : whole_texts) {
            std::int64_t value = at::to_whole(text);
            benchmark::DoNotOptimize(value);
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * whole_texts.size()));
}
BENCHMARK(BM_ToWhole);

// Rows of an otu.txt-like table (name, TAB, count) cut and read as the
// programs read them: the plain way, and the way for lines from a reader,
// which may read past the end of a line.
const std::string& count_table_text() {
    static const std::string text = [] {
        std::string table;
        std::uint64_t state = 7;
        for (int row = 1; row <= 100000; ++row) {
            state = state * 6364136223846793005ull + 1442695040888963407ull;
            table += std::to_string(row * 3 / 2) + '\t' + std::to_string(1 + (state >> 33) % ((state >> 60) == 0 ? 20000 : 60)) + '\n';
        }
        return table;
    }();
    return text;
}

template <bool in_line>
void table_rows(benchmark::State& state) {
    const std::string& text = count_table_text();
    at::LineReader reader{std::string_view(text)};
    std::vector<std::string_view> lines;
    std::string_view line;
    while (reader.next(line)) lines.push_back(line);
    for (auto _ : state) {
        std::int64_t sum = 0;
        for (const std::string_view row_text : lines) {
            const at::TwoColumnRow row = in_line ? at::split_row_in_line(row_text) : at::split_row(row_text);
            sum += static_cast<std::int64_t>(row.key.size()) + (in_line ? at::to_whole_in_line(row.value) : at::to_whole(row.value));
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * lines.size()));
}

void BM_TableRows_Plain(benchmark::State& state) { table_rows<false>(state); }
BENCHMARK(BM_TableRows_Plain);

void BM_TableRows_InLine(benchmark::State& state) { table_rows<true>(state); }
BENCHMARK(BM_TableRows_InLine);

// Weights of the mapping matrix and percentages of otu_reflowMANY.txt.
constexpr std::array<std::string_view, 12> real_texts = {
    "0.139535", "0.0232558", "33.3333", "12.5", "1e+06", "100", "0.00465116", "7.71028e-05",
    "1", "0.5", "-nan", "inf",
};

void BM_ToReal(benchmark::State& state) {
    for (auto _ : state) {
        for (std::string_view text : real_texts) {
            double value = at::to_real(text);
            benchmark::DoNotOptimize(value);
        }
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * real_texts.size()));
}
BENCHMARK(BM_ToReal);

// Percentages and rolled-up values as the tables write them.
void BM_AppendReal(benchmark::State& state) {
    std::vector<float> values;
    Lcg random;
    for (int i = 0; i < 1024; ++i) {
        const std::uint32_t r = random.next();
        switch (r % 4) {
            case 0: values.push_back(static_cast<float>(r % 100000) / 1000.0f); break;       // 33.333
            case 1: values.push_back(static_cast<float>(r % 1000) / 1000000.0f); break;      // 0.000417
            case 2: values.push_back(static_cast<float>(r % 5000000)); break;                // whole counts
            default: values.push_back(100.0f / static_cast<float>(1 + r % 97)); break;       // shares
        }
    }
    std::string out;
    out.reserve(1 << 16);
    for (auto _ : state) {
        out.clear();
        for (float value : values) at::append_real(out, value);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * values.size()));
}
BENCHMARK(BM_AppendReal);

void BM_AppendWhole(benchmark::State& state) {
    std::vector<std::int64_t> values;
    Lcg random;
    for (int i = 0; i < 1024; ++i) values.push_back(random.next() % (std::int64_t{1} << (random.next() % 31)));
    std::string out;
    out.reserve(1 << 16);
    for (auto _ : state) {
        out.clear();
        for (std::int64_t value : values) at::append_whole(out, value);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * values.size()));
}
BENCHMARK(BM_AppendWhole);

}  // namespace

BENCHMARK_MAIN();
