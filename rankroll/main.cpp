// rankroll <mapped_back_abundance> <gg_tax_file>: mapped-back abundances
// rolled up along a Greengenes taxonomy, written into the working folder as
// fullLineage.txt and six rank tables.

#include "common/cli/inputs.hpp"
#include "common/cli/program.hpp"
#include "rankroll/rankroll.hpp"

namespace {

constexpr at::cli::Program program{
    "rankroll",
    "<mapped_back_abundance> <gg_tax_file>",
    2,
    "Rolls mapped-back abundances up along a Greengenes taxonomy.\n"
    "\n"
    "Reads   mapped_back_abundance  reference id, TAB, value (refspread's\n"
    "                               otu_reflowONE.txt or otu_reflowMANY.txt)\n"
    "        gg_tax_file            reference id, TAB, k__...;p__...;...;s__...\n"
    "                               (with or without a blank after each \";\")\n"
    "Writes  fullLineage.txt        into the output folder: the total of each\n"
    "                               lineage, as written in the taxonomy\n"
    "        species.txt genus.txt family.txt order.txt class.txt phylum.txt\n"
    "                               the total of each taxon of that rank\n"
    "        Each ends with an \"unassigned\" row: the table's \"unassigned\" value,\n"
    "        plus in the rank tables the values of lineages without that rank.\n"
    "        These names are those of readtally's tables: run rankroll in another\n"
    "        folder to keep both.\n",
    "rankroll otu_reflowONE.txt gg_taxonomy.txt",
};

}  // namespace

int main(int argc, char** argv) {
    return at::cli::run(program, argc, argv, [](const at::cli::Command& command, at::OutputSet& outputs) {
        at::cli::Inputs inputs{{command.inputs[0]}, {command.inputs[1]}};
        at::rankroll::roll_up(inputs[0], inputs[1], outputs);
    });
}
