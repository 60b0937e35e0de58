#include "strayreads/strayreads.hpp"

#include <string>

#include "common/fast/byte_search.hpp"
#include "common/fast/sums.hpp"
#include "common/fast/select_in_order.hpp"
#include "common/taxonomy/classification.hpp"

namespace at::strayreads {

namespace {


// The read ID of a FASTA header: after the ">" up to the first space; a TAB
// does not end it.
std::string_view header_read_id(std::string_view header) {
    header.remove_prefix(1);
    return header.substr(0, header.find(' '));
}

// A FASTA record as it is copied: the read ID of its header and its
// sequence lines, each with its newline (wrapped records have several).
struct Record {
    std::string read_id;
    std::string sequence;

    std::string_view key() const { return read_id; }
};

// The records of a FASTA file, one after the other. Every header starts a
// record and ends the one before it, so a sequence line only ever belongs to
// its own read; sequence lines before the first header belong to none.
class FastaRecords {
public:
    explicit FastaRecords(LineReader& lines) : lines_(lines) {}

    bool next(Record& record) {
        std::string_view line;
        while (!header_read_) {
            if (!lines_.next(line)) return false;
            if (line.front() == '>') start_record(line);
        }
        record.read_id.swap(next_read_id_);
        record.sequence.clear();
        header_read_ = false;
        while (lines_.next(line)) {
            if (line.front() == '>') {
                start_record(line);
                break;
            }
            (record.sequence += line) += '\n';
        }
        return true;
    }

private:
    void start_record(std::string_view header) {
        next_read_id_.assign(header_read_id(header));
        header_read_ = true;
    }

    LineReader& lines_;
    std::string next_read_id_;  // of the header read last, when header_read_
    bool header_read_ = false;
};

}  // namespace

void extract(LineReader& classification, LineReader& fasta, OutputSet& outputs) {
    fast::Sums<std::int64_t> unclassified_ids;  // the read IDs to copy, with their lines
    // Every read the classifier placed down to an OTU carries a token "u__N(..)".
    const std::string otu_prefix = taxonomy::rank_prefix(taxonomy::Rank::otu);
    std::string_view line;
    while (classification.next(line)) {
        if (!fast::contains(line, otu_prefix)) unclassified_ids.add(taxonomy::read_id_of(line), 1);
    }

    TextSink& out = outputs.create("unclassified.fasta");
    FastaRecords records(fasta);
    fast::select_in_order<Record>(
        unclassified_ids.totals(), [&records](Record& record) { return records.next(record); },
        [&out](const Record& record) {
            out.put('>');
            out.write(record.read_id);
            out.put('\n');
            out.write(record.sequence);
        });
}

}  // namespace at::strayreads
