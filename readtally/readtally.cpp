#include "readtally/readtally.hpp"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/counts/sample_rows.hpp"
#include "common/fast/flat_map.hpp"
#include "common/fast/key_list.hpp"
#include "common/fast/prefixed_key_list.hpp"
#include "common/taxonomy/classification.hpp"
#include "common/taxonomy/line_heads.hpp"
#include "common/taxonomy/ranks.hpp"
#include "common/text/arena.hpp"
#include "readtally/samples_table.hpp"

namespace at::readtally {

namespace {

using taxonomy::Rank;
using taxonomy::Token;
using Counts = fast::FlatMap<std::int64_t>;
using counts::SampleRows;

// The rank tables, in the order their files are written.
constexpr std::array<Rank, 7> table_ranks = {Rank::otu,   Rank::species, Rank::genus, Rank::family,
                                             Rank::order, Rank::class_,  Rank::phylum};

constexpr std::size_t no_table = table_ranks.size();

// The table of a token's rank; no_table for the kingdom and tokens that name
// no rank.
std::size_t table_of(char rank_letter) { return taxonomy::place_of(table_ranks, taxonomy::rank_of(rank_letter)); }

// A line keeps its tokens but the classifier's markers for a rank it left
// unassigned (a token that holds "unclassified" anywhere) and its label for
// a read it placed nowhere. `may_hold_marker` is false for a line that holds
// no marker at all, which most lines of a run do not.
bool is_kept(const Token& token, bool may_hold_marker) {
    if (may_hold_marker && token.holds_unclassified_marker()) return false;
    return token.label() != taxonomy::unplaced_label;
}

// The reads a run counted: in all and, when they are known, in each sample.
struct Reads {
    std::int64_t total = 0;
    std::vector<std::int64_t> in_sample;
};

// A line of the classification as it is counted: its read ID, when the reads
// are weighed, and its kept tokens, each cut after its taxon name and
// followed by ";".
struct CountedLine {
    std::string read_id;
    std::string kept_taxa;
    std::string_view key() const { return read_id; }
};

// Reads the next line of a classification file; false at its end.
bool read_line(LineReader& classification, bool with_read_id, CountedLine& counted) {
    std::string_view line;
    if (!classification.next(line)) return false;
    if (with_read_id) counted.read_id.assign(taxonomy::read_id_of(line));
    const std::string_view lineage = taxonomy::lineage_of(line);
    const bool may_hold_marker = fast::contains(lineage, taxonomy::unclassified_marker);
    counted.kept_taxa.clear();
    taxonomy::Tokens tokens(lineage);
    Token token;
    while (tokens.next(token)) {
        if (!is_kept(token, may_hold_marker)) continue;
        counted.kept_taxa += token.through_name();
        counted.kept_taxa += ';';
    }
    return true;
}

// What lines count in the tables: each kept token counts its rank key, and
// each line its full-lineage key, the labels of its kept tokens each
// followed by ";". A line counts the reads its read stands for; with
// samples, the tables of the ranks also count them per sample.
class Tables {
public:
    // `samples_by_kept_taxa`: the reads per sample of each kept-token text
    // counted, or nullptr without samples.
    explicit Tables(SampleRows* samples_by_kept_taxa) : samples_by_kept_taxa_(samples_by_kept_taxa) {
        if (samples_by_kept_taxa_ == nullptr) return;
        for (auto& table : sample_ranks_) table.emplace(samples_by_kept_taxa_->samples());
    }

    // Counts the reads by their kept tokens, each cut after its taxon name
    // and followed by ";". The texts must stay while the tables are used.
    // A head's tokens are counted once, with the reads of all its endings.
    void count(taxonomy::LinesByHead& reads_by_kept_taxa) {
        reads_by_kept_taxa.for_each_head([this](std::string_view head, const auto& endings, std::int64_t reads) {
            count_head(head, endings, reads);
        });
    }

