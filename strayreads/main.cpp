// strayreads <mothur_output_file> <input_fasta file>: the FASTA records of the
// reads that received no OTU, written to unclassified.fasta.

#include "common/cli.hpp"
#include "strayreads/strayreads.hpp"

namespace {

constexpr at::cli::Program program{
    "strayreads",
    "<mothur_output_file> <input_fasta file>",
    2,
    "Copies the FASTA records of the reads that received no OTU.\n"
    "\n"
    "Reads   mothur_output_file   the classifier's per-read taxonomy file; a line\n"
    "                             without \"u__\" selects its read ID (the text\n"
    "                             before the first TAB)\n"
    "        input_fasta file     the reads, streamed once from start to end\n"
    "Writes  unclassified.fasta   into the current folder: for each header whose\n"
    "                             read ID (after \">\" up to the first space) is\n"
    "                             selected, \">\" and the ID, then the record's\n"
    "                             first sequence line\n",
    "strayreads reads.reference.wang.taxonomy reads.fasta",
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
