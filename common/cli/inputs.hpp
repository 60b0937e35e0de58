#pragma once
// The input files of one run, opened together before anything is read.

#include <initializer_list>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/io/line_reader.hpp"

namespace at::cli {

// How the message names an input that cannot be opened.
enum class Naming {
    plain,   // Not able to open the file "reads.fasta"
    second,  // Not able to open the file 2 "reads.fasta"
};

// The input path that stands for standard input.
constexpr std::string_view standard_input_name = "-";

struct InputPath {
    const char* path;
    Naming naming = Naming::plain;
};

// Inputs that could not be opened, each already reported.
struct OpenFailed : std::runtime_error {
    OpenFailed() : std::runtime_error("open failed") {}
};

class Inputs {
public:
    // Opens each input in turn and reports each that cannot be opened; then,
    // when any could not, throws OpenFailed.
    explicit Inputs(std::span<const InputPath> paths);
    Inputs(std::initializer_list<InputPath> paths) : Inputs(std::span<const InputPath>(paths.begin(), paths.size())) {}
    ~Inputs();
    Inputs(const Inputs&) = delete;
    Inputs& operator=(const Inputs&) = delete;

    // The lines of the i-th input, in the order given.
    LineReader& operator[](std::size_t i) { return *readers_[i]; }

private:
    std::vector<int> fds_;
    std::vector<std::unique_ptr<LineReader>> readers_;
};

}  // namespace at::cli
