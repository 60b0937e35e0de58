#include "lineagetree/lineagetree.hpp"

#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "readtally/classification.hpp"

namespace at::lineagetree {

namespace c = classification;

namespace {

// The rank of the last token that set one. The level map below a rank state
// from phylum to species is the one at (state - phylum).
enum class Rank { none, kingdom, phylum, class_, order, family, genus, species, otu };

constexpr char addition_separator = ';';

// The taxon name the bare marker "unclassified" yields (its text from the
// fourth character). A marker right after a token of this name, such as
// "Unclassified", is taken for a repeat of a marker already seen and is not
// counted.
constexpr std::string_view marker_name = "lassified";
// The child that a rank below the classifier's cutoff counts as.
constexpr std::string_view unclassified_child = "unclassified";

// The first byte of an addition in a key: its level as a digit when the
// parent name follows, as a letter when the parent is the child of the
// addition before it (as it is for most of a line), whose name is then not
// written again. Keys are about half as long that way.
constexpr char level_with_parent = '0';
constexpr char level_under_previous = 'A';

// Whether two names are the same text. Most often they are the same name of
// the line, at the same place: then no byte needs comparing.
bool same_text(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    return a.data() == b.data() || std::memcmp(a.data(), b.data(), a.size()) == 0;
}

// Collects the counts of one line as the key of LineTally::additions.
class LineAdditions {
public:
    void clear() {
        key_.clear();
        last_start_ = 0;
        previous_child_ = {};
    }
    const std::string& key() const { return key_; }
    // The key's head: every addition but the last.
    std::size_t head_size() const { return last_start_; }

    void add(std::size_t level, std::string_view parent, std::string_view child) {
        last_start_ = key_.size();
        if (!key_.empty() && same_text(parent, previous_child_)) {
            key_ += static_cast<char>(level_under_previous + level);
        } else {
            key_ += static_cast<char>(level_with_parent + level);
            key_ += parent;
            key_ += addition_separator;
        }
        key_ += child;
        key_ += addition_separator;
        previous_child_ = child;
    }

    // A token that ends the line counts in the level map below the rank state;
    // after no rank, the kingdom or an OTU there is none.
    void add_closing(Rank rank, std::string_view parent, std::string_view child) {
        if (rank < Rank::phylum || rank > Rank::species) return;
        add(static_cast<std::size_t>(rank) - static_cast<std::size_t>(Rank::phylum), parent, child);
    }

private:
    std::string key_;
    std::size_t last_start_ = 0;
    std::string_view previous_child_;
};

// Runs one line's tokens through the rank state machine. The rank state and
// the previous name start afresh on every line, so a line never nests under
// what the line before it ended with.
void add_lineage(std::string_view lineage, LineAdditions& additions) {
    Rank rank = Rank::none;
    std::string_view previous_name;
    c::Tokens tokens(lineage);
    std::string_view token;
    while (tokens.next(token)) {
        // Too short to hold a name, such as the lone CR after a CRLF line's
        // last ";": it neither counts nor changes the state.
        if (!c::has_taxon_name(token)) continue;
        const std::string_view name = c::taxon_name(token, tokens.first_paren());
        if (c::marks_rank_below_cutoff(name)) {
            // The classifier's present form of the bare marker: the same count.
            if (previous_name != marker_name) additions.add_closing(rank, previous_name, unclassified_child);
            return;
        }
        switch (c::rank_letter(token)) {
            case 'k': rank = Rank::kingdom; break;
            case 'p': rank = Rank::phylum; break;
            case 'c': additions.add(class_level, previous_name, name); rank = Rank::class_; break;
            case 'o': additions.add(order_level, previous_name, name); rank = Rank::order; break;
            case 'f': additions.add(family_level, previous_name, name); rank = Rank::family; break;
            case 'g': additions.add(genus_level, previous_name, name); rank = Rank::genus; break;
            case 's': additions.add(species_level, previous_name, name); rank = Rank::species; break;
            case 'u':
                if (token[1] == '_') {
                    additions.add_closing(rank, previous_name, name);
                    return;
                }
                if (token[1] == 'n') {
                    // The bare marker, and any other token the classifier
                    // begins with "un": counted whole, as written.
                    if (previous_name != marker_name) additions.add_closing(rank, previous_name, token);
                    return;
                }
                break;
            default: break;  // no rank; only its name is carried on
        }
        previous_name = name;
    }
}

}  // namespace

void read_classification(LineReader& reader, LineTally& tally) {
    BatchedUpdates line_counts(tally.additions, [](std::int64_t& lines, unsigned) { ++lines; });
    LineAdditions additions;
    std::string_view line;
    while (reader.next(line)) {
        additions.clear();
        add_lineage(c::lineage_of(line), additions);
        if (!additions.key().empty()) line_counts.add(additions.key(), additions.head_size(), 0);
    }
    line_counts.flush();
}

namespace {

// Where the last addition of a key starts.
std::size_t last_addition_of(std::string_view key) {
    std::size_t last = 0;
    for (std::size_t at = 0; at < key.size();) {
        last = at;
        // A level digit is followed by the parent name; either form then
        // holds the child name.
        if (key[at++] < level_under_previous) at = key.find(addition_separator, at) + 1;
        at = key.find(addition_separator, at) + 1;
    }
    return last;
}

// The child of the last addition of a text; empty for an empty text.
std::string_view last_child_of(std::string_view text) {
    if (text.empty()) return {};
    // The text ends with ";": the child is what stands after the ";" before
    // it, less the level letter of an addition that names no parent.
    const std::size_t start = last_addition_of(text);
    std::string_view last = text.substr(start, text.size() - 1 - start);
    if (last.front() < level_under_previous) last.remove_prefix(last.find(addition_separator) + 1);
    else last.remove_prefix(1);
    return last;
}

// Adds the counts of addition texts to a tree. Texts that share their first
// taxa are best given one after another: per level, the parent and child of
// the last addition are kept at hand, and only a change of either is looked
// up.
class Spreader {
public:
    explicit Spreader(Tree& tree) : tree_(tree) {}

