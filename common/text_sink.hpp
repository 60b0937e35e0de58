#pragma once
// Where a program's core writes an output file's text, and the number formats
// of every table: whole numbers in plain decimal, fractional values as single
// precision widened to double and written as %g writes them (six significant
// digits: 12.5, 33.3333, 1e+06, inf, -inf, nan, -nan).

#include <cstdint>
#include <cstring>
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
        written_to(copy(room(text.size()), text));
    }
    void put(char c) {
        char* const at = room(1);
        *at = c;
        written_to(at + 1);
    }
    void whole(std::int64_t value) { written_to(format_whole(room(longest_number), value)); }
    void real(float value) { written_to(format_real(room(longest_number), value)); }

    // One row of a two-column table: key, TAB, value, newline. Keys are taxon
    // names and lineages, or the numeric reference ids of the map-back tables.
    template <class Key, class Value>
    void row(const Key& key, Value value) {
        // The numbers are made in place at the end of the buffer: made in a
        // small buffer first, their text would be read back, wider than it
        // was stored, before the stores are done, and the copy would wait.
        char* at = nullptr;
        if constexpr (std::is_integral_v<Key>) {
            at = format_whole(room(2 * longest_number + 2), key);
        } else {
            const std::string_view text(key);
            at = copy(room(text.size() + longest_number + 2), text);
        }
        *at++ = '\t';
        if constexpr (std::is_integral_v<Value>) {
            at = format_whole(at, value);
        } else {
            static_assert(std::is_same_v<Value, float>, "table values are counts or single precision");
            at = format_real(at, value);
        }
        *at++ = '\n';
        written_to(at);
    }

protected:
    explicit TextSink(std::size_t drain_at) : drain_at_(drain_at) {}
    // Hands the buffered text on; a sink that keeps its text in memory never drains.
    virtual void drain() {}

    // The text written and not yet drained; emptied by drained().
    std::string_view pending() const { return std::string_view(buffer_.data(), used_); }
    void drained() { used_ = 0; }
    // Room for at least `bytes` bytes in all, so that the buffer does not
    // grow (and get copied) on the way to its first drain.
    void reserve(std::size_t bytes) {
        if (buffer_.size() < bytes) buffer_.resize(bytes);
    }
    // Hands over the text, leaving the sink empty.
    std::string take_text() {
        buffer_.resize(used_);
        used_ = 0;
        return std::exchange(buffer_, std::string());
    }

private:
    // Where `bytes` more bytes may be written. The string's size is the
    // room; used_ is how much of it holds text.
    char* room(std::size_t bytes) {
        if (buffer_.size() - used_ < bytes) grow(bytes);
        return buffer_.data() + used_;
    }
    // Copies `text` to `at`; returns its end.
    static char* copy(char* at, std::string_view text) {
        if (!text.empty()) std::memcpy(at, text.data(), text.size());
        return at + text.size();
    }
    void written_to(char* end) {
        used_ = static_cast<std::size_t>(end - buffer_.data());
        if (used_ >= drain_at_) drain();
    }
    void grow(std::size_t bytes);

    std::string buffer_;
    std::size_t used_ = 0;
    std::size_t drain_at_;
};

// Keeps the whole text: what the unit tests and fuzzers read back.
class MemorySink final : public TextSink {
public:
    MemorySink() : TextSink(static_cast<std::size_t>(-1)) {}
    std::string_view text() const { return pending(); }
    // Hands over the text, leaving the sink empty.
    std::string release() { return take_text(); }
};

}  // namespace at
