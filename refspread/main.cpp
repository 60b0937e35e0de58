// refspread <otu_abundance_file> <mapping_matrix>: the counts of an OTU
// abundance table carried over onto reference ids, written into the working
// folder as otu_reflowONE.txt and otu_reflowMANY.txt.

#include "common/cli/inputs.hpp"
#include "common/cli/program.hpp"
#include "refspread/refspread.hpp"

namespace {

constexpr at::cli::Program program{
    "refspread",
    "<otu_abundance_file> <mapping_matrix>",
    2,
    "Carries the read counts of an OTU abundance table over onto reference ids\n"
    "through a mapping matrix.\n"
    "\n"
    "Reads   otu_abundance_file   OTU, TAB, count (such as readtally's otu.txt)\n"
    "        mapping_matrix       OTU, TAB, refid:weight,refid:weight,...\n"
    "Writes  otu_reflowONE.txt    into the output folder: each OTU's whole count\n"
    "                             at the first reference id of its row\n"
    "        otu_reflowMANY.txt   count x weight for every weight of 0.01 or more,\n"
    "                             as percentages of the grand total\n"
    "        Both end with an \"unassigned\" row: the \"unassigned\" counts and the\n"
    "        OTUs without a row (or with an empty row) in the matrix.\n",
    "refspread otu.txt mapping_matrix.txt",
};

}  // namespace

int main(int argc, char** argv) {
    return at::cli::run(program, argc, argv, [](const at::cli::Command& command, at::OutputSet& outputs) {
        // The matrix is opened first, so a missing matrix is reported first.
        at::cli::Inputs inputs{{command.inputs[1]}, {command.inputs[0]}};
        at::refspread::map_back(inputs[0], inputs[1], outputs);
    });
}
