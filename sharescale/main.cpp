// sharescale <input_filename>: the values of a two-column table as
// percentages of their sum, written to normalized.txt.

#include "common/cli.hpp"
#include "sharescale/sharescale.hpp"

namespace {

constexpr at::cli::Program program{
    "sharescale",
    "Sample: ./sharescale <input_filename>",
    1,
    "Usage: sharescale <input_filename>\n"
    "\n"
    "Rescales the values of a two-column table to percentages of their sum.\n"
    "\n"
    "Reads   input_filename  rows of key, TAB, number (a rank table, for\n"
    "                        instance); a repeated key keeps its last value,\n"
    "                        while the sum counts every row\n"
    "Writes  normalized.txt  in the current folder: each key in byte order, a\n"
    "                        TAB and 100 x value / sum (six significant digits)\n"
    "\n"
    "Exit status: 0 written; 1 the input could not be opened or read, or the\n"
    "output could not be written (an earlier normalized.txt stays as it was);\n"
    "255 mandatory argument missing.\n"
    "\n"
    "Example: sharescale genus.txt\n",
};

}  // namespace

int main(int argc, char** argv) {
    return at::cli::run(program, argc, argv, [](char** args) {
        at::cli::Inputs inputs;
        at::cli::Input& table = inputs.open(args[1]);
        if (!inputs.all_open()) return at::cli::exit_failure;

        at::sharescale::Shares shares;
        at::sharescale::read_values(table.lines(), shares);
        if (!table.read_completely()) return at::cli::exit_failure;

        at::cli::Outputs outputs;
        at::sharescale::write_percentages(shares, outputs);
        return outputs.commit_all();
    });
}
