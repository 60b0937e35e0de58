#include "common/counts/group_file.hpp"

#include <string>
#include <string_view>

#include "common/fast/flat_map.hpp"
#include "common/text/fields.hpp"

namespace at::counts {

ReadCounts read_group_file(LineReader& groups, std::string file) {
    ReadCounts counts(std::move(file));
    fast::FlatMap<std::uint32_t> place_of_sample;  // the place plus 1
    counts.add_all([&](ReadCounts::Listing& listing) {
        std::string_view line;
        if (!groups.next(line)) return false;
        std::string_view rest = line, read_id, sample, surplus;
        if (!next_piece(rest, '\t', read_id) || !next_piece(rest, '\t', sample) || next_piece(rest, '\t', surplus)) {
            groups.reject_line("expected a read ID, TAB and the name of its sample");
        }
        std::uint32_t& place = place_of_sample[sample];
        if (place == 0) place = counts.add_sample(sample) + 1;
        listing.read_id.assign(read_id);
        listing.total = 1;
        listing.samples.assign(1, SampleCount{place - 1, 1});
        listing.line = groups.line_number();
        return true;
    });
    counts.sort_samples();
    return counts;
}

}  // namespace at::counts
