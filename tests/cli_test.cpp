// The built tool end to end: arguments, report, output file and exit status,
// and the faults on either side of the run.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "test_files.h"

namespace {

const char* const HEADER = "P5\n#created by Quenbarlit\n";
const char* const NONE = "900000000000000000000.000000";

std::string bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) s += static_cast<char>(v);
    return s;
}

std::string report(int threshold, const std::string& variance) {
    return "thresholding at " + std::to_string(threshold) + "\nsigma_W " + variance + "\n";
}

struct CliCase {
    const char* name;
    std::vector<std::string> args;  // "{in}", "{out}", "{dir}" stand for scratch paths
    std::string input;              // written to {in}
    int status;
    std::string out;  // "{bin}" stands for the tool's path
    std::string err;
    std::string output;  // expected bytes of {out}; "-" when it must not exist
};

std::ostream& operator<<(std::ostream& o, const CliCase& c) { return o << c.name; }

const std::string IN_3X2 = one_line_pgm(3, 2, bytes({0, 255, 0, 0, 255, 0}));

// A case a row (or two), as the table reads: the formatter would give each field
// of a row that holds a braced list a line of its own.
// clang-format off
const CliCase CLI_CASES[] = {
    {"no_arguments", {}, "", 255, "usage: {bin} input_image output_image\n", "", "-"},
    {"one_argument", {"{in}"}, IN_3X2, 255, "usage: {bin} input_image output_image\n", "", "-"},
    {"three_arguments", {"{in}", "{out}", "x"}, IN_3X2, 255,
     "usage: {bin} input_image output_image\n", "", "-"},
    // 0 at even x and 255 at odd x: threshold 0, written back unchanged.
    {"three_by_two", {"{in}", "{out}"}, IN_3X2, 0, report(0, "0.000000"), "",
     std::string(HEADER) + "3 2\n255\n" + bytes({0, 255, 0, 0, 255, 0})},
    // Levels 1..4: t = 3, variance 0.25; 3 and 4 are in the window.
    {"four_levels", {"{in}", "{out}"}, one_line_pgm(4, 1, bytes({1, 2, 3, 4})), 0,
     report(3, "0.250000"), "", std::string(HEADER) + "4 1\n255\n" + bytes({255, 255, 0, 0})},
    // 250 and 5 together against 128: t = 6; 128 lies in 6..133 and turns black.
    {"object_across_wrap", {"{in}", "{out}"}, one_line_pgm(4, 1, bytes({250, 5, 128, 128})), 0,
     report(6, "15.125000"), "", std::string(HEADER) + "4 1\n255\n" + bytes({255, 255, 0, 0})},
    // 227 and 255: every window before t = 100 is empty, t = 100 holds 227 alone.
    {"threshold_100", {"{in}", "{out}"}, one_line_pgm(2, 2, bytes({227, 255, 255, 227})), 0,
     report(100, "0.000000"), "", std::string(HEADER) + "2 2\n255\n" + bytes({0, 255, 255, 0})},
    // No cut: threshold -1 blackens 255 and 0..126, whitens 127..254.
    {"one_level_126", {"{in}", "{out}"}, one_line_pgm(2, 1, bytes({126, 126})), 0, report(-1, NONE),
     "", std::string(HEADER) + "2 1\n255\n" + bytes({0, 0})},
    {"one_level_127", {"{in}", "{out}"}, one_line_pgm(1, 2, bytes({127, 127})), 0, report(-1, NONE),
     "", std::string(HEADER) + "1 2\n255\n" + bytes({255, 255})},
    {"one_level_255", {"{in}", "{out}"}, one_line_pgm(1, 1, bytes({255})), 0, report(-1, NONE), "",
     std::string(HEADER) + "1 1\n255\n" + bytes({0})},
    {"empty_image", {"{in}", "{out}"}, "P5\n0 3\n255\n", 0, report(-1, NONE), "",
     std::string(HEADER) + "0 3\n255\n"},
    {"negative_width", {"{in}", "{out}"}, "P5 -3 2 255\n", 0, report(-1, NONE), "",
     std::string(HEADER) + "-3 2\n255\n"},
    // Input faults: one line on stderr, nothing else, and no output file.
    {"bad_magic", {"{in}", "{out}"}, "P6 1 1 255\nx", 255, "",
     "ERROR: image is not correct PGM format\n", "-"},
    {"too_short", {"{in}", "{out}"}, one_line_pgm(2, 2, "abc"), 255, "",
     "ERROR: premature end of file\n", "-"},
    {"missing_input", {"{dir}/missing.pgm", "{out}"}, "", 255, "",
     "cannot open input file: {dir}/missing.pgm\n", "-"},
    {"input_is_directory", {"{dir}", "{out}"}, "", 255, "", "ERROR: premature end of file\n", "-"},
    // Output faults: the report is already out; a full device gives no message.
    {"output_directory_missing", {"{in}", "{dir}/none/out.pgm"}, IN_3X2, 255,
     report(0, "0.000000"), "cannot open output file: {dir}/none/out.pgm\n", "-"},
    {"output_is_directory", {"{in}", "{dir}"}, IN_3X2, 255, report(0, "0.000000"),
     "cannot open output file: {dir}\n", "-"},
    {"output_device_full", {"{in}", "/dev/full"}, IN_3X2, 255, report(0, "0.000000"), "", "-"},
};
// clang-format on

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

