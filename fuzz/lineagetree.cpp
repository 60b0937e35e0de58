// fuzz_lineagetree: the fuzz input is lineagetree's classification file.

#include <cstddef>
#include <cstdint>

#include "common/io/line_reader.hpp"
#include "common/io/output_set.hpp"
#include "fuzz/fuzz_inputs.hpp"
#include "lineagetree/lineagetree.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    at::LineReader classification(at::fuzz::one_input(data, size));
    at::MemoryOutputs outputs;
    at::lineagetree::write_tree(classification, outputs);
    return 0;
}
