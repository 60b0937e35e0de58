// readtally [--count FILE | --groups FILE] <mothur_output_file>: per-rank,
// per-OTU and per-lineage read counts of a classification file, written into
// the working folder; with the counts of a count table or a group file, also
// per sample.

#include "common/cli/classification_input.hpp"
#include "common/cli/program.hpp"
#include "readtally/readtally.hpp"

namespace {

constexpr at::cli::Option options[] = {
    {"--count", "FILE", "count each read as the reads it stands for in the count\n"
                        "                    table FILE (count.seqs: plain or compressed); with\n"
                        "                    samples, also write X.samples.txt for each rank table",
     true, "--groups"},
    {"--groups", "FILE", "take the sample of each read from the group file FILE\n"
                         "                    (ID, TAB, sample) and write X.samples.txt as well",
     true, "--count"},
};

constexpr at::cli::Program program{
    "readtally",
    "<mothur_output_file>",
    1,
    "Counts the reads of a mothur classification file (read ID, TAB, tokens such\n"
    "as k__Bacteria(100);p__Firmicutes(98);...;u__17(70);) per OTU, per taxon of\n"
    "six ranks and per full lineage.\n"
    "\n"
    "Reads   mothur_output_file   the classifier's per-read taxonomy file\n"
    "Writes  otu.txt species.txt genus.txt family.txt order.txt class.txt phylum.txt\n"
    "                             into the output folder: name, TAB, reads, in\n"
    "                             byte order of the name; then \"unassigned\", TAB,\n"
    "                             the reads that reached no taxon of that rank\n"
    "        X.samples.txt        with --count or --groups and samples, for each\n"
    "                             X.txt above: a header (X, TAB, the samples), the\n"
    "                             keys of X.txt in its order, each with its reads\n"
    "                             in each sample, then \"unassigned\"\n"
    "        fullLineage.txt      the kept taxon labels of a read, each followed\n"
    "                             by \";\", TAB, reads\n"
    "\n"
    "With --count or --groups, a read of the classification that FILE does not\n"
    "list is an error; a read that FILE lists and the classification lacks is\n"
    "passed over.\n",
    "readtally --count reads.count_table reads.reference.wang.taxonomy",
    options,
};

}  // namespace

int main(int argc, char** argv) {
    return at::cli::run(program, argc, argv, [](const at::cli::Command& command, at::OutputSet& outputs) {
        at::cli::ClassificationInput input(command);
        at::readtally::tally(input.lines(), outputs, input.counts());
    });
}
