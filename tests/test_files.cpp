#include "test_files.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>

std::string scratch_dir() {
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(test->test_suite_name()) + "." + test->name();
    for (char& c : name)
        if (c == '/') c = '_';
    std::string dir = testing::TempDir() + "circthresh_" + std::to_string(getpid()) + "_" + name;
    // Named after the process and the test, so it is new to each test run.
    if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) ADD_FAILURE() << "cannot make " << dir;
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
    std::string out_path = dir + "/stdout", err_path = dir + "/stderr";
    pid_t pid = fork();
    if (pid == 0) {
        int in = open("/dev/null", O_RDONLY);
        int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        if (prepare_child != nullptr && !prepare_child()) _exit(126);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(CIRCTHRESH_BINARY));
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(CIRCTHRESH_BINARY, argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file(out_path), read_file(err_path)};
}
