#pragma once
// The output files of one run, by name. A program's core asks for each file
// it writes here; the command-line frame backs it with safe output files
// (io/safe_outputs.hpp), the tests with memory.

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "common/io/text_sink.hpp"

namespace at {

class OutputSet {
public:
    virtual ~OutputSet() = default;
    // The sink of the named output file; asked once per file, in writing order.
    virtual TextSink& create(std::string_view name) = 0;
};

class MemoryOutputs final : public OutputSet {
public:
    TextSink& create(std::string_view name) override {
        order_.emplace_back(name);
        return files_[std::string(name)];
    }
    // The text written to a file ("" when it was never created).
    std::string text(std::string_view name) const {
        const auto found = files_.find(std::string(name));
        return found == files_.end() ? std::string() : found->second.text();
    }
    // The names of the files in the order they were created.
    const std::vector<std::string>& order() const { return order_; }

private:
    std::map<std::string, MemorySink> files_;
    std::vector<std::string> order_;
};

}  // namespace at
