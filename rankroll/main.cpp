// rankroll <mapped_back_abundance> <gg_tax_file>: mapped-back abundances
// rolled up along a Greengenes taxonomy, written into the working folder as
// fullLineage.txt and six rank tables.

#include "common/cli.hpp"
#include "rankroll/rankroll.hpp"

namespace {

constexpr at::cli::Program program{
    "rankroll",
    "Sample: ./rankroll <mapped_back_abundance> <gg_tax_file>",
    2,
    "Usage: rankroll <mapped_back_abundance> <gg_tax_file>\n"
    "\n"
    "Rolls a mapped-back abundance table (reference id, TAB, value; such as\n"
    "refspread's otu_reflowONE.txt or otu_reflowMANY.txt) up along a Greengenes\n"
    "taxonomy file (reference id, TAB, k__...;p__...;c__...;o__...;f__...;g__...;s__...,\n"
    "with or without a blank after each \";\"). Writes into the current folder:\n"
    "  fullLineage.txt   the total of each lineage, as written in the taxonomy\n"
    "  species.txt genus.txt family.txt order.txt class.txt phylum.txt\n"
    "                    the total of each taxon of that rank\n"
    "Each ends with an \"unassigned\" row: the table's \"unassigned\" value, plus in\n"
    "the rank tables the values of lineages without that rank. Existing files of\n"
    "these names are replaced only when all seven are complete.\n"
    "\n"
    "Exit status: 0 on success, 1 when an input cannot be opened or read or an\n"
    "output cannot be written, 255 when an argument is missing.\n"
    "\n"
    "Example: rankroll otu_reflowMANY.txt 99_otu_taxonomy.txt\n",
};

}  // namespace

int main(int argc, char** argv) {
    return at::cli::run(program, argc, argv, [](char** args) {
        at::cli::Inputs inputs;
        at::cli::Input& abundance_file = inputs.open(args[1]);
        at::cli::Input& taxonomy_file = inputs.open(args[2]);
        if (!inputs.all_open()) return at::cli::exit_failure;

        at::rankroll::AbundanceTable abundance;
        at::rankroll::read_abundance(abundance_file.lines(), abundance);
        if (!abundance_file.read_completely()) return at::cli::exit_failure;
        // The taxonomy is rolled up line by line and never held whole.
        at::rankroll::RollUp totals(abundance);
        at::rankroll::roll_up(taxonomy_file.lines(), totals);
        if (!taxonomy_file.read_completely()) return at::cli::exit_failure;

        at::cli::Outputs outputs;
        totals.write_tables(outputs);
        return outputs.commit_all();
    });
}
