// Replacing the output file through the built tool: a run that fails or is cut
// short leaves the path as it was and nothing beside it; a finished run replaces
// exactly the name it was given.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <grp.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "test_files.h"

namespace {

const int NOBODY = 65534;
const char* const OLD = "an older file, which must survive\n";

// A 100 x 100 image of levels 0 and 255 only. The first cut that parts them is
// t = 0 (window 0..127 holds 0, not 255), so 0 stays 0 and 255 stays 255: the
// output is the writer's multi-line header and the same raster, 10,038 bytes.
std::string zeros_and_ones() {
    std::string raster;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) raster += static_cast<char>((x * 7 + y * 3) % 5 < 2 ? 0 : 255);
    return raster;
}
const std::string INPUT = one_line_pgm(100, 100, zeros_and_ones());
const std::string OUTPUT = "P5\n#created by Quenbarlit\n100 100\n255\n" + zeros_and_ones();

// What the tool's process does to itself before it starts: a file size limit
// of 5000 bytes stops the write half-way through the raster, like a full disk.
bool limit_writes_quietly() {
    const struct rlimit limit = {5000, 5000};
    return setrlimit(RLIMIT_FSIZE, &limit) == 0 && signal(SIGXFSZ, SIG_IGN) != SIG_ERR;
}
bool limit_writes_with_signal() {
    const struct rlimit limit = {5000, 5000};
    return setrlimit(RLIMIT_FSIZE, &limit) == 0 && signal(SIGXFSZ, SIG_DFL) != SIG_ERR;
}
bool as_nobody() { return setgroups(0, nullptr) == 0 && setgid(NOBODY) == 0 && setuid(NOBODY) == 0; }
// An empty /proc/self/fd: no unnamed temporary file can be named through it, so
// the tool takes a named one.
bool without_proc_fd() {
    return unshare(CLONE_NEWNS) == 0 && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           mount("none", "/proc/self/fd", "tmpfs", 0, nullptr) == 0;
}
bool without_proc_fd_limit_quietly() { return without_proc_fd() && limit_writes_quietly(); }
bool without_proc_fd_limit_with_signal() { return without_proc_fd() && limit_writes_with_signal(); }

void check(bool done, const char* what) {
    if (!done) ADD_FAILURE() << "setup failed: " << what;
}

// What the scratch directory holds before the run, besides in.pgm.
void nothing(const std::string&) {}
void old_file(const std::string& dir) { write_file(dir + "/out.pgm", OLD); }
void old_file_0640_of_nobody(const std::string& dir) {
    old_file(dir);
    check(chmod((dir + "/out.pgm").c_str(), 0640) == 0, "chmod");
    check(chown((dir + "/out.pgm").c_str(), NOBODY, NOBODY) == 0, "chown");
}
void read_only_file(const std::string& dir) {
    old_file(dir);
    check(chmod((dir + "/out.pgm").c_str(), 0444) == 0, "chmod");
}
// Nobody may make files in the directory, but not write the file.
void read_only_file_of_nobody(const std::string& dir) {
    read_only_file(dir);
    check(chown(dir.c_str(), NOBODY, NOBODY) == 0 && chown((dir + "/out.pgm").c_str(), NOBODY, NOBODY) == 0,
          "chown");
}
// Nobody may write the file, but not make a file beside it.
void file_of_nobody(const std::string& dir) {
    old_file(dir);
    check(chown((dir + "/out.pgm").c_str(), NOBODY, NOBODY) == 0, "chown");
}
// Nobody may make files here and write root's file, but not rename over it.
void sticky_directory(const std::string& dir) {
    old_file(dir);
    check(chmod((dir + "/out.pgm").c_str(), 0666) == 0 && chmod(dir.c_str(), 01777) == 0, "chmod");
}
void symlink_to_old_file(const std::string& dir) {
    write_file(dir + "/target.pgm", OLD);
    check(symlink("target.pgm", (dir + "/out.pgm").c_str()) == 0, "symlink");
}
void dangling_symlink(const std::string& dir) {
    check(symlink("target.pgm", (dir + "/out.pgm").c_str()) == 0, "symlink");
}
void hard_linked_old_file(const std::string& dir) {
    old_file(dir);
    check(link((dir + "/out.pgm").c_str(), (dir + "/other.pgm").c_str()) == 0, "link");
}

