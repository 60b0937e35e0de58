// rankroll <mapped_back_abundance> <gg_tax_file>: mapped-back abundances
// rolled up along a Greengenes taxonomy, written into the working folder as
// fullLineage.txt and six rank tables.

#include "common/cli.hpp"
#include "common/line_reader.hpp"
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
        const char* abundance_path = args[1];
        const char* taxonomy_path = args[2];
        at::cli::Inputs inputs;
        const int abundance_file = inputs.open(abundance_path);
        const int taxonomy_file = inputs.open(taxonomy_path);
        if (!inputs.all_open()) return at::cli::exit_failure;

        at::rankroll::AbundanceTable abundance;
        at::LineReader abundance_reader(abundance_file);
        at::rankroll::read_abundance(abundance_reader, abundance);
        if (abundance_reader.failed()) {
            at::cli::report_read_failure(abundance_path);
            return at::cli::exit_failure;
        }
        // The taxonomy is rolled up line by line and never held whole.
        at::rankroll::RollUp totals(abundance);
        at::LineReader taxonomy_reader(taxonomy_file);
        at::rankroll::roll_up(taxonomy_reader, totals);
        if (taxonomy_reader.failed()) {
            at::cli::report_read_failure(taxonomy_path);
            return at::cli::exit_failure;
        }
        at::cli::Outputs outputs;
        totals.write_tables(outputs);
        return outputs.commit_all();
    });
}
