// The suites' scratch folders (removed when a test passes, kept when it fails),
// file reads and writes, and runs of the built tool with its output captured.
#include "test_files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

namespace {

// The scratch directories the running test has made.
std::vector<std::string> made_dirs;

void note_made(const std::string& dir) {
    for (const std::string& known : made_dirs)
        if (known == dir) return;
    made_dirs.push_back(dir);
}

// Removes a test's scratch directories when it passes; a failed test keeps
// them, so what it saw can be looked at.
struct ScratchCleaner : testing::EmptyTestEventListener {
    void OnTestEnd(const testing::TestInfo& test) override {
        for (const std::string& dir : made_dirs) {
            if (test.result()->Failed()) {
                std::cout << "scratch files of the failed test kept in " << dir << "\n";
                continue;
            }
            std::error_code ignored;
            std::filesystem::remove_all(dir, ignored);
        }
        made_dirs.clear();
    }
};

// Registered before main runs, so the suites need no main of their own.
const bool cleaner_registered = [] {
    testing::UnitTest::GetInstance()->listeners().Append(new ScratchCleaner);
    return true;
}();

}  // namespace

std::string scratch_dir() {
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "." + test->name();
    for (char& c : name)
        if (c == '/') c = '_';
    std::string dir = testing::TempDir() + "circthresh_" + std::to_string(getpid()) + "_" + name;
    // Named after the process and the test, so it is new to each test run.
    if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) ADD_FAILURE() << "cannot make " << dir;
    note_made(dir);
    return dir;
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary);
    file << bytes;
    if (!file) ADD_FAILURE() << "cannot write " << path;
}

std::string read_file(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

bool file_exists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

std::string one_line_pgm(int width, int height, const std::string& raster) {
    return "P5 " + std::to_string(width) + " " + std::to_string(height) + " 255\n" + raster;
}

ToolRun run_tool(const std::vector<std::string>& args, bool (*prepare_child)()) {
    std::string dir = scratch_dir() + "_run";
    mkdir(dir.c_str(), 0755);
    note_made(dir);
    std::string out_path = dir + "/stdout", err_path = dir + "/stderr";
    pid_t pid = fork();
    if (pid == 0) {
        int in = open("/dev/null", O_RDONLY);
        int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        // Opened before the child may change its user: the build can sit where
        // that user cannot look (a clone under /root, mode 700).
        int tool = open(CIRCTHRESH_BINARY, O_RDONLY | O_CLOEXEC);
        if (prepare_child != nullptr && !prepare_child()) _exit(126);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(CIRCTHRESH_BINARY));
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        fexecve(tool, argv.data(), environ);
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file(out_path), read_file(err_path)};
}