struct ReplaceCase {
    const char* name;
    void (*setup)(const std::string& dir);
    const char* output;  // the output path given; "{dir}" stands for the scratch directory
    bool (*child)();     // run in the tool's process first; nullptr for none
    bool root;           // needs root to set up (owners, privileges, mount namespaces)
    int status;          // -1: ended by a signal
    bool message;        // "cannot open output file: <output>" on standard error
    // Names in the directory and the bytes each must hold: "{in}", "{old}", "{new}".
    std::vector<std::pair<std::string, std::string>> files;
    std::string listing;  // every name in the directory afterwards; '@' marks a symlink
    mode_t mode;          // of the first of files; 0: not checked
    int owner;            // of the first of files; -1: not checked
};

std::ostream& operator<<(std::ostream& o, const ReplaceCase& c) { return o << c.name; }

const ReplaceCase REPLACE_CASES[] = {
    // Writes failing part-way: the path keeps what it held, nothing is left beside it.
    {"same_path_write_fails", nothing, "{dir}/in.pgm", limit_writes_quietly, false, 255, false,
     {{"in.pgm", "{in}"}}, "in.pgm", 0, -1},
    {"new_path_write_fails", nothing, "{dir}/out.pgm", limit_writes_quietly, false, 255, false, {}, "in.pgm",
     0, -1},
    {"other_file_write_fails", old_file, "{dir}/out.pgm", limit_writes_quietly, false, 255, false,
     {{"out.pgm", "{old}"}}, "in.pgm out.pgm", 0, -1},
    // ulimit -f leaves SIGXFSZ at its default, which would kill the run (153 in
    // the shell): the limit is a failed write instead, status 255.
    {"size_limit_is_a_failed_write", old_file, "{dir}/out.pgm", limit_writes_with_signal, false, 255, false,
     {{"out.pgm", "{old}"}}, "in.pgm out.pgm", 0, -1},
    {"symlink_target_write_fails", symlink_to_old_file, "{dir}/out.pgm", limit_writes_quietly, false, 255,
     false, {{"target.pgm", "{old}"}}, "in.pgm out.pgm@ target.pgm", 0, -1},
    // The same through a named temporary file, which a signal must not leave behind.
    {"named_temp_write_fails", old_file, "{dir}/out.pgm", without_proc_fd_limit_quietly, true, 255, false,
     {{"out.pgm", "{old}"}}, "in.pgm out.pgm", 0, -1},
    {"named_temp_size_limit", old_file, "{dir}/out.pgm", without_proc_fd_limit_with_signal, true, 255, false,
     {{"out.pgm", "{old}"}}, "in.pgm out.pgm", 0, -1},
    {"named_temp_replaces", old_file_0640_of_nobody, "{dir}/out.pgm", without_proc_fd, true, 0, false,
     {{"out.pgm", "{new}"}}, "in.pgm out.pgm", 0640, NOBODY},
    // Finished runs.
    {"same_path_replaced", nothing, "{dir}/in.pgm", nullptr, false, 0, false, {{"in.pgm", "{new}"}}, "in.pgm",
     0, -1},
    {"new_path_made", nothing, "{dir}/out.pgm", nullptr, false, 0, false, {{"out.pgm", "{new}"}},
     "in.pgm out.pgm", 0, -1},
    {"mode_and_owner_kept", old_file_0640_of_nobody, "{dir}/out.pgm", nullptr, true, 0, false,
     {{"out.pgm", "{new}"}}, "in.pgm out.pgm", 0640, NOBODY},
    // Root may write a read-only file, as with fopen; it stays read-only.
    {"read_only_replaced_by_root", read_only_file, "{dir}/out.pgm", nullptr, true, 0, false,
     {{"out.pgm", "{new}"}}, "in.pgm out.pgm", 0444, -1},
    {"read_only_refused", read_only_file_of_nobody, "{dir}/out.pgm", as_nobody, true, 255, true,
     {{"out.pgm", "{old}"}}, "in.pgm out.pgm", 0444, -1},
    {"symlink_kept_target_replaced", symlink_to_old_file, "{dir}/out.pgm", nullptr, false, 0, false,
     {{"target.pgm", "{new}"}}, "in.pgm out.pgm@ target.pgm", 0, -1},
    {"dangling_symlink_written_through", dangling_symlink, "{dir}/out.pgm", nullptr, false, 0, false,
     {{"target.pgm", "{new}"}}, "in.pgm out.pgm@ target.pgm", 0, -1},
    {"hard_link_keeps_old_content", hard_linked_old_file, "{dir}/out.pgm", nullptr, false, 0, false,
     {{"out.pgm", "{new}"}, {"other.pgm", "{old}"}}, "in.pgm other.pgm out.pgm", 0, -1},
    // No temporary file can replace the old one: written in place, as before.
    {"directory_not_writable", file_of_nobody, "{dir}/out.pgm", as_nobody, true, 0, false,
     {{"out.pgm", "{new}"}}, "in.pgm out.pgm", 0, NOBODY},
    {"sticky_directory", sticky_directory, "{dir}/out.pgm", as_nobody, true, 0, false,
     {{"out.pgm", "{new}"}}, "in.pgm out.pgm", 0666, 0},
    // Not regular files: written directly.
    {"dev_null", nothing, "/dev/null", nullptr, false, 0, false, {}, "in.pgm", 0, -1},
    {"dev_full", nothing, "/dev/full", nullptr, false, 255, false, {}, "in.pgm", 0, -1},
};

