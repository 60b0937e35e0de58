// readtally <mothur_output_file>: per-rank, per-OTU and per-lineage read
// counts of a classification file, written into the working folder.

#include "common/cli.hpp"
#include "common/line_reader.hpp"
#include "readtally/readtally.hpp"

namespace {

constexpr at::cli::Program program{
    "readtally",
    "Sample: ./readtally <mothur_output_file>",
    1,
    "",
};

}  // namespace

int main(int argc, char** argv) {
    return at::cli::run(program, argc, argv, [](char** args) {
        const char* classification_path = args[1];
        at::cli::Inputs inputs;
        const int classification = inputs.open(classification_path);
        if (!inputs.all_open()) return at::cli::exit_failure;

        at::LineReader reader(classification);
        at::readtally::Tally tally;
        at::readtally::read_classification(reader, tally);
        if (reader.failed()) {
            at::cli::report_read_failure(classification_path);
            return at::cli::exit_failure;
        }
        at::cli::Outputs outputs;
        at::readtally::write_tables(tally, outputs);
        return outputs.commit_all();
    });
}
