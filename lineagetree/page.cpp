#include "lineagetree/page.hpp"

namespace at::lineagetree {

void write_page(std::string_view page, std::string_view tree_json, TextSink& out) {
    const std::size_t marker = page.find(tree_marker);
    out.write(page.substr(0, marker));
    for (std::size_t lt; (lt = tree_json.find('<')) != std::string_view::npos; tree_json.remove_prefix(lt + 1)) {
        out.write(tree_json.substr(0, lt));
        out.write("\\u003c");
    }
    out.write(tree_json);
    if (marker != std::string_view::npos) out.write(page.substr(marker + tree_marker.size()));
}

}  // namespace at::lineagetree
