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

// Writes the page up to `marker` and `json` in its place; returns the rest
// of the page, or nothing if it has no such marker.
std::string_view fill_marker(std::string_view page, std::string_view marker, std::string_view json, TextSink& out) {
    const std::size_t at = page.find(marker);
    out.write(page.substr(0, at));
    write_compact(json, out);
    return at == std::string_view::npos ? std::string_view() : page.substr(at + marker.size());
}

}  // namespace

void write_page(std::string_view page, std::string_view tree_json, std::string_view samples_json, TextSink& out) {
    const std::string_view after_tree = fill_marker(page, tree_marker, tree_json, out);
    out.write(fill_marker(after_tree, samples_marker, samples_json, out));
}

}  // namespace at::lineagetree
