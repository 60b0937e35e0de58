#include "lineagetree/tree_writer.hpp"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "common/taxonomy/classification.hpp"

namespace at::lineagetree {

namespace {

// The fixed text around a node at each depth of the tree (0 is the root, 1 a
// parent of the class map, 7 an OTU). Viewers and users diff these files, so
// the layout is kept to the byte, the 8-space opening brace of depths 5 and 6
// included.
struct DepthLayout {
    std::string_view open_before_name;
    std::string_view open_after_name;
    std::string_view close;
    std::string_view leaf_prefix;
};

constexpr std::array<DepthLayout, 8> layouts{{
    {"", "", "", ""},
    {"  {\n   \"name\": \"", "\",\n   \"children\": [\n", "   ]\n  }", ""},
    {"    {\n     \"name\": \"", "\",\n     \"children\": [\n", "     ]\n    }", "    {\"name\": \""},
    {"      {\n       \"name\": \"", "\",\n       \"children\": [\n", "       ]\n      }",
     "      {\"name\": \""},
    {"        {\n         \"name\": \"", "\",\n         \"children\": [\n", "         ]\n        }",
     "        {\"name\": \""},
    {"        {\n           \"name\": \"", "\",\n           \"children\": [\n", "           ]\n          }",
     "          {\"name\": \""},
    {"        {\n             \"name\": \"", "\",\n             \"children\": [\n",
     "             ]\n            }", "            {\"name\": \""},
    {"", "", "", "              {\"name\": \""},
}};

constexpr std::string_view root_opening = "{\n \"name\": \"taxonomy\",\n \"children\": [\n";
constexpr std::string_view root_closing = " ]\n}";
constexpr std::string_view leaf_suffix = "\", \"size\": ";
constexpr int deepest = 7;

// Writes a name as the text of a JSON string. Names are bytes: quotes,
// backslashes and control characters are escaped, every other byte (those
// above 127 too) is written as it is.
void write_json_name(TextSink& out, std::string_view name) {
    static constexpr char hex_digits[] = "0123456789abcdef";
    std::size_t plain_from = 0;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto byte = static_cast<unsigned char>(name[i]);
        if (byte >= 0x20 && byte != '"' && byte != '\\') continue;
        out.write(name.substr(plain_from, i - plain_from));
        plain_from = i + 1;
        switch (byte) {
            case '"': out.write("\\\""); break;
            case '\\': out.write("\\\\"); break;
            case '\b': out.write("\\b"); break;
            case '\f': out.write("\\f"); break;
            case '\n': out.write("\\n"); break;
            case '\r': out.write("\\r"); break;
            case '\t': out.write("\\t"); break;
            default:
                out.write("\\u00");
                out.put(hex_digits[byte >> 4]);
                out.put(hex_digits[byte & 0xf]);
        }
    }
    out.write(name.substr(plain_from));
}

// The taxon names of a lineage, from the first.
std::vector<std::string_view> names_of(std::string_view lineage) {
    std::vector<std::string_view> names;
    for (std::size_t end; (end = lineage.find(';')) != std::string_view::npos; lineage.remove_prefix(end + 1)) {
        names.push_back(lineage.substr(0, end));
    }
    return names;
}

// The parents of the class map, as nodes of depth 1: by name, and those that
// share a name by their lineages, name by name.
std::vector<const LevelMap::Entry*> top_nodes(const LevelMap& class_map) {
    struct Top {
        std::vector<std::string_view> names;
        const LevelMap::Entry* entry;
        std::string_view name() const { return names.empty() ? std::string_view() : names.back(); }
    };
    std::vector<Top> tops;
    class_map.for_each_entry([&tops](const LevelMap::Entry& entry) { tops.push_back({names_of(entry.key()), &entry}); });
    std::sort(tops.begin(), tops.end(), [](const Top& a, const Top& b) {
        if (a.name() != b.name()) return a.name() < b.name();
        return std::lexicographical_compare(a.names.begin(), a.names.end(), b.names.begin(), b.names.end());
    });
    std::vector<const LevelMap::Entry*> sorted;
    for (const Top& top : tops) sorted.push_back(top.entry);
    return sorted;
}

class TreeWriter {
public:
    // With `samples_out`, each leaf's reads per sample go there as well, one
    // array each, separated by commas.
    TreeWriter(const Tree& tree, TextSink& out, TextSink* samples_out = nullptr)
        : tree_(tree), out_(out), samples_out_(samples_out) {}

