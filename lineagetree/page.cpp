#include "lineagetree/page.hpp"

namespace at::lineagetree {

namespace {

// Writes JSON text without the white space between its tokens, which only
// lays it out for people (the page is read by a browser, whose parser time
// grows with the text), and with every "<" written as \u003c.
void write_compact(std::string_view json, TextSink& out) {
    bool in_string = false;
    std::size_t run = 0;  // start of the bytes not yet written
    for (std::size_t i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (in_string) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                in_string = false;
            } else if (c == '<') {
                out.write(json.substr(run, i - run));
                out.write("\\u003c");
                run = i + 1;
            }
        } else if (c == '"') {
            in_string = true;
        } else if (c == ' ' || c == '\n') {
            out.write(json.substr(run, i - run));
            run = i + 1;
        }
    }
    out.write(json.substr(run));
}

}  // namespace

void write_page(std::string_view page, std::string_view tree_json, TextSink& out) {
    const std::size_t marker = page.find(tree_marker);
    out.write(page.substr(0, marker));
    write_compact(tree_json, out);
    if (marker != std::string_view::npos) out.write(page.substr(marker + tree_marker.size()));
}

}  // namespace at::lineagetree
