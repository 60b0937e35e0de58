// strayreads <mothur_output_file> <input_fasta file>: the FASTA records of the
// reads that received no OTU, written to unclassified.fasta.

#include "common/cli.hpp"
#include "strayreads/strayreads.hpp"

namespace {

constexpr at::cli::Program program{
    "strayreads",
    "Sample: ./strayreads <mothur_output_file> <input_fasta file>",
    2,
    "Usage: strayreads <mothur_output_file> <input_fasta file>\n"
    "\n"
    "Copies the FASTA records of the reads that received no OTU.\n"
    "\n"
    "Reads   mothur_output_file  the classifier's per-read taxonomy file; a line\n"
    "                            that holds no \"u__\" selects its read ID (the\n"
    "                            text before the first TAB)\n"
    "        input_fasta file    the reads, read once from start to end\n"
    "Writes  unclassified.fasta  in the current folder: for each header whose read\n"
    "                            ID (after \">\" up to the first space) is selected,\n"
    "                            \">\" and the ID, then the record's first sequence\n"
    "                            line\n"
    "\n"
    "Exit status: 0 written; 1 an input could not be opened or read, or the\n"
    "output could not be written (an earlier unclassified.fasta stays as it\n"
    "was); 255 mandatory arguments missing.\n"
    "\n"
    "Example: strayreads reads.reference.wang.taxonomy reads.fasta\n",
};

}  // namespace

int main(int argc, char** argv) {
    return at::cli::run(program, argc, argv, [](char** args) {
        at::cli::Inputs inputs;
        at::cli::Input& classification = inputs.open(args[1]);
        at::cli::Input& fasta = inputs.open(args[2], "Not able to open the file 2 \"");
        if (!inputs.all_open()) return at::cli::exit_failure;

        at::strayreads::ReadIdSet unclassified;
        at::strayreads::collect_unclassified(classification.lines(), unclassified);
        if (!classification.read_completely()) return at::cli::exit_failure;

        // The FASTA file is streamed straight into the output; after a read
        // error the unfinished output is discarded with `outputs`.
        at::cli::Outputs outputs;
        at::strayreads::write_unclassified(fasta.lines(), unclassified, outputs);
        if (!fasta.read_completely()) return at::cli::exit_failure;
        return outputs.commit_all();
    });
}