    // Adds `lines` to every count the text holds; `previous_child` is the
    // child of the addition before the text's first. The texts must stay
    // while the spreader is used.
    void spread(std::string_view text, std::string_view previous_child, std::int64_t lines) {
        std::string_view rest = text;
        while (!rest.empty()) {
            const char first = rest.front();
            rest.remove_prefix(1);
            std::size_t level = 0;
            std::string_view parent;
            if (first >= level_under_previous) {
                level = static_cast<std::size_t>(first - level_under_previous);
                parent = previous_child;
            } else {
                level = static_cast<std::size_t>(first - level_with_parent);
                parent = rest.substr(0, rest.find(addition_separator));
                rest.remove_prefix(parent.size() + 1);
            }
            const std::string_view child = rest.substr(0, rest.find(addition_separator));
            previous_child = child;
            rest.remove_prefix(child.size() + 1);
            Current& at = current_[level];
            if (at.children == nullptr || at.parent != parent) {
                at.children = &entry(tree_.levels[level], parent);
                at.parent = parent;
                at.count = nullptr;
            }
            if (at.count == nullptr || at.child != child) {
                at.count = &entry(*at.children, child);
                at.child = child;
            }
            *at.count += lines;
        }
    }

private:
    struct Current {
        std::string_view parent;
        ChildCounts* children = nullptr;
        std::string_view child;
        std::int64_t* count = nullptr;
    };
    Tree& tree_;
    std::array<Current, level_count> current_;
};

}  // namespace

Tree tree_of(LineTally tally) {
    // Each key is kept as its head, every addition but the last, and its
    // tail, the last. Lines of a run share few heads (the taxa down to the
    // species) however many OTUs they name: each head is spread once with
    // the lines of all its keys, and then only the tails one by one, instead
    // of every key whole.
    using Additions = SplitKeyMap<std::int64_t>;
    using Addition = Additions::Entry;
    const HeadGroups<std::int64_t, const Addition*> groups(tally.additions,
                                                           [](const Addition& addition) { return &addition; });
    const auto& keys = groups.items();
    // The heads in byte order, so that heads sharing their first taxa follow
    // one another.
    Tree tree;
    Spreader spreader(tree);
    for (const auto& group : groups.groups()) {
        // The tails first: a tail whose parent is not written is under the
        // head's last child.
        const std::string_view head_child = last_child_of(group.head);
        std::int64_t lines = 0;
        for (std::size_t i = group.first; i < group.last; ++i) {
            // The keys of a head are scattered through the table.
            prefetch_ahead(keys, i);
            spreader.spread(Additions::tail(*keys[i]), head_child, keys[i]->second);
            lines += keys[i]->second;
        }
        spreader.spread(group.head, {}, lines);
    }
    return tree;
}

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
        // A name that stands under many parents is written many times; its
        // children are sorted once.
        for (std::size_t level = 0; level < level_count; ++level) {
            for (const auto& [parent, children] : tree.levels[level]) {
                sorted_[level].insert(parent, sorted_entries(children));
                if (level + 1 < level_count) {
                    for (const auto& child : children) ++parents_[level][child.first];
                }
            }
        }
    }

    void write() {
        out_->write(root_opening);
        const auto parents = sorted_entries(tree_.levels[class_level]);
        for (std::size_t i = 0; i < parents.size(); ++i) {
            const std::string_view name = parents[i]->first;
            const DepthLayout& layout = layouts[1];
            out_->write(layout.open_before_name);
            write_name(*out_, name);
            out_->write(layout.open_after_name);
            write_children(2, *children_of(class_level, name));
            out_->write(layout.close);
            out_->write(i + 1 < parents.size() ? ",\n" : "\n");
        }
        out_->write(root_closing);
    }

private:
    // The sorted children of a name in a level map, nullptr when it has none.
    const SortedChildren* children_of(std::size_t level, std::string_view name) const {
        return sorted_[level].find(name);
    }

    void write_children(int depth, const SortedChildren& children) {
        for (std::size_t i = 0; i < children.size(); ++i) {
            write_node(depth, children[i]->first, children[i]->second);
            out_->write(i + 1 < children.size() ? ",\n" : "\n");
        }
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
        auto [text, is_new] = rendered_[level].insert(name);
        if (is_new) {
            MemorySink sink;
            TextSink* const out = std::exchange(out_, &sink);
            write_children(depth + 1, children);
            out_ = out;
            *text = sink.release();
        }
        out_->write(*text);
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
        if (name != unclassified_child) write_children_of(depth, name, *children);
        out_->write(layout.close);
    }

    const Tree& tree_;
    TextSink* out_;
    std::array<StringMap<SortedChildren>, level_count> sorted_;
    // Per level map but the last: how many parents each child name has, and
    // the text of the children of the names that have more than one.
    std::array<StringMap<unsigned>, level_count - 1> parents_;
    std::array<StringMap<std::string>, level_count - 1> rendered_;
};

}  // namespace

void write_taxonomy(const Tree& tree, OutputSet& outputs) {
    TreeWriter writer(tree, outputs.create("taxonomy.json"));
    writer.write();
}

}  // namespace at::lineagetree
