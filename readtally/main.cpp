// readtally <mothur_output_file>: per-rank, per-OTU and per-lineage read
// counts of a classification file, written into the working folder.

#include "common/cli.hpp"
#include "readtally/readtally.hpp"

namespace {

constexpr at::cli::Program program{
    "readtally",
    "Sample: ./readtally <mothur_output_file>",
    1,
    "Usage: readtally <mothur_output_file>\n"
    "Count the reads of a mothur classification file (read ID, TAB, lineage of\n"
    "tokens such as k__Bacteria(100);p__Firmicutes(98);...;u__17(70);) per OTU,\n"
    "per taxon of six ranks and per full lineage.\n"
    "\n"
    "Writes into the current folder, replacing earlier files of these names:\n"
    "  otu.txt species.txt genus.txt family.txt order.txt class.txt phylum.txt\n"
    "      name, TAB, reads, sorted by name; then unassigned, TAB, the reads\n"
    "      that reached no taxon of that rank\n"
    "  fullLineage.txt\n"
    "      the kept taxon labels of a read, each followed by ';', TAB, reads\n"
    "\n"
    "Exit status: 0 success; 1 an input could not be opened or read, or an\n"
    "output could not be written (earlier files are then left as they were);\n"
    "255 the argument is missing.\n"
    "\n"
    "Example: readtally reads.reference.wang.taxonomy\n",
};

}  // namespace

int main(int argc, char** argv) {
    return at::cli::run(program, argc, argv, [](char** args) {
        at::cli::Inputs inputs;
        at::cli::Input& classification = inputs.open(args[1]);
        if (!inputs.all_open()) return at::cli::exit_failure;

        at::readtally::Tally tally;
        at::readtally::read_classification(classification.lines(), tally);
        if (!classification.read_completely()) return at::cli::exit_failure;

        at::cli::Outputs outputs;
        at::readtally::write_tables(tally, outputs);
        return outputs.commit_all();
    });
}
