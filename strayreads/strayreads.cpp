#include "strayreads/strayreads.hpp"

#include "readtally/classification.hpp"

namespace at::strayreads {

namespace {

// Every read the classifier placed down to an OTU carries a token "u__N(..)".
constexpr std::string_view otu_prefix = "u__";

// The read ID of a FASTA header: after the ">" up to the first space; a TAB
// does not end it.
std::string_view header_read_id(std::string_view header) {
    header.remove_prefix(1);
    return header.substr(0, header.find(' '));
}

}  // namespace

void collect_unclassified(LineReader& classification, ReadIdSet& unclassified) {
    BatchedUpdates new_ids(unclassified, [](bool&, unsigned) {});
    std::string_view line;
    while (classification.next(line)) {
        if (line.find(otu_prefix) != std::string_view::npos) continue;
        const std::string_view read_id = classification::read_id_of(line);
        new_ids.add(read_id, 0);
    }
    new_ids.flush();
}

namespace {

// FASTA records gathered into small batches: the read ID and the first
// sequence line of each, copied out of the line buffer. The ID set can be far
// larger than the processor's caches; a batch asks for the slots and entries
// of all its IDs (each slot as its header is read) before it uses any, so
// that the waits for memory overlap, and then writes its selected records in
// input order.
class RecordBatch {
public:
    static constexpr std::size_t batch_size = 32;

    RecordBatch(const ReadIdSet& unclassified, TextSink& out) : unclassified_(unclassified), out_(out) {}

    void add_header(std::string_view read_id) {
        if (count_ == batch_size) flush();
        Record& record = records_[count_++];
        record.id_start = text_.size();
        record.id_size = read_id.size();
        record.sequence_size = 0;
        record.has_sequence = false;
        // Asked for now, the ID's slot arrives while the record is read.
        record.hash = ReadIdSet::hash_of(read_id);
        unclassified_.prefetch_slot(record.hash);
        text_.append(read_id);
    }

    // A sequence line: only the first one after a header can be written.
    void add_sequence(std::string_view line) {
        if (count_ == 0) return;  // before the first header
        Record& record = records_[count_ - 1];
        if (record.has_sequence) return;
        record.has_sequence = true;
        record.sequence_size = line.size();
        text_.append(line);
    }

    void flush() {
        for (std::size_t i = 0; i < count_; ++i) unclassified_.prefetch_entry(records_[i].hash);
        for (std::size_t i = 0; i < count_; ++i) {
            const Record& record = records_[i];
            if (unclassified_.find_hashed(id(record), record.hash) == nullptr) continue;
            out_.put('>');
            out_.write(id(record));
            out_.put('\n');
            if (record.has_sequence) {
                out_.write(std::string_view(text_).substr(record.id_start + record.id_size, record.sequence_size));
                out_.put('\n');
            }
        }
        count_ = 0;
        text_.clear();
    }

private:
    struct Record {
        std::size_t id_start;
        std::size_t id_size;
        std::size_t sequence_size;
        std::uint64_t hash;
        bool has_sequence;
    };

    std::string_view id(const Record& record) const {
        return std::string_view(text_).substr(record.id_start, record.id_size);
    }

    const ReadIdSet& unclassified_;
    TextSink& out_;
    std::string text_;  // each record's ID, then its sequence line
    Record records_[batch_size];
    std::size_t count_ = 0;
};

}  // namespace

void write_unclassified(LineReader& fasta, const ReadIdSet& unclassified, OutputSet& outputs) {
    TextSink& out = outputs.create("unclassified.fasta");
    // Every header ends the record before it, so a sequence line is only ever
    // written under its own read's name, and a selected record without a
    // sequence line is written as its header alone.
    RecordBatch batch(unclassified, out);
    std::string_view line;
    while (fasta.next(line)) {
        if (line.front() == '>') {
            batch.add_header(header_read_id(line));
        } else {
            batch.add_sequence(line);
        }
    }
    batch.flush();
}

}  // namespace at::strayreads
