#pragma once
// Where a program's core writes the text of an output file: plain text, and
// the rows of two-column tables with the numbers in the tables' formats.

#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

#include "common/text/format.hpp"

namespace at {

class TextSink {
public:
    virtual ~TextSink() = default;

    void write(std::string_view text) {
        buffer_ += text;
        written();
    }
    void put(char c) {
        buffer_ += c;
        written();
    }
    void whole(std::int64_t value) {
        char text[longest_number];
        write(std::string_view(text, static_cast<std::size_t>(format_whole(text, value) - text)));
    }
    void real(float value) {
        char text[longest_number];
        write(std::string_view(text, static_cast<std::size_t>(format_real(text, value) - text)));
    }

    // One row of a two-column table: key, TAB, value, newline. Keys are
    // names and lineages, or the numeric reference ids of the map-back
    // tables; values are whole counts or single-precision values.
    template <class Key, class Value>
    void row(const Key& key, Value value) {
        if constexpr (std::is_integral_v<Key>) {
            char text[longest_number];
            buffer_.append(text, format_whole(text, key));
        } else {
            buffer_ += std::string_view(key);
        }
        buffer_ += '\t';
        if constexpr (std::is_integral_v<Value>) {
            whole(value);
        } else {
            static_assert(std::is_same_v<Value, float>, "table values are counts or single precision");
            real(value);
        }
        put('\n');
    }

protected:
    // A sink that hands its text on does so once `drain_at` bytes are held.
    explicit TextSink(std::size_t drain_at) : drain_at_(drain_at) { buffer_.reserve(drain_at < 4096 ? drain_at : 4096); }
    // Hands the buffered text on; a sink that keeps its text never drains.
    virtual void drain() {}

    std::string buffer_;

private:
    void written() {
        if (buffer_.size() >= drain_at_) drain();
    }

    std::size_t drain_at_;
};

// Keeps the whole text: what the unit tests and fuzzers read back.
class MemorySink final : public TextSink {
public:
    MemorySink() : TextSink(static_cast<std::size_t>(-1)) {}
    const std::string& text() const { return buffer_; }
};

}  // namespace at
