// Replacing the output file through the built tool: a run that fails or is cut
// short leaves the path as it was and nothing beside it; a finished run replaces
// exactly the name it was given.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
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
std::string black_and_white_raster() {
    std::string raster;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x)
            raster += static_cast<char>((x * 7 + y * 3) % 5 < 2 ? 0 : 255);
    return raster;
}
const std::string INPUT = one_line_pgm(100, 100, black_and_white_raster());
const std::string OUTPUT = "P5\n#created by Quenbarlit\n100 100\n255\n" + black_and_white_raster();

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
bool as_nobody() {
    return setgroups(0, nullptr) == 0 && setgid(NOBODY) == 0 && setuid(NOBODY) == 0;
}

// A child set-up step that cannot be done here says why on the tool's standard
// error, which the test then gives as its reason to skip.
bool cannot(const char* what) {
    fprintf(stderr, "%s (%s)", what, strerror(errno));
    return false;
}

// An empty /proc/self/fd: no unnamed temporary file can be named through it, so
// the tool takes a named one.
bool without_proc_fd() {
    if (unshare(CLONE_NEWNS) != 0) return cannot("no mount namespace allowed here");
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return cannot("'/' is not a mount point here, as in a chroot");
    return mount("none", "/proc/self/fd", "tmpfs", 0, nullptr) == 0 ||
           cannot("cannot mount over /proc/self/fd");
}

