// lineagetree <mothur_output>: the taxa of a classification file as a counted
// tree from phylum to OTU, written as taxonomy.json into the working folder.

#include <utility>

#include "common/cli.hpp"
#include "lineagetree/lineagetree.hpp"

namespace {

constexpr at::cli::Program program{
    "lineagetree",
    "Sample: ./lineagetree <mothur_output>",
    1,
    "Usage: lineagetree <mothur_output>\n"
    "\n"
    "Reads a mothur classification file (read ID, TAB, tokens such as\n"
    "k__Bacteria(100);p__Firmicutes(98);...;u__17(70);) and nests its taxa from\n"
    "phylum to OTU, each under the taxon before it on its line, counting reads.\n"
    "Writes the tree as taxonomy.json into the current folder, replacing an\n"
    "earlier file of that name only once the new one is complete. Each node has\n"
    "a \"name\" and either \"children\" or \"size\", its number of reads.\n"
    "\n"
    "Exit status: 0 on success; 1 when the input cannot be opened or read or\n"
    "taxonomy.json cannot be written; 255 when the argument is missing.\n"
    "\n"
    "Example: lineagetree reads.reference.wang.taxonomy\n",
};

}  // namespace

int main(int argc, char** argv) {
    return at::cli::run(program, argc, argv, [](char** args) {
        at::cli::Inputs inputs;
        at::cli::Input& classification = inputs.open(args[1]);
        if (!inputs.all_open()) return at::cli::exit_failure;

        at::lineagetree::LineTally tally;
        at::lineagetree::read_classification(classification.lines(), tally);
        if (!classification.read_completely()) return at::cli::exit_failure;

        const at::lineagetree::Tree tree = at::lineagetree::tree_of(std::move(tally));
        at::cli::Outputs outputs;
        at::lineagetree::write_taxonomy(tree, outputs);
        return outputs.commit_all();
    });
}
