// strayreads <mothur_output_file> <input_fasta file>: the FASTA records of the
// reads that received no OTU, written to unclassified.fasta.

#include "common/cli/inputs.hpp"
#include "common/cli/program.hpp"
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
    "Writes  unclassified.fasta   into the output folder: for each header whose\n"
    "                             read ID (after \">\" up to the first space) is\n"
    "                             selected, \">\" and the ID, then the record's\n"
    "                             sequence lines up to the next header\n",
    "strayreads reads.reference.wang.taxonomy reads.fasta",
};

}  // namespace

int main(int argc, char** argv) {
    return at::cli::run(program, argc, argv, [](const at::cli::Command& command, at::OutputSet& outputs) {
        at::cli::Inputs inputs{{command.inputs[0]}, {command.inputs[1], at::cli::Naming::second}};
        at::strayreads::extract(inputs[0], inputs[1], outputs);
    });
}
