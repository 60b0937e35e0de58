// fuzz_readtally: the fuzz input is readtally's classification file; its
// tables must come out in key order (table_checks.hpp).

#include <cstddef>
#include <cstdint>

#include "common/io/line_reader.hpp"
#include "common/io/output_set.hpp"
#include "fuzz/fuzz_inputs.hpp"
#include "fuzz/table_checks.hpp"
#include "readtally/readtally.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    at::LineReader classification(at::fuzz::one_input(data, size));
    at::MemoryOutputs outputs;
    at::readtally::tally(classification, outputs);
    using at::fuzz::Closing;
    using at::fuzz::KeyOrder;
    for (const char* table : {"otu.txt", "species.txt", "genus.txt", "family.txt", "order.txt", "class.txt", "phylum.txt"}) {
        at::fuzz::check_table(outputs, table, KeyOrder::bytes, Closing::unassigned_row);
    }
    at::fuzz::check_table(outputs, "fullLineage.txt", KeyOrder::bytes, Closing::none);
    return 0;
}
