// lineagetree [--html] [--count FILE | --groups FILE] <mothur_output>: the
// taxa of a classification file as a counted tree from phylum to OTU, written
// as taxonomy.json (and taxonomy.html).

#include "common/cli/classification_input.hpp"
#include "common/cli/program.hpp"
#include "lineagetree/lineagetree.hpp"

namespace {

constexpr at::cli::Option options[] = {
    {"--html", "", "also write taxonomy.html: the tree as an interactive sunburst,\n"
                   "                    one self-contained page that opens from disk; when\n"
                   "                    FILE names samples, it shows all reads or one sample"},
    {"--count", "FILE", "count each read as the reads it stands for in the count\n"
                        "                    table FILE (count.seqs: plain or compressed)",
     true, "--groups"},
    {"--groups", "FILE", "count each read once, as one listed in the group file\n"
                         "                    FILE (ID, TAB, sample)",
     true, "--count"},
};

constexpr at::cli::Program program{
    "lineagetree",
    "<mothur_output>",
    1,
    "Nests the taxa of a mothur classification file from phylum to OTU, each\n"
    "under the lineage of taxa before it on its line, and counts the reads.\n"
    "\n"
    "Reads   mothur_output        the classifier's per-read taxonomy file\n"
    "Writes  taxonomy.json        into the output folder: the tree, each node a\n"
    "                             \"name\" and either \"children\" or \"size\" (reads)\n"
    "        taxonomy.html        with --html: the tree as a page to click through\n"
    "\n"
    "With --count or --groups, a read of the classification that FILE does not\n"
    "list is an error; a read that FILE lists and the classification lacks is\n"
    "passed over.\n",
    "lineagetree --html reads.reference.wang.taxonomy",
    options,
};

}  // namespace

int main(int argc, char** argv) {
    return at::cli::run(program, argc, argv, [](const at::cli::Command& command, at::OutputSet& outputs) {
        at::cli::ClassificationInput input(command);
        at::lineagetree::write_tree(input.lines(), outputs, command.has("--html"), input.counts());
    });
}
