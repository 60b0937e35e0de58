#pragma once
// taxonomy.html: the tree in a page people click through. The page is the
// template viewer.html, compiled into the program, with the tree put in the
// place of its marker.

#include <string_view>

#include "common/io/text_sink.hpp"

namespace at::lineagetree {

// The text of viewer.html.
extern const std::string_view viewer_page;

// The marker in the page's script that the tree's JSON replaces.
constexpr std::string_view tree_marker = "/*@TAXONOMY_JSON@*/";

// Writes the page with the JSON text of the tree in it, without the white
// space that lays it out. Every "<" of the JSON is written as \u003c, so that
// no name can end the script it stands in.
void write_page(std::string_view page, std::string_view tree_json, TextSink& out);

}  // namespace at::lineagetree
