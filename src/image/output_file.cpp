#include "image/output_file.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "image/copy_attributes.h"
#include "image/fail.h"

namespace {

// How the open output reaches the path: directly (a device, a FIFO, or the old
// file itself), or through a temporary file that the commit renames over it.
enum OutputRoute { DIRECT, UNNAMED_TEMP, NAMED_TEMP };

// What opening can do with the path: replace it through a temporary file; write
// the old file in place, for the reasons the manual page names (the directory
// refuses a new file, a rename cannot replace this file); or nothing, when no
// temporary file can be made for another reason (no free inode, descriptor or
// memory, a path too long): the run fails and the old file stays as it was.
enum Way { REPLACE, IN_PLACE, REFUSE };

// The one output of a run. Static buffers, so that nothing is allocated beyond
// what stdio does and a signal handler can read the temporary file's name.
OutputRoute route = DIRECT;
const char* output_path;     // as given, for the message
int directory = -1;          // the directory holding the file to replace
int old_file = -1;           // that file, open for writing; -1 for a name not yet taken
const char* final_name;      // its name in that directory
char directory_path[PATH_MAX];
char link_name[PATH_MAX];    // the name a symlink led to last
char link_target[PATH_MAX];
char temp_name[32];
volatile sig_atomic_t temp_on_disk = 0;

// Most symlinks followed to the file, as the kernel allows (ELOOP beyond).
const int MAX_LINKS = 40;

// Signals that end the run while a named temporary file exists. SIGXFSZ is
// ignored instead: a file size limit is a failed write, like a full disk.
const int FATAL_SIGNALS[] = {SIGHUP, SIGINT, SIGTERM};

// Errors with which a directory refuses a new file: the old file, which this
// process may write, is then written in place as fopen would. Any other error
// (ENOSPC, EDQUOT, EMFILE, ENFILE, ENOMEM, ENAMETOOLONG, ELOOP, ...) leaves it alone.
Way way_after(int error) {
    return error == EACCES || error == EPERM || error == EROFS ? IN_PLACE : REFUSE;
}

void remove_temp_and_die(int signal_number) {
    if (temp_on_disk) unlinkat(directory, temp_name, 0);
    // The handler was reset on entry: the signal now ends the process as it would have.
    raise(signal_number);
}

void guard_named_temp() {
    for (int signal_number : FATAL_SIGNALS) {
        struct sigaction old_action;
        // A signal the caller ignores (nohup) stays ignored.
        if (sigaction(signal_number, nullptr, &old_action) != 0 || old_action.sa_handler == SIG_IGN)
            continue;
        struct sigaction action;
        memset(&action, 0, sizeof action);
        action.sa_handler = remove_temp_and_die;
        sigfillset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        sigaction(signal_number, &action, nullptr);
    }
}

// Holds every signal back while a name appears, moves or goes, so that the name
// and temp_on_disk always agree when a handler runs.
sigset_t block_signals() {
    sigset_t all, before;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &before);
    return before;
}

void restore_signals(const sigset_t& before) { sigprocmask(SIG_SETMASK, &before, nullptr); }

// A hidden name unlikely to be taken: ".circthresh-" and ten letters or digits
// mixed from the clock, the process id and the attempt.
void make_temp_name(unsigned attempt) {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    uint64_t bits = static_cast<uint64_t>(now.tv_nsec) ^ (static_cast<uint64_t>(now.tv_sec) << 30) ^
                    (static_cast<uint64_t>(getpid()) << 20) ^ (attempt * 0x9E3779B97F4A7C15ull);
    bits = (bits ^ (bits >> 30)) * 0xBF58476D1CE4E5B9ull;
    bits = (bits ^ (bits >> 27)) * 0x94D049BB133111EBull;
    bits ^= bits >> 31;
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static const char prefix[] = ".circthresh-";
    memcpy(temp_name, prefix, sizeof prefix - 1);
    char* out = temp_name + sizeof prefix - 1;
    for (int i = 0; i < 10; ++i, bits /= 62) *out++ = letters[bits % 62];
    *out = '\0';
}

// Opens the directory part of path (up to its last slash, "." without one) as
// directory, and points final_name at the rest.
Way open_directory_of(const char* path, char* name_buffer) {
    const char* slash = strrchr(path, '/');
    const char* name = slash == nullptr ? path : slash + 1;
    if (*name == '\0' || strlen(name) >= sizeof link_name) return REFUSE;
    if (slash == nullptr) {
        strcpy(directory_path, ".");
    } else {
        const size_t length = slash == path ? 1 : static_cast<size_t>(slash - path);
        if (length >= sizeof directory_path) return REFUSE;
        memcpy(directory_path, path, length);
        directory_path[length] = '\0';
    }
    // Relative to the directory of the link that led here, if any.
    const int base = directory >= 0 ? directory : AT_FDCWD;
    const int opened = openat(base, directory_path, O_PATH | O_DIRECTORY | O_CLOEXEC);
    const int error = errno;
    if (directory >= 0) close(directory);
    directory = opened;
    if (directory < 0) return way_after(error);
    if (name_buffer != nullptr) {
        strcpy(name_buffer, name);
        name = name_buffer;
    }
    final_name = name;
    return REPLACE;
}

