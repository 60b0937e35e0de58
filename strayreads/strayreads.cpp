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
    std::string_view line;
    while (classification.next(line)) {
        if (line.find(otu_prefix) != std::string_view::npos) continue;
        const std::string_view read_id = classification::read_id_of(line);
        unclassified.insert(read_id);
    }
}

void write_unclassified(LineReader& fasta, const ReadIdSet& unclassified, OutputSet& outputs) {
    TextSink& out = outputs.create("unclassified.fasta");
    // A selected header has been written and its sequence line has not. Every
    // header ends the record before it, so a sequence line is only ever
    // written under its own read's name.
    bool awaiting_sequence = false;
    std::string_view line;
    while (fasta.next(line)) {
        if (line.front() == '>') {
            awaiting_sequence = false;
            const std::string_view read_id = header_read_id(line);
            if (unclassified.find(read_id) == nullptr) continue;
            out.put('>');
            out.write(read_id);
            out.put('\n');
            awaiting_sequence = true;
        } else if (awaiting_sequence) {
            out.write(line);
            out.put('\n');
            awaiting_sequence = false;
        }
    }
}

}  // namespace at::strayreads
