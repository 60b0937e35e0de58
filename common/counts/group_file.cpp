#include "common/counts/group_file.hpp"

#include <string>
#include <string_view>

#include "common/fast/flat_map.hpp"
#include "common/text/fields.hpp"

namespace at::counts {

ReadCounts read_group_file(LineReader& groups, std::string file) {
    ReadCounts counts(std::move(file));
    fast::FlatMap<std::uint32_t> place_of_sample;  // the place plus 1
    std::string_view line;
    while (groups.next(line)) {
        std::string_view rest = line, read_id, sample, surplus;
        if (!next_piece(rest, '\t', read_id) || !next_piece(rest, '\t', sample) || next_piece(rest, '\t', surplus)) {
            groups.reject_line("expected a read ID, TAB and the name of its sample");
        }
        std::uint32_t& place = place_of_sample[sample];
        if (place == 0) place = counts.add_sample(sample) + 1;
        const SampleCount one{place - 1, 1};
        if (!counts.add(read_id, 1, std::span(&one, 1))) {
            groups.reject_line("the read \"" + std::string(read_id) + "\" is listed twice");
        }
    }
    counts.sort_samples();
    return counts;
}

}  // namespace at::counts