std::string listing(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* stream = opendir(dir.c_str())) {
        while (const dirent* entry = readdir(stream)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..") continue;
            struct stat info;
            const bool link = lstat((dir + "/" + name).c_str(), &info) == 0 && S_ISLNK(info.st_mode);
            names.push_back(link ? name + "@" : name);
        }
        closedir(stream);
    }
    std::sort(names.begin(), names.end());
    std::string joined;
    for (const std::string& name : names) joined += (joined.empty() ? "" : " ") + name;
    return joined;
}

int remove_entry(const char* path, const struct stat*, int, FTW*) { return remove(path); }

class OutputReplace : public testing::Test {
  protected:
    void TearDown() override {
        const std::string dir = scratch_dir();
        nftw(dir.c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
        nftw((dir + "_run").c_str(), remove_entry, 16, FTW_DEPTH | FTW_PHYS);
    }
};

class OutputReplaceCases : public OutputReplace, public testing::WithParamInterface<ReplaceCase> {};

TEST_P(OutputReplaceCases, KeepsOrReplacesAsDescribed) {
    const ReplaceCase& c = GetParam();
    if (c.root && geteuid() != 0) GTEST_SKIP() << "needs root";
    const std::string dir = scratch_dir();
    write_file(dir + "/in.pgm", INPUT);
    c.setup(dir);
    std::string output = c.output;
    if (output.compare(0, 5, "{dir}") == 0) output.replace(0, 5, dir);

    const ToolRun run = run_tool({dir + "/in.pgm", output}, c.child);
    if (run.status == 126) GTEST_SKIP() << "cannot set up the tool's process here (mount namespaces?)";
    EXPECT_EQ(run.status, c.status);
    // Both levels present, split at 0 with no spread in either class.
    if (c.status != -1) {
        EXPECT_EQ(run.out, "thresholding at 0\nsigma_W 0.000000\n");
    }
    EXPECT_EQ(run.err, c.message ? "cannot open output file: " + output + "\n" : "");
    for (const auto& [name, expected] : c.files) {
        const std::string bytes = expected == "{in}" ? INPUT : expected == "{old}" ? OLD : OUTPUT;
        EXPECT_EQ(read_file(dir + "/" + name), bytes) << name;
    }
    EXPECT_EQ(listing(dir), c.listing);
    struct stat info;
    if (c.mode == 0 && c.owner == -1) return;
    ASSERT_EQ(stat((dir + "/" + c.files[0].first).c_str(), &info), 0);
    if (c.mode != 0) {
        EXPECT_EQ(info.st_mode & 07777, c.mode);
    }
    if (c.owner != -1) {
        EXPECT_EQ(static_cast<int>(info.st_uid), c.owner);
    }
}

INSTANTIATE_TEST_SUITE_P(Output, OutputReplaceCases, testing::ValuesIn(REPLACE_CASES), CaseName());

TEST_F(OutputReplace, FifoReaderGetsTheWholeImage) {
    const std::string dir = scratch_dir();
    write_file(dir + "/in.pgm", INPUT);
    const std::string fifo = dir + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const pid_t reader = fork();
    if (reader == 0) {
        const int in = open(fifo.c_str(), O_RDONLY);
        const int out = open((dir + "/got.pgm").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        char buffer[4096];
        ssize_t got;
        while ((got = read(in, buffer, sizeof buffer)) > 0)
            if (write(out, buffer, got) != got) _exit(1);
        _exit(got == 0 ? 0 : 1);
    }
    const ToolRun run = run_tool({dir + "/in.pgm", fifo});
    // Should the tool never have opened the FIFO, this ends the reader's wait.
    const int writer = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (writer >= 0) close(writer);
    int status = 0;
    waitpid(reader, &status, 0);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(read_file(dir + "/got.pgm"), OUTPUT);
    EXPECT_EQ(listing(dir), "fifo got.pgm in.pgm");
}

}  // namespace
