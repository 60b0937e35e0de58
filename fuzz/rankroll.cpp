// fuzz_rankroll: the fuzz input is rankroll's two inputs in argument order,
// cut as fuzz_inputs.hpp says: the mapped-back abundance table, then the
// Greengenes taxonomy. Its tables must come out in key order
// (table_checks.hpp).

#include <cstddef>
#include <cstdint>

#include "common/io/line_reader.hpp"
#include "common/io/output_set.hpp"
#include "fuzz/fuzz_inputs.hpp"
#include "fuzz/table_checks.hpp"
#include "rankroll/rankroll.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const at::fuzz::TwoInputs inputs = at::fuzz::two_inputs(data, size);
    at::LineReader abundance(inputs.first);
    at::LineReader taxonomy(inputs.second);
    at::MemoryOutputs outputs;
    at::rankroll::roll_up(abundance, taxonomy, outputs);
    for (const char* table : {"fullLineage.txt", "species.txt", "genus.txt", "family.txt", "order.txt", "class.txt",
                              "phylum.txt"}) {
        at::fuzz::check_table(outputs, table, at::fuzz::KeyOrder::bytes, at::fuzz::Closing::unassigned_row);
    }
    return 0;
}
