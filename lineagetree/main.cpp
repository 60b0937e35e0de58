// lineagetree <mothur_output>: the taxa of a classification file as a counted
// tree from phylum to OTU, written as taxonomy.json into the working folder.

#include "common/cli/inputs.hpp"
#include "common/cli/program.hpp"
#include "lineagetree/lineagetree.hpp"

namespace {

constexpr at::cli::Program program{
    "lineagetree",
    "<mothur_output>",
    1,
    "Nests the taxa of a mothur classification file from phylum to OTU, each\n"
    "under the taxon before it on its line, and counts the reads.\n"
    "\n"
    "Reads   mothur_output        the classifier's per-read taxonomy file\n"
    "Writes  taxonomy.json        into the output folder: the tree, each node a\n"
    "                             \"name\" and either \"children\" or \"size\" (reads)\n",
    "lineagetree reads.reference.wang.taxonomy",
};

}  // namespace

int main(int argc, char** argv) {
    return at::cli::run(program, argc, argv, [](const at::cli::Arguments& args, at::OutputSet& outputs) {
        at::cli::Inputs inputs{{args[0]}};
        at::lineagetree::write_tree(inputs[0], outputs);
    });
}
