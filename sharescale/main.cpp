// sharescale [--columns] <input_filename>: the values of a two-column table
// (or, with --columns, of each column of a wider one) as percentages of their
// sum, written to normalized.txt.

#include "common/cli/inputs.hpp"
#include "common/cli/program.hpp"
#include "sharescale/columns.hpp"
#include "sharescale/sharescale.hpp"

namespace {

constexpr at::cli::Option options[] = {
    {"--columns", "", "read a table with a header and a value for each of its\n"
                      "                    columns (readtally's X.samples.txt) and scale each\n"
                      "                    column to percentages of its own sum"},
};

constexpr at::cli::Program program{
    "sharescale",
    "<input_filename>",
    1,
    "Rescales the values of a two-column table to percentages of their sum.\n"
    "\n"
    "Reads   input_filename       key, TAB, number (a rank table, for instance); a\n"
    "                             repeated key keeps its last value, while the sum\n"
    "                             counts every row. With --columns: a header, then\n"
    "                             key, TAB, a number for each column, TAB-separated\n"
    "Writes  normalized.txt       into the output folder: each key in byte order,\n"
    "                             TAB, 100 x value / sum (six significant digits);\n"
    "                             with --columns, the header, then each value as\n"
    "                             100 x value / the sum of its column\n",
    "sharescale phylum.txt",
    options,
};

}  // namespace

int main(int argc, char** argv) {
    return at::cli::run(program, argc, argv, [](const at::cli::Command& command, at::OutputSet& outputs) {
        at::cli::Inputs inputs{{command.inputs[0]}};
        if (command.has("--columns")) {
            at::sharescale::normalize_columns(inputs[0], outputs);
        } else {
            at::sharescale::normalize(inputs[0], outputs);
        }
    });
}