    void write() {
        out_.write(root_opening);
        const auto parents = top_nodes(tree_.levels[class_level]);
        for (std::size_t i = 0; i < parents.size(); ++i) {
            const DepthLayout& layout = layouts[1];
            const std::vector<std::string_view> names = names_of(parents[i]->key());
            out_.write(layout.open_before_name);
            write_name(names.empty() ? std::string_view() : names.back());
            out_.write(layout.open_after_name);
            std::string lineage(parents[i]->key());
            write_children(2, parents[i]->value, lineage);
            out_.write(layout.close);
            out_.write(i + 1 < parents.size() ? ",\n" : "\n");
        }
        out_.write(root_closing);
    }

private:
    // The children of a node, in byte order of their names. `lineage` is
    // the node's own; it is extended for each child and restored.
    void write_children(int depth, const ChildCounts& children, std::string& lineage) {
        const auto sorted = fast::sorted_entries(children);
        for (std::size_t i = 0; i < sorted.size(); ++i) {
            const std::size_t parent_size = lineage.size();
            (lineage += sorted[i]->key()) += ';';
            write_node(depth, sorted[i]->key(), sorted[i]->value, lineage);
            lineage.resize(parent_size);
            out_.write(i + 1 < sorted.size() ? ",\n" : "\n");
        }
    }

    // A node of depth 2 to 7. Its children are what its lineage holds in the
    // level map of the next rank down: the order map for depth 2, and so on
    // to the OTU map for depth 6; an OTU at depth 7 has none.
    void write_node(int depth, std::string_view name, std::int64_t count, std::string& lineage) {
        const DepthLayout& layout = layouts[static_cast<std::size_t>(depth)];
        const ChildCounts* children =
            depth < deepest ? tree_.levels[static_cast<std::size_t>(depth - 1)].find(lineage) : nullptr;
        if (children == nullptr) {
            out_.write(layout.leaf_prefix);
            write_name(name);
            out_.write(leaf_suffix);
            out_.whole(count);
            out_.put('}');
            if (samples_out_ != nullptr) write_leaf_samples(depth, lineage);
            return;
        }
        out_.write(layout.open_before_name);
        write_name(name);
        out_.write(layout.open_after_name);
        // Reads that stopped at a rank below the cutoff are one node: whatever
        // a taxon named "unclassified" holds further down is not shown.
        if (name != taxonomy::unclassified_marker) write_children(depth + 1, *children, lineage);
        out_.write(layout.close);
    }

    void write_name(std::string_view name) { write_json_name(out_, name); }

    // The samples where a leaf of depth 2 to 7 has reads, each by its place
    // followed by the reads, from the level map the leaf is a child in.
    void write_leaf_samples(int depth, std::string_view lineage) {
        TextSink& out = *samples_out_;
        if (leaves_written_++ != 0) out.put(',');
        out.put('[');
        const auto row = tree_.sample_levels[static_cast<std::size_t>(depth - 2)].row(lineage);
        bool first = true;
        for (std::size_t sample = 0; sample < row.size(); ++sample) {
            if (row[sample] == 0) continue;
            if (!first) out.put(',');
            first = false;
            out.whole(static_cast<std::int64_t>(sample));
            out.put(',');
            out.whole(row[sample]);
        }
        out.put(']');
    }

    const Tree& tree_;
    TextSink& out_;
    TextSink* samples_out_;
    std::size_t leaves_written_ = 0;
};

}  // namespace

void write_taxonomy(const Tree& tree, TextSink& out) { TreeWriter(tree, out).write(); }

void write_taxonomy(const Tree& tree, TextSink& out, const std::vector<std::string>& samples, TextSink& samples_out) {
    samples_out.write("{\"samples\":[");
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (i != 0) samples_out.put(',');
        samples_out.put('"');
        write_json_name(samples_out, samples[i]);
        samples_out.put('"');
    }
    samples_out.write("],\"leaves\":[");
    TreeWriter(tree, out, &samples_out).write();
    samples_out.write("]}");
}

}  // namespace at::lineagetree
