// fuzz_refspread: the fuzz input is refspread's two inputs in argument order,
// cut as fuzz_inputs.hpp says: the OTU abundance table, then the mapping
// matrix. Its tables must come out in order of reference id
// (table_checks.hpp).

#include <cstddef>
#include <cstdint>

#include "common/io/line_reader.hpp"
#include "common/io/output_set.hpp"
#include "fuzz/fuzz_inputs.hpp"
#include "fuzz/table_checks.hpp"
#include "refspread/refspread.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const at::fuzz::TwoInputs inputs = at::fuzz::two_inputs(data, size);
    at::LineReader abundance(inputs.first);
    at::LineReader matrix(inputs.second);
    at::MemoryOutputs outputs;
    at::refspread::map_back(matrix, abundance, outputs);
    for (const char* table : {"otu_reflowONE.txt", "otu_reflowMANY.txt"}) {
        at::fuzz::check_table(outputs, table, at::fuzz::KeyOrder::numbers, at::fuzz::Closing::unassigned_row);
    }
    return 0;
}