// Makes every call of the system call number that asks for any of flags (its
// third argument; 0: every call) fail with error, as a file system or an
// exhausted resource would; a seccomp filter needs no privilege.
bool refuse_calls(int number, unsigned flags, int error) {
    // The low half of the third argument (args[2], 64 bits).
    const unsigned flags_at = offsetof(struct seccomp_data, args) + 2 * sizeof(__u64) +
                              (__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ ? sizeof(__u32) : 0);
    const unsigned refuse = SECCOMP_RET_ERRNO | (static_cast<unsigned>(error) & SECCOMP_RET_DATA);
    struct sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(number), 0, 4),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, flags_at),
        BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, flags, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, flags == 0 ? refuse : SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_RET | BPF_K, refuse),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    struct sock_fprog program = {static_cast<unsigned short>(sizeof filter / sizeof filter[0]),
                                 filter};
    return (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
            prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0) ||
           cannot("no seccomp filter allowed here");
}
bool refuse_opens(unsigned flags, int error) { return refuse_calls(__NR_openat, flags, error); }
// The kernel's own bit for an unnamed file (glibc's O_TMPFILE adds O_DIRECTORY,
// which the tool's opening of a directory asks for too).
const unsigned UNNAMED = 020000000;
// No unnamed temporary file on this file system: a named one instead.
bool without_unnamed_temp() { return refuse_opens(UNNAMED, EOPNOTSUPP); }
bool without_unnamed_temp_limit_quietly() {
    return without_unnamed_temp() && limit_writes_quietly();
}
// Neither kind can be made: the disk is full, or the directory refuses.
bool temp_meets_full_disk() { return refuse_opens(UNNAMED | O_EXCL, ENOSPC); }
bool temp_meets_quota() { return refuse_opens(UNNAMED | O_EXCL, EDQUOT); }
bool temp_refused_by_directory() { return refuse_opens(UNNAMED | O_EXCL, EACCES); }
// Three descriptors in use (0, 1, 2) and one free: the input, then the old file
// can be opened, nothing more.
bool four_descriptors() {
    const struct rlimit limit = {4, 4};
    return (close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0 || cannot("close_range")) &&
           (setrlimit(RLIMIT_NOFILE, &limit) == 0 || cannot("setrlimit"));
}
// No attribute, the ACL included, can be set on the new file.
bool attributes_refused() { return refuse_calls(__NR_fsetxattr, 0, ENOTSUP); }
bool umask_022() { return umask(022), true; }
bool umask_077() { return umask(077), true; }
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
    check(chown(dir.c_str(), NOBODY, NOBODY) == 0 &&
              chown((dir + "/out.pgm").c_str(), NOBODY, NOBODY) == 0,
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
// Nobody may make files here and write root's file, or nobody's own file of
// root's group, but may give a new file neither owner nor group: a hard link
// shows whether the file was written in place.
void others_file_in_open_directory(const std::string& dir) {
    hard_linked_old_file(dir);
    check(chmod((dir + "/out.pgm").c_str(), 0666) == 0 && chmod(dir.c_str(), 0777) == 0, "chmod");
}
void own_file_of_others_group(const std::string& dir) {
    others_file_in_open_directory(dir);
    check(chown((dir + "/out.pgm").c_str(), NOBODY, 0) == 0, "chown");
}
void old_file_0640(const std::string& dir) {
    old_file(dir);
    check(chmod((dir + "/out.pgm").c_str(), 0640) == 0, "chmod");
}

// A tmpfs over the directory with every inode taken (the root, in.pgm, out.pgm
// and one more) but plenty of space.
void no_free_inode(const std::string& dir) {
    if (mount("none", dir.c_str(), "tmpfs", 0, "size=64m,nr_inodes=4,mode=755") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here (" << strerror(errno) << ")";
    write_file(dir + "/in.pgm", INPUT);
    old_file(dir);
    write_file(dir + "/full", "");
}

// Two symlinks, each through ten directories with names of 250 letters: the
// file is more than PATH_MAX (4096) bytes of path away, though each link's
// target is shorter. other.pgm, a hard link, tells replacing from writing in place.
const std::string LONG_NAME(250, 'A');
void long_symlink_chain(const std::string& dir) {
    std::string ten;
    for (int i = 0; i < 10; ++i) ten += LONG_NAME + "/";
    const int top = open(dir.c_str(), O_PATH | O_DIRECTORY);
    int at = dup(top), middle = -1;
    for (int depth = 1; depth <= 20; ++depth) {
        check(mkdirat(at, LONG_NAME.c_str(), 0755) == 0, "mkdirat");
        const int next = openat(at, LONG_NAME.c_str(), O_PATH | O_DIRECTORY);
        if (depth == 11)
            middle = at;
        else
            close(at);
        at = next;
    }
    const int file = openat(at, "target.pgm", O_WRONLY | O_CREAT | O_EXCL, 0644);
    check(file >= 0 && write(file, OLD, strlen(OLD)) == static_cast<ssize_t>(strlen(OLD)), "write");
    close(file);
    check(linkat(at, "target.pgm", top, "other.pgm", 0) == 0, "linkat");
    check(symlinkat((ten + "link").c_str(), top, "out.pgm") == 0, "symlinkat");
    check(symlinkat((ten + "target.pgm").c_str(), middle, "link") == 0, "symlinkat");
    close(at);
    close(middle);
    close(top);
}

// ACLs and attributes, set with the tools a user would use.
void setfacl_or_skip(const std::string& arguments) {
    if (system("command -v setfacl >/dev/null") != 0)
        GTEST_SKIP() << "setfacl is missing (apt-get install acl)";
    if (system(("setfacl " + arguments + " 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "this file system has no POSIX ACLs (setfacl " << arguments << " failed)";
}
// Nobody may read and write the file, its group nothing, though the group bits
// (the ACL's mask, rw) say otherwise: ls shows -rw-rw----+.
void file_with_acl(const std::string& dir) {
    old_file(dir);
    check(chmod((dir + "/out.pgm").c_str(), 0600) == 0, "chmod");
    setfacl_or_skip("-m u:65534:rw-,g::---,m::rw- " + dir + "/out.pgm");
}
// An old file private to its owner, from before the directory's default ACL
// let nobody in: the replacement must not take that ACL.
void private_file_in_acl_directory(const std::string& dir) {
    old_file(dir);
    check(chmod((dir + "/out.pgm").c_str(), 0600) == 0, "chmod");
    setfacl_or_skip("-d -m u:65534:rw- " + dir);
}
void file_with_user_attribute(const std::string& dir) {
    old_file(dir);
    if (setxattr((dir + "/out.pgm").c_str(), "user.note", "kept", 4, 0) != 0)
        GTEST_SKIP() << "this file system takes no user.* attributes (" << strerror(errno) << ")";
}

// What getfacl prints for the file: numeric, without the header.
std::string acl_of(const std::string& path) {
    std::string text;
    if (FILE* pipe = popen(("getfacl -cnp " + path + " 2>/dev/null").c_str(), "r")) {
        char buffer[256];
        size_t got;
        while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, got);
        pclose(pipe);
    }
    return text;
}
bool may_open_as(uid_t user, gid_t group, const std::string& path, int flags) {
    const pid_t child = fork();
    if (child == 0) {
        const bool opened = setgroups(0, nullptr) == 0 && setgid(group) == 0 && setuid(user) == 0 &&
                            open(path.c_str(), flags) >= 0;
        _exit(opened ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Checks of the finished directory beyond bytes, names and modes.
void acl_kept(const std::string& dir) {
    const std::string file = dir + "/out.pgm";
    EXPECT_EQ(acl_of(file), "user::rw-\nuser:65534:rw-\ngroup::---\nmask::rw-\nother::---\n\n");
    struct stat info;
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_TRUE(may_open_as(NOBODY, NOBODY, file, O_RDWR)) << "the named user lost access";
    EXPECT_FALSE(may_open_as(4321, info.st_gid, file, O_RDONLY))
        << "the owning group gained access";
}
void group_kept(const std::string& dir) {
    struct stat info;
    ASSERT_EQ(stat((dir + "/out.pgm").c_str(), &info), 0);
    EXPECT_EQ(info.st_gid, 0u) << "the file changed group";
}
void no_acl(const std::string& dir) {
    const std::string file = dir + "/out.pgm";
    EXPECT_EQ(acl_of(file), "user::rw-\ngroup::---\nother::---\n\n");
    EXPECT_FALSE(may_open_as(NOBODY, NOBODY, file, O_RDONLY))
        << "the directory's default ACL let nobody in";
}
void user_attribute_kept(const std::string& dir) {
    char value[16];
    const ssize_t size = getxattr((dir + "/out.pgm").c_str(), "user.note", value, sizeof value);
    EXPECT_EQ(std::string(value, size > 0 ? size : 0), "kept");
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
    void (*verify)(const std::string& dir) = nullptr;  // further checks afterwards
};

std::ostream& operator<<(std::ostream& o, const ReplaceCase& c) { return o << c.name; }

// A case a row (or two), as the table reads: the formatter would give each field
// of a row that holds a braced list a line of its own.
// clang-format off
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
    // The same through a named temporary file where the file system makes no
    // unnamed one: no privilege needed, so CI runs these wherever it runs.
    {"no_unnamed_temp_replaces", old_file_0640, "{dir}/out.pgm", without_unnamed_temp, false, 0, false,
     {{"out.pgm", "{new}"}}, "in.pgm out.pgm", 0640, -1},
    {"no_unnamed_temp_write_fails", old_file, "{dir}/out.pgm", without_unnamed_temp_limit_quietly, false, 255,
     false, {{"out.pgm", "{old}"}}, "in.pgm out.pgm", 0, -1},
    {"no_unnamed_temp_new_file", nothing, "{dir}/out.pgm", without_unnamed_temp, false, 0, false,
     {{"out.pgm", "{new}"}}, "in.pgm out.pgm", 0, -1},
    // No temporary file can be made for lack of a resource: the run fails before
    // anything is written, and the old file stays as it was.
    {"no_free_inode", no_free_inode, "{dir}/out.pgm", nullptr, true, 255, true, {{"out.pgm", "{old}"}},
     "full in.pgm out.pgm", 0, -1},
    {"no_free_inode_nor_room", no_free_inode, "{dir}/out.pgm", limit_writes_quietly, true, 255, true,
     {{"out.pgm", "{old}"}}, "full in.pgm out.pgm", 0, -1},
    {"no_free_descriptor", old_file, "{dir}/out.pgm", four_descriptors, false, 255, true, {{"out.pgm", "{old}"}},
     "in.pgm out.pgm", 0, -1},
    {"temp_meets_full_disk", old_file, "{dir}/out.pgm", temp_meets_full_disk, false, 255, true,
     {{"out.pgm", "{old}"}}, "in.pgm out.pgm", 0, -1},
    {"temp_meets_quota", old_file, "{dir}/out.pgm", temp_meets_quota, false, 255, true, {{"out.pgm", "{old}"}},
     "in.pgm out.pgm", 0, -1},
    {"new_path_temp_meets_full_disk", nothing, "{dir}/out.pgm", temp_meets_full_disk, false, 255, true, {},
     "in.pgm", 0, -1},
    // The directory refuses a new file: the old one is written in place, which
    // its other name shows.
    {"temp_refused_written_in_place", hard_linked_old_file, "{dir}/out.pgm", temp_refused_by_directory, false, 0,
     false, {{"out.pgm", "{new}"}, {"other.pgm", "{new}"}}, "in.pgm other.pgm out.pgm", 0, -1},
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
    {"symlinks_longer_than_path_max", long_symlink_chain, "{dir}/out.pgm", nullptr, false, 0, false,
     {{"out.pgm", "{new}"}, {"other.pgm", "{old}"}}, LONG_NAME + " in.pgm other.pgm out.pgm@", 0, -1},
    // A new file gets what fopen gives: 0666 less the umask.
    {"new_file_under_umask_022", nothing, "{dir}/out.pgm", umask_022, false, 0, false, {{"out.pgm", "{new}"}},
     "in.pgm out.pgm", 0644, -1},
    {"new_file_under_umask_077", nothing, "{dir}/out.pgm", umask_077, false, 0, false, {{"out.pgm", "{new}"}},
     "in.pgm out.pgm", 0600, -1},
    // Who may read the file stays as it was. The mode's group bits are the ACL's mask.
    {"acl_kept", file_with_acl, "{dir}/out.pgm", nullptr, true, 0, false, {{"out.pgm", "{new}"}},
     "in.pgm out.pgm", 0660, -1, acl_kept},
    {"no_acl_from_directory_default", private_file_in_acl_directory, "{dir}/out.pgm", nullptr, true, 0, false,
     {{"out.pgm", "{new}"}}, "in.pgm out.pgm", 0600, -1, no_acl},
    // An ACL that cannot be given to the new file fails the run: the old file stays.
    {"acl_cannot_be_kept", file_with_acl, "{dir}/out.pgm", attributes_refused, false, 255, true,
     {{"out.pgm", "{old}"}}, "in.pgm out.pgm", 0660, -1},
    {"user_attribute_kept", file_with_user_attribute, "{dir}/out.pgm", nullptr, false, 0, false,
     {{"out.pgm", "{new}"}}, "in.pgm out.pgm", 0, -1, user_attribute_kept},
    // No temporary file can replace the old one: written in place, as before.
    {"directory_not_writable", file_of_nobody, "{dir}/out.pgm", as_nobody, true, 0, false,
     {{"out.pgm", "{new}"}}, "in.pgm out.pgm", 0, NOBODY},
    {"sticky_directory", sticky_directory, "{dir}/out.pgm", as_nobody, true, 0, false,
     {{"out.pgm", "{new}"}}, "in.pgm out.pgm", 0666, 0},
    // A new file would change who owns the file, so who may read it.
    {"others_file_written_in_place", others_file_in_open_directory, "{dir}/out.pgm", as_nobody, true, 0, false,
     {{"out.pgm", "{new}"}, {"other.pgm", "{new}"}}, "in.pgm other.pgm out.pgm", 0666, 0},
    {"others_group_written_in_place", own_file_of_others_group, "{dir}/out.pgm", as_nobody, true, 0, false,
     {{"out.pgm", "{new}"}, {"other.pgm", "{new}"}}, "in.pgm other.pgm out.pgm", 0666, NOBODY, group_kept},
    // Not regular files: written directly.
    {"dev_null", nothing, "/dev/null", nullptr, false, 0, false, {}, "in.pgm", 0, -1},
    {"dev_full", nothing, "/dev/full", nullptr, false, 255, false, {}, "in.pgm", 0, -1},
};
// clang-format on

std::string listing(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* stream = opendir(dir.c_str())) {
        while (const dirent* entry = readdir(stream)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..") continue;
            struct stat info;
            const bool link = lstat((dir + "/" + name).c_str(), &info) == 0 &&
                              S_ISLNK(info.st_mode);
            names.push_back(link ? name + "@" : name);
        }
        closedir(stream);
    }
    std::sort(names.begin(), names.end());
    std::string joined;
    for (const std::string& name : names) joined += (joined.empty() ? "" : " ") + name;
    return joined;
}

// Removes name in the directory at, relative step by step: some trees here are
// deeper than any path may be long.
void remove_tree(int at, const char* name) {
    const int inside = openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (inside >= 0) {
        if (DIR* stream = fdopendir(inside)) {
            while (const dirent* entry = readdir(stream))
                if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
                    remove_tree(dirfd(stream), entry->d_name);
            closedir(stream);
        } else {
            close(inside);
        }
        unlinkat(at, name, AT_REMOVEDIR);
    } else {
        unlinkat(at, name, 0);
    }
}

class OutputReplace : public testing::Test {
   protected:
    void TearDown() override {
        const std::string dir = scratch_dir();
        umount2(dir.c_str(), MNT_DETACH);  // where a case mounted a tmpfs over it
        remove_tree(AT_FDCWD, dir.c_str());
        remove_tree(AT_FDCWD, (dir + "_run").c_str());
    }
};

class OutputReplaceCases : public OutputReplace, public testing::WithParamInterface<ReplaceCase> {};

TEST_P(OutputReplaceCases, KeepsOrReplacesAsDescribed) {
    const ReplaceCase& c = GetParam();
    if (c.root && geteuid() != 0) GTEST_SKIP() << "needs root";
    const std::string dir = scratch_dir();
    write_file(dir + "/in.pgm", INPUT);
    c.setup(dir);
    if (IsSkipped()) return;
    std::string output = c.output;
    if (output.compare(0, 5, "{dir}") == 0) output.replace(0, 5, dir);

    const ToolRun run = run_tool({dir + "/in.pgm", output}, c.child);
    if (run.status == 126) GTEST_SKIP() << "cannot set up the tool's process: " << run.err;
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
    if (c.verify != nullptr) c.verify(dir);
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
