// readtally <mothur_output_file>: per-rank, per-OTU and per-lineage read
// counts of a classification file, written into the working folder.

#include "common/cli/inputs.hpp"
#include "common/cli/program.hpp"
#include "readtally/readtally.hpp"

namespace {

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
    "        fullLineage.txt      the kept taxon labels of a read, each followed\n"
    "                             by \";\", TAB, reads\n",
    "readtally reads.reference.wang.taxonomy",
};

}  // namespace

int main(int argc, char** argv) {
    return at::cli::run(program, argc, argv, [](const at::cli::Command& command, at::OutputSet& outputs) {
        at::cli::Inputs inputs{{command.inputs[0]}};
        at::readtally::tally(inputs[0], outputs);
    });
}
