#include "strayreads/strayreads.hpp"

#include "common/fast/flat_map.hpp"
#include "common/taxonomy/classification.hpp"

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

void extract(LineReader& classification, LineReader& fasta, OutputSet& outputs) {
    fast::FlatMap<bool> unclassified;  // the read IDs to copy
    std::string_view line;
    while (classification.next(line)) {
        if (line.find(otu_prefix) == std::string_view::npos) unclassified[taxonomy::read_id_of(line)] = true;
    }

    TextSink& out = outputs.create("unclassified.fasta");
    // Set while a selected record's header is written and its first sequence
    // line is not. Every header ends the record before it, so a sequence line
    // is only ever written under its own read's ID.
    bool awaiting_sequence = false;
    while (fasta.next(line)) {
        if (line.front() == '>') {
            const std::string_view read_id = header_read_id(line);
            awaiting_sequence = unclassified.find(read_id) != nullptr;
            if (!awaiting_sequence) continue;
            out.put('>');
            out.write(read_id);
            out.put('\n');
        } else if (awaiting_sequence) {
            out.write(line);
            out.put('\n');
            awaiting_sequence = false;
        }
    }
}

}  // namespace at::strayreads