// Finds the directory and the name that a rename must use to replace the file
// at path. Symlinks are followed one at a time, each relative to the directory
// holding it, so that no path longer than PATH_MAX is ever formed. For an old
// file, checks too that a rename there will replace this very file: the name
// must be the file itself (not a deleted file seen through /proc), not a mount
// point, and not in a sticky directory that keeps others from replacing it.
Way find_directory(const char* path, const struct stat* old) {
    Way way = open_directory_of(path, nullptr);
    if (way != REPLACE || old == nullptr) return way;
    struct stat named;
    for (int links = 0;; ++links) {
        if (fstatat(directory, final_name, &named, AT_SYMLINK_NOFOLLOW) != 0)
            return errno == ENOENT || errno == ENOTDIR ? IN_PLACE : REFUSE;
        if (!S_ISLNK(named.st_mode)) break;
        // The link stays a link: the file it ends at is the one replaced.
        if (links == MAX_LINKS) return REFUSE;
        const ssize_t length = readlinkat(directory, final_name, link_target, sizeof link_target);
        if (length < 0 || static_cast<size_t>(length) >= sizeof link_target) return REFUSE;
        link_target[length] = '\0';
        way = open_directory_of(link_target, link_name);
        if (way != REPLACE) return way;
    }
    struct stat parent;
    if (named.st_dev != old->st_dev || named.st_ino != old->st_ino) return IN_PLACE;
    if (fstat(directory, &parent) != 0) return REFUSE;
    if (named.st_dev != parent.st_dev) return IN_PLACE;
#ifdef STATX_ATTR_MOUNT_ROOT
    // A file bind-mounted on the same file system: rename would fail with EBUSY.
    struct statx mount;
    if (statx(directory, final_name, AT_SYMLINK_NOFOLLOW, STATX_INO, &mount) == 0 &&
        (mount.stx_attributes_mask & mount.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0)
        return IN_PLACE;
#endif
    const uid_t user = geteuid();
    const bool may_rename =
        (parent.st_mode & S_ISVTX) == 0 || user == 0 || user == old->st_uid || user == parent.st_uid;
    return may_rename ? REPLACE : IN_PLACE;
}

// The name under which /proc shows an open file, for linking it into a directory.
void proc_fd_path(int file, char (&path)[32]) {
    snprintf(path, sizeof path, "/proc/self/fd/%d", file);
}

// A new file in the directory, or -1 with errno saying why. Unnamed where the
// file system allows, so that a run ended by any signal, SIGKILL included,
// leaves nothing behind; the commit names it through /proc/self/fd, so that
// must be there too.
int make_temp_file(mode_t mode) {
    int file = openat(directory, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (file >= 0) {
        char proc_path[32];
        proc_fd_path(file, proc_path);
        if (access(proc_path, F_OK) == 0) {
            route = UNNAMED_TEMP;
            return file;
        }
        close(file);
    }
    guard_named_temp();
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        make_temp_name(attempt);
        const sigset_t before = block_signals();
        file = openat(directory, temp_name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        const int error = errno;
        if (file >= 0) temp_on_disk = 1;
        restore_signals(before);
        if (file >= 0) {
            route = NAMED_TEMP;
            return file;
        }
        errno = error;
        if (error != EEXIST) break;
    }
    return -1;
}

// The old file, emptied, as fopen "wb" would have left it: the way when no
// temporary file can replace it.
FILE* write_in_place() {
    struct stat info;
    if (fstat(old_file, &info) != 0 || (S_ISREG(info.st_mode) && ftruncate(old_file, 0) != 0)) {
        close(old_file);
        old_file = -1;
        return nullptr;
    }
    FILE* file = fdopen(old_file, "wb");
    if (file == nullptr) close(old_file);
    old_file = -1;
    return file;
}

void close_directory() {
    if (directory >= 0) close(directory);
    directory = -1;
}

// Names the unnamed temporary file with a hidden name, ready for the rename.
bool link_temp(int file) {
    char proc_path[32];
    proc_fd_path(file, proc_path);
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        make_temp_name(attempt);
        // Without /proc, only a process allowed to read any file may link by descriptor.
        if (linkat(AT_FDCWD, proc_path, directory, temp_name, AT_SYMLINK_FOLLOW) == 0 ||
            (errno != EEXIST && linkat(file, "", directory, temp_name, AT_EMPTY_PATH) == 0)) {
            temp_on_disk = 1;
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

// Gives the temporary file the old file's owner and group before anything is
// written to it. Only root may give a file away, and an owner may only choose a
// group it belongs to: where this process may not, a new file would change who
// owns the file, and so who may read it, and the old file is written in place
// instead, keeping its owner, group and ACL. The owner goes before the mode, as
// changing it clears the set-user-ID and set-group-ID bits and file capabilities.
bool take_old_owner(int file) {
    struct stat old;
    return fstat(old_file, &old) == 0 && fchown(file, old.st_uid, old.st_gid) == 0;
}

// Gives up on a temporary file that nothing was written to.
void discard_temp(int file) {
    close(file);
    const sigset_t before = block_signals();
    if (temp_on_disk) unlinkat(directory, temp_name, 0);
    temp_on_disk = 0;
    restore_signals(before);
    route = DIRECT;
}

// The old file's extended attributes (its ACL among them) and permission bits;
// a read-only file stays read-only. The mode goes last, so that it agrees with
// the ACL. Returns false when an attribute that must be kept could not be.
bool keep_access(int file) {
    struct stat old;
    if (old_file < 0) return true;
    if (fstat(old_file, &old) != 0) return false;
    if (!copy_attributes(old_file, file)) return false;
    if (fchmod(file, old.st_mode & 07777) != 0) {
        // A file system without modes; the temporary file's 0600 is the safe side.
    }
    return true;
}

// Puts the temporary file under the final name in one step. For an old file
// the two names are swapped and the old file then removed: its blocks are freed
// before the new file is written out. A plain rename over it has ext4 start
// writing the new file out first, and freeing the old blocks then waits behind
// that (on a disk mounted with discard, 20 ms instead of 7 for a 25 MB file).
// Nothing starts the write-out here: like cp, the run leaves that to the kernel
// (asking for it cost a 64 x 64 run about a third of its time).
bool replace_old_file() {
    if (old_file < 0 || renameat2(directory, temp_name, directory, final_name, RENAME_EXCHANGE) != 0)
        return renameat(directory, temp_name, directory, final_name) == 0;
    unlinkat(directory, temp_name, 0);  // now the old file
    temp_on_disk = 0;
    close(old_file);  // its last reference, where no other name or process holds it
    old_file = -1;
    return true;
}

// Gives up on the output: nothing was written, the old file is left alone.
FILE* refuse() {
    close_directory();
    if (old_file >= 0) close(old_file);
    old_file = -1;
    return nullptr;
}

}  // namespace

FILE* open_output(const char* path) {
    route = DIRECT;
    output_path = path;
    // A file size limit then fails a write (EFBIG), which the run reports with
    // status 255 like a full disk, instead of being killed half-way.
    signal(SIGXFSZ, SIG_IGN);
    struct stat target;
    Way way;
    int temp = -1;
    if (stat(path, &target) == 0) {
        if (!S_ISREG(target.st_mode)) return fopen(path, "wb");
        // fopen "wb" without the truncation: the same permission checks (root
        // keeps its powers), and the descriptor to write through if need be.
        old_file = open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
        if (old_file < 0) return nullptr;
        way = fstat(old_file, &target) != 0 ? REFUSE
              : !S_ISREG(target.st_mode)    ? IN_PLACE
                                            : find_directory(path, &target);
        if (way == REPLACE && (temp = make_temp_file(0600)) < 0) {
            way = way_after(errno);
        } else if (way == REPLACE && !take_old_owner(temp)) {
            discard_temp(temp);
            way = IN_PLACE;
        }
        if (way == IN_PLACE) {
            close_directory();
            return write_in_place();
        }
    } else {
        // A dangling symlink is written through, creating the file it names.
        struct stat link;
        if (errno != ENOENT || lstat(path, &link) == 0) return fopen(path, "wb");
        way = find_directory(path, nullptr);
        // Where the directory refuses a new file, fopen gives the same answer.
        if (way == REPLACE && (temp = make_temp_file(0666)) < 0) way = way_after(errno);
        if (way == IN_PLACE) {
            close_directory();
            return fopen(path, "wb");
        }
    }
    if (way == REFUSE) return refuse();
    FILE* file = fdopen(temp, "wb");
    if (file == nullptr) {
        finish_output(nullptr, false);
        close(temp);
    }
    return file;
}

int finish_output(FILE* file, bool written) {
    if (route == DIRECT) {
        const bool closed = fclose(file) == 0;
        return written && closed ? 0 : -1;
    }
    // Flushed first, so that the last writes have been checked before any name changes.
    written = file != nullptr && written && fflush(file) == 0;
    const sigset_t before = block_signals();
    const bool kept = !written || keep_access(fileno(file));
    written = written && kept;
    if (written && route == UNNAMED_TEMP) written = link_temp(fileno(file));
    const bool closed = file == nullptr || fclose(file) == 0;
    const bool committed = written && closed && replace_old_file();
    if (!committed && temp_on_disk) unlinkat(directory, temp_name, 0);
    temp_on_disk = 0;
    restore_signals(before);
    if (old_file >= 0) close(old_file);
    old_file = -1;
    close_directory();
    route = DIRECT;
    // Who may read the file must not change: without its ACL the old file stays.
    if (!kept) fail("cannot open output file: %s\n", output_path);
    return committed ? 0 : -1;
}
