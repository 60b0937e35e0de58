#include "lineagetree/tree_writer.hpp"

#include <memory>
#include <string>
#include <string_view>
#include <utility>
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
void write_name(TextSink& out, std::string_view name) {
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

using SortedChildren = std::vector<const ChildCounts::Entry*>;

class TreeWriter {
public:
    TreeWriter(const Tree& tree, TextSink& out) : tree_(tree), out_(&out) {
        // How many parents each child name has in the level maps but the last.
        for (std::size_t level = 0; level + 1 < level_count; ++level) {
            tree.levels[level].for_each([&](std::string_view, const ChildCounts& children) {
                children.for_each([&](std::string_view child, std::int64_t) { ++parents_[level][child]; });
            });
        }
    }

    void write() {
        out_->write(root_opening);
        const auto parents = fast::sorted_entries(tree_.levels[class_level]);
        for (std::size_t i = 0; i < parents.size(); ++i) {
            const DepthLayout& layout = layouts[1];
            out_->write(layout.open_before_name);
            write_name(*out_, parents[i]->key);
            out_->write(layout.open_after_name);
            write_children(2, *children_of(class_level, parents[i]->key));
            out_->write(layout.close);
            out_->write(i + 1 < parents.size() ? ",\n" : "\n");
        }
        out_->write(root_closing);
    }

private:
    // The children of a name in a level map in byte order, nullptr when it
    // has none. A name that stands under many parents is written under each;
    // its children are sorted once.
    const SortedChildren* children_of(std::size_t level, std::string_view name) {
        const ChildCounts* children = tree_.levels[level].find(name);
        if (children == nullptr) return nullptr;
        // Kept apart from the map, so that it stays where it is as the map grows.
        std::unique_ptr<SortedChildren>& sorted = sorted_[level][name];
        if (!sorted) sorted = std::make_unique<SortedChildren>(fast::sorted_entries(*children));
        return sorted.get();
    }

    void write_children(int depth, const SortedChildren& children) {
        for (std::size_t i = 0; i < children.size(); ++i) {
            write_node(depth, children[i]->key, children[i]->value);
            out_->write(i + 1 < children.size() ? ",\n" : "\n");
        }
    }

    // A node of depth 2 to 7. Its children are what its name holds in the
    // level map of the next rank down: the order map for depth 2, and so on
    // to the OTU map for depth 6; an OTU at depth 7 has none.
    void write_node(int depth, std::string_view name, std::int64_t count) {
        const DepthLayout& layout = layouts[static_cast<std::size_t>(depth)];
        const SortedChildren* children =
            depth < deepest ? children_of(static_cast<std::size_t>(depth - 1), name) : nullptr;
        if (children == nullptr) {
            out_->write(layout.leaf_prefix);
            write_name(*out_, name);
            out_->write(leaf_suffix);
            out_->whole(count);
            out_->put('}');
            return;
        }
        out_->write(layout.open_before_name);
        write_name(*out_, name);
        out_->write(layout.open_after_name);
        // Reads that stopped at a rank below the cutoff are one node: whatever
        // a taxon named "unclassified" holds further down is not shown.
        if (name != taxonomy::unclassified_marker) write_children_of(depth, name, *children);
        out_->write(layout.close);
    }

    // The children of a node of depth 2 to 6. A name under more than one
    // parent has the same children, written the same way, under each: their
    // text is made once and copied after that. (With the empty species name
    // of reference taxonomies, that is most of a large tree.)
    void write_children_of(int depth, std::string_view name, const SortedChildren& children) {
        const auto level = static_cast<std::size_t>(depth - 2);
        const unsigned* parents = parents_[level].find(name);
        if (parents == nullptr || *parents < 2) {
            write_children(depth + 1, children);
            return;
        }
        if (const std::string* text = rendered_[level].find(name)) {
            out_->write(*text);
            return;
        }
        MemorySink sink;
        TextSink* const out = std::exchange(out_, &sink);
        write_children(depth + 1, children);
        out_ = out;
        out_->write(sink.text());
        rendered_[level][name] = sink.text();
    }

    const Tree& tree_;
    TextSink* out_;
    std::array<fast::FlatMap<std::unique_ptr<SortedChildren>>, level_count> sorted_;
    // Per level map but the last: how many parents each child name has, and
    // the text of the children of the names that have more than one.
    std::array<fast::FlatMap<unsigned>, level_count - 1> parents_;
    std::array<fast::FlatMap<std::string>, level_count - 1> rendered_;
};

}  // namespace

void write_taxonomy(const Tree& tree, TextSink& out) { TreeWriter(tree, out).write(); }

}  // namespace at::lineagetree
