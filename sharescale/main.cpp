// sharescale <input_filename>: the values of a two-column table as
// percentages of their sum, written to normalized.txt.

#include "common/cli/inputs.hpp"
#include "common/cli/program.hpp"
#include "sharescale/sharescale.hpp"

namespace {

constexpr at::cli::Program program{
    "sharescale",
    "<input_filename>",
    1,
    "Rescales the values of a two-column table to percentages of their sum.\n"
    "\n"
    "Reads   input_filename       key, TAB, number (a rank table, for instance); a\n"
    "                             repeated key keeps its last value, while the sum\n"
    "                             counts every row\n"
    "Writes  normalized.txt       into the output folder: each key in byte order,\n"
    "                             TAB, 100 x value / sum (six significant digits)\n",
    "sharescale phylum.txt",
};

}  // namespace

int main(int argc, char** argv) {
    return at::cli::run(program, argc, argv, [](const at::cli::Command& command, at::OutputSet& outputs) {
        at::cli::Inputs inputs{{command.inputs[0]}};
        at::sharescale::normalize(inputs[0], outputs);
    });
}
