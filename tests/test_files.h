// Scratch files and runs of the built tool for the tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

// A directory of the current test's own under the temporary folder; the same
// one on every call within the test. It is removed when the test passes and
// kept, with its path printed, when the test fails.
std::string scratch_dir();

void write_file(const std::string& path, const std::string& bytes);
std::string read_file(const std::string& path);
bool file_exists(const std::string& path);

// A PGM in the one-line layout: "P5 w h 255\n" followed by the raster.
std::string one_line_pgm(int width, int height, const std::string& raster);

struct ToolRun {
    int status;  // exit status, or -1 when the tool did not exit normally
    std::string out;
    std::string err;
};

// Runs the built circthresh with these arguments (argv[0] is its path) and no input.
// prepare_child, if given, runs in the child just before the tool starts (to set
// limits or drop privileges there); the child ends with status 126 if it fails.
ToolRun run_tool(const std::vector<std::string>& args, bool (*prepare_child)() = nullptr);

// Names each instance of a table-driven test after its row's name.
struct CaseName {
    template <class Row>
    std::string operator()(const testing::TestParamInfo<Row>& info) const {
        return info.param.name;
    }
};