class CliTest : public testing::TestWithParam<CliCase> {};

TEST_P(CliTest, RunsAsDescribed) {
    const CliCase& c = GetParam();
    const std::string dir = scratch_dir();
    auto fill = [&](const std::string& text) {
        return replace_all(replace_all(replace_all(replace_all(text, "{in}", dir + "/in.pgm"),
                                                   "{out}", dir + "/out.pgm"),
                                       "{dir}", dir),
                           "{bin}", CIRCTHRESH_BINARY);
    };
    write_file(dir + "/in.pgm", c.input);
    std::vector<std::string> args;
    for (const std::string& arg : c.args) args.push_back(fill(arg));
    const ToolRun run = run_tool(args);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, fill(c.out));
    EXPECT_EQ(run.err, fill(c.err));
    if (c.output == "-")
        EXPECT_FALSE(file_exists(dir + "/out.pgm"));
    else
        EXPECT_EQ(read_file(dir + "/out.pgm"), c.output);
}

INSTANTIATE_TEST_SUITE_P(Runs, CliTest, testing::ValuesIn(CLI_CASES), CaseName());

TEST(Cli, SamePathForInputAndOutput) {
    const std::string path = scratch_dir() + "/image.pgm";
    write_file(path, one_line_pgm(4, 1, bytes({1, 2, 3, 4})));
    const ToolRun run = run_tool({path, path});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(read_file(path), std::string(HEADER) + "4 1\n255\n" + bytes({255, 255, 0, 0}));
}

TEST(Cli, BadInputLeavesExistingOutputAlone) {
    const std::string dir = scratch_dir();
    write_file(dir + "/in.pgm", "P5 2 2 255\nabcde");
    write_file(dir + "/out.pgm", "keep me");
    const ToolRun run = run_tool({dir + "/in.pgm", dir + "/out.pgm"});
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.err, "ERROR: extra characters in file\n");
    EXPECT_EQ(read_file(dir + "/out.pgm"), "keep me");
}

TEST(Cli, BadInputGivenAsOutputTooIsNotTruncated) {
    const std::string path = scratch_dir() + "/image.pgm";
    const std::string bad = one_line_pgm(3, 3, "only four!");  // one byte too many
    write_file(path, bad);
    const ToolRun run = run_tool({path, path});
    EXPECT_EQ(run.status, 255);
    EXPECT_EQ(run.err, "ERROR: extra characters in file\n");
    EXPECT_EQ(read_file(path), bad);
}

TEST(Cli, UnwritableReportIsAFailure) {
    // The image is still written, but a script reading the report gets none.
    const std::string dir = scratch_dir();
    write_file(dir + "/in.pgm", IN_3X2);
    const std::string command = std::string(CIRCTHRESH_BINARY) + " '" + dir + "/in.pgm' '" + dir +
                                "/out.pgm' > /dev/full";
    const int status = system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 255);
    EXPECT_EQ(read_file(dir + "/out.pgm"),
              std::string(HEADER) + "3 2\n255\n" + bytes({0, 255, 0, 0, 255, 0}));
}

TEST(Cli, OutputReadsBackAsTheSameImage) {
    // A 37 x 23 image over all levels: the output holds 0 and 255 only, so the
    // tool takes it back at threshold 0 and writes it unchanged.
    const std::string dir = scratch_dir();
    std::string raster;
    for (int i = 0; i < 37 * 23; ++i) raster += static_cast<char>(i * 11 % 256);
    write_file(dir + "/in.pgm", one_line_pgm(37, 23, raster));
    ASSERT_EQ(run_tool({dir + "/in.pgm", dir + "/a.pgm"}).status, 0);
    const ToolRun again = run_tool({dir + "/a.pgm", dir + "/b.pgm"});
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.out, report(0, "0.000000"));
    EXPECT_EQ(read_file(dir + "/b.pgm"), read_file(dir + "/a.pgm"));
}

TEST(Cli, OutputReadsInNetpbm) {
    if (system("command -v pamfile >/dev/null 2>&1") != 0) GTEST_SKIP() << "netpbm not installed";
    const std::string dir = scratch_dir();
    write_file(
        dir + "/in.pgm",
        one_line_pgm(
            5, 3, std::string("\x10\x20\x30\xf0\xe0\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a", 15)));
    ASSERT_EQ(run_tool({dir + "/in.pgm", dir + "/out.pgm"}).status, 0);
    const std::string command = "pamfile '" + dir + "/out.pgm' > '" + dir + "/info' 2>&1";
    ASSERT_EQ(system(command.c_str()), 0) << read_file(dir + "/info");
    EXPECT_NE(read_file(dir + "/info").find("PGM raw, 5 by 3  maxval 255"), std::string::npos)
        << read_file(dir + "/info");
}

}  // namespace
