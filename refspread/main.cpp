// refspread <otu_abundance_file> <mapping_matrix>: the counts of an OTU
// abundance table carried over onto reference ids, written into the working
// folder as otu_reflowONE.txt and otu_reflowMANY.txt.

#include "common/cli.hpp"
#include "refspread/refspread.hpp"

namespace {

constexpr at::cli::Program program{
    "refspread",
    "Sample: ./refspread <otu_abundance_file> <mapping_matrix>",
    2,
    "Usage: refspread <otu_abundance_file> <mapping_matrix>\n"
    "\n"
    "Carries the read counts of an OTU abundance table (OTU, TAB, count; such as\n"
    "readtally's otu.txt) over onto reference ids through a mapping matrix\n"
    "(OTU, TAB, refid:weight,refid:weight,...). Writes into the current folder:\n"
    "  otu_reflowONE.txt   each OTU's whole count at the first reference id of its row\n"
    "  otu_reflowMANY.txt  count x weight for every weight of 0.01 or more, as\n"
    "                      percentages of the grand total\n"
    "Both end with an \"unassigned\" row: the \"unassigned\" counts and the OTUs\n"
    "without a matrix row. Existing files of these names are replaced only when\n"
    "both are complete.\n"
    "\n"
    "Exit status: 0 on success, 1 when an input cannot be opened or read or an\n"
    "output cannot be written, 255 when an argument is missing.\n"
    "\n"
    "Example: refspread otu.txt mapping_matrix.txt\n",
};

}  // namespace

int main(int argc, char** argv) {
    return at::cli::run(program, argc, argv, [](char** args) {
        // The matrix is read first, so a missing matrix is reported first.
        at::cli::Inputs inputs;
        at::cli::Input& matrix_file = inputs.open(args[2]);
        at::cli::Input& abundance_file = inputs.open(args[1]);
        if (!inputs.all_open()) return at::cli::exit_failure;

        at::refspread::MappingTable matrix;
        at::refspread::read_matrix(matrix_file.lines(), matrix);
        if (!matrix_file.read_completely()) return at::cli::exit_failure;
        at::refspread::MapBack map_back;
        at::refspread::read_abundance(abundance_file.lines(), matrix, map_back);
        if (!abundance_file.read_completely()) return at::cli::exit_failure;

        at::cli::Outputs outputs;
        at::refspread::write_tables(map_back, outputs);
        return outputs.commit_all();
    });
}