    // The rank tables, each closed by its unassigned row: the reads that
    // counted in none of its keys; each followed, with samples, by its table
    // per sample; then the full-lineage table.
    void write(OutputSet& outputs, const Reads& reads, const std::vector<std::string>& samples) {
        for (std::size_t table = 0; table < table_ranks.size(); ++table) {
            const Rank rank = table_ranks[table];
            TextSink& out = outputs.create(taxonomy::table_file(rank));
            std::optional<SamplesTable> per_sample;
            if (samples_by_kept_taxa_ != nullptr) {
                per_sample.emplace(outputs.create(taxonomy::samples_table_file(rank)), taxonomy::table_name(rank), samples);
            }
            std::int64_t counted = 0;
            const auto write_row = [&](std::string_view key, std::int64_t key_reads) {
                out.row(key, key_reads);
                counted += key_reads;
                if (per_sample) per_sample->row(key, sample_ranks_[table]->row(key));
            };
            if (rank == Rank::otu) {
                otus_.for_each_sorted(write_row);
            } else {
                for (const auto* entry : fast::sorted_entries(ranks_[table])) write_row(entry->key(), entry->value);
            }
            out.row(taxonomy::unassigned_key, reads.total - counted);
            if (per_sample) per_sample->close(reads.in_sample);
        }
        TextSink& out = outputs.create(taxonomy::full_lineage_file);
        full_lineages_.for_each_sorted([&out](std::string_view head, std::string_view ending, std::int64_t lines) {
            out.write(head);
            out.row(ending, lines);
        });
    }

private:
    void count_head(std::string_view head, std::span<const taxonomy::LineEnding> endings, std::int64_t lines) {
        full_lineage_key_.clear();
        current_genus_.clear();
        const auto head_samples =
            samples_by_kept_taxa_ ? samples_by_kept_taxa_->sum_of_lines(head, endings) : std::span<const std::int64_t>();
        taxonomy::Tokens tokens(head);
        Token token;
        while (tokens.next(token)) count_token(token, lines, head_samples);
        // The full-lineage keys of the head's lines begin with the labels of
        // its tokens, and each goes on with the label of its last token.
        const std::uint32_t head_key = full_lineages_.add_prefix(built_keys_.keep(full_lineage_key_));
        head_genus_ = current_genus_;
        for (const taxonomy::LineEnding& ending : endings) {
            full_lineage_key_.clear();
            current_genus_ = head_genus_;
            taxonomy::Tokens last(ending.last);
            if (last.next(token)) {
                count_token(token, ending.lines,
                            samples_by_kept_taxa_ ? samples_by_kept_taxa_->row(head, ending.last) : std::span<const std::int64_t>());
            }
            // A token's label is the start of its text cut after the taxon
            // name, and all of it unless its "(" stands in the rank prefix:
            // where the key is as long as the text, it is the text.
            const bool key_is_text = full_lineage_key_.size() == ending.last.size();
            full_lineages_.add(head_key, key_is_text ? ending.last : built_keys_.keep(full_lineage_key_), ending.lines);
        }
    }

    // A kept token of the line being counted, in order, with the reads of
    // the lines it stands for, in all and per sample.
    void count_token(const Token& token, std::int64_t reads, std::span<const std::int64_t> sample_reads) {
        full_lineage_key_ += token.label();
        full_lineage_key_ += ';';
        if (!token.has_name()) return;  // too short to name a taxon
        const std::size_t table = table_of(token.rank_letter());
        if (table == no_table) return;
        std::string_view key = token.name();
        switch (table_ranks[table]) {
            case Rank::otu: otus_.add(key, reads); break;
            case Rank::genus:
                current_genus_.assign(key);
                ranks_[table][key] += reads;
                break;
            case Rank::species:
                taxonomy::make_species_key(species_key_, current_genus_, key);
                key = species_key_;
                ranks_[table][key] += reads;
                break;
            default: ranks_[table][key] += reads;
        }
        if (sample_ranks_[table]) sample_ranks_[table]->add(key, sample_reads);
    }

    SampleRows* samples_by_kept_taxa_;
    std::array<std::optional<SampleRows>, table_ranks.size()> sample_ranks_;

    // OTUs and full lineages are about as many as the lines' kept texts,
    // other taxa few: those are counted in maps.
    fast::KeyList<std::int64_t> otus_;
    std::array<Counts, table_ranks.size()> ranks_;
    fast::PrefixedKeyList<std::int64_t> full_lineages_;
    TextArena built_keys_;  // parts of full-lineage keys that are not kept texts
    std::string full_lineage_key_;
    // The last genus kept before on the line, and a species key made of it;
    // the genus of the head being counted.
    std::string current_genus_;
    std::string head_genus_;
    std::string species_key_;
};

}  // namespace

void tally(LineReader& classification, OutputSet& outputs, const counts::ReadCounts* counts) {
    const std::vector<std::string> no_samples;
    const std::vector<std::string>& samples = counts ? counts->samples() : no_samples;
    Reads reads{0, std::vector<std::int64_t>(samples.size())};
    // Lines that keep the same tokens, each cut after its taxon name, count
    // the same: each such text is kept once, with the reads of its lines,
    // and counted in the tables at the end. Confidences differ from line to
    // line, so they are cut off first.
    taxonomy::LinesByHead reads_by_kept_taxa;
    SampleRows samples_by_kept_taxa(samples.size());
    const auto next = [&classification, counts](CountedLine& counted) {
        return read_line(classification, counts != nullptr, counted);
    };
    const auto count = [&](const CountedLine& counted, std::int64_t line_reads, std::span<const counts::SampleCount> in_samples) {
        reads.total += line_reads;
        reads_by_kept_taxa.add(counted.kept_taxa, line_reads);
        if (in_samples.empty()) return;
        samples_by_kept_taxa.add(counted.kept_taxa, in_samples);
        for (const counts::SampleCount& in_sample : in_samples) reads.in_sample[in_sample.sample] += in_sample.reads;
    };
    // A line stands for one read, or for those the counts give its read.
    if (counts == nullptr) {
        CountedLine counted;
        while (next(counted)) count(counted, 1, {});
    } else {
        counts->for_each_read<CountedLine>(next, [&count](const CountedLine& counted, const counts::ReadCounts::Read& read) {
            count(counted, read.total, read.samples);
        });
    }

    Tables tables(samples.empty() ? nullptr : &samples_by_kept_taxa);
    tables.count(reads_by_kept_taxa);
    tables.write(outputs, reads, samples);
}

}  // namespace at::readtally
