#pragma once
// taxonomy.html: the tree in a page people click through. The page is the
// template viewer.html, compiled into the program, with the tree put in the
// place of its marker, and the reads of its leaves per sample in the place
// of another.

#include <string_view>

#include "common/io/text_sink.hpp"

namespace at::lineagetree {

// The text of viewer.html.
extern const std::string_view viewer_page;

// The markers in the page's scripts that the tree's JSON and the samples'
// JSON replace, in this order.
constexpr std::string_view tree_marker = "/*@TAXONOMY_JSON@*/";
constexpr std::string_view samples_marker = "/*@SAMPLES_JSON@*/";

// Writes the page with the JSON texts of the tree and of its samples (empty
// when the reads are not known per sample) in it, without the white space
// that lays them out. Every "<" of the JSON is written as \u003c, so that no
// name can end the script it stands in.
void write_page(std::string_view page, std::string_view tree_json, std::string_view samples_json, TextSink& out);

}  // namespace at::lineagetree
