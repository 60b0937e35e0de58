# Writes viewer.html (IN) as the text of at::lineagetree::viewer_page into a
# C++ source file (OUT).
file(READ ${IN} page)
string(FIND "${page}" ")page\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${IN} holds the raw string's closing delimiter")
endif()
string(FIND "${page}" "/*@TAXONOMY_JSON@*/" marker)
string(FIND "${page}" "/*@SAMPLES_JSON@*/" samples_marker)
if(marker EQUAL -1 OR samples_marker LESS marker)
  message(FATAL_ERROR "${IN} has no place for the tree (/*@TAXONOMY_JSON@*/) followed by one for the samples (/*@SAMPLES_JSON@*/)")
endif()
file(WRITE ${OUT} "#include \"lineagetree/page.hpp\"\n\nnamespace at::lineagetree {\n\nconst std::string_view viewer_page = R\"page(${page})page\";\n\n}  // namespace at::lineagetree\n")
