#pragma once
// Where a program's core writes an output file's text, and the number formats
// of every table: whole numbers in plain decimal, fractional values as single
// precision widened to double and written as %g writes them (six significant
// digits: 12.5, 33.3333, 1e+06, inf, -inf, nan, -nan).

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace at {

// The longest text of a number below: a 64-bit whole number with its sign,
// or a float in %g form.
constexpr std::size_t longest_number = 24;

// Write a number's text at `out` (room for longest_number characters) and
// return the end of what they wrote.
char* format_whole(char* out, std::int64_t value);
char* format_real(char* out, float value);

void append_whole(std::string& out, std::int64_t value);
void append_real(std::string& out, float value);

class TextSink {
public:
    virtual ~TextSink() = default;

    void write(std::string_view text) {
        buffer_.append(text);
        if (buffer_.size() >= drain_at_) drain();
    }
    void put(char c) {
        buffer_.push_back(c);
        if (buffer_.size() >= drain_at_) drain();
    }
    void whole(std::int64_t value) {
        append_whole(buffer_, value);
        if (buffer_.size() >= drain_at_) drain();
    }
    void real(float value) {
        append_real(buffer_, value);
        if (buffer_.size() >= drain_at_) drain();
    }

    // One row of a two-column table: key, TAB, value, newline. Keys are taxon
    // names and lineages, or the numeric reference ids of the map-back tables.
    template <class Key, class Value>
    void row(const Key& key, Value value) {
        // The numbers of a row are made in one small buffer and appended at
        // once, with the TAB and the newline.
        char text[2 * longest_number + 2];
        char* end = text;
        if constexpr (std::is_integral_v<Key>) {
            end = format_whole(end, key);
        } else {
            buffer_.append(std::string_view(key));
        }
        *end++ = '\t';
        if constexpr (std::is_integral_v<Value>) {
            end = format_whole(end, value);
        } else {
            static_assert(std::is_same_v<Value, float>, "table values are counts or single precision");
            end = format_real(end, value);
        }
        *end++ = '\n';
        write(std::string_view(text, static_cast<std::size_t>(end - text)));
    }

protected:
    explicit TextSink(std::size_t drain_at) : drain_at_(drain_at) {}
    // Hands the buffered text on; a sink that keeps its text in memory never drains.
    virtual void drain() {}

    std::string buffer_;

private:
    std::size_t drain_at_;
};

// Keeps the whole text: what the unit tests and fuzzers read back.
class MemorySink final : public TextSink {
public:
    MemorySink() : TextSink(static_cast<std::size_t>(-1)) {}
    const std::string& text() const { return buffer_; }
    // Hands over the text, leaving the sink empty.
    std::string release() { return std::exchange(buffer_, std::string()); }
};

}  // namespace at
