// refspread <otu_abundance_file> <mapping_matrix>: the counts of an OTU
// abundance table carried over onto reference ids, written into the working
// folder as otu_reflowONE.txt and otu_reflowMANY.txt.

#include "common/cli.hpp"
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
    "Writes  otu_reflowONE.txt    into the current folder: each OTU's whole count\n"
    "                             at the first reference id of its row\n"
    "        otu_reflowMANY.txt   count x weight for every weight of 0.01 or more,\n"
    "                             as percentages of the grand total\n"
    "        Both end with an \"unassigned\" row: the \"unassigned\" counts and the\n"
    "        OTUs without a row (or with an empty row) in the matrix.\n",
    "refspread otu.txt mapping_matrix.txt",
};

}  // namespace

int main(int argc, char** argv) {
    return at::cli::run(program, argc, argv, [](char** args) {
        // The matrix is read first, so a missing matrix is reported first.
        at::cli::Inputs inputs;
        at::cli::Input& matrix_file = inputs.open(args[2]);
        at::cli::Input& abundance_file = inputs.open(args[1]);
        if (!inputs.all_open()) return at::cli::exit_failure;

        at::refspread::MappingMatrix matrix;
        matrix.expect_bytes(matrix_file.size_hint());
        at::refspread::read_matrix(matrix_file.lines(), matrix);
        if (!matrix_file.read_completely()) return at::cli::exit_failure;
        at::refspread::MapBack map_back;
        at::refspread::read_abundance(abundance_file.lines(), matrix, map_back);
        if (!abundance_file.read_completely()) return at::cli::exit_failure;
        matrix.forget_rows();

        at::cli::Outputs outputs;
        at::refspread::write_tables(matrix, map_back, outputs);
        return outputs.commit_all();
    });
}
