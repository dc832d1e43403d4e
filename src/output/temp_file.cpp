// The temporary file the output is written to: making it (unnamed where the
// file system allows), naming and linking it, discarding it, and the signal
// guard that removes a named one when the run is ended.
#include <fcntl.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "output/internal.h"

namespace output {

namespace {

// Signals that end the run while a named temporary file exists. SIGXFSZ is
// ignored instead: a file size limit is a failed write, like a full disk.
const int FATAL_SIGNALS[] = {SIGHUP, SIGINT, SIGTERM};

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

// The name under which /proc shows an open file, for linking it into a directory.
void proc_fd_path(int file, char (&path)[32]) {
    snprintf(path, sizeof path, "/proc/self/fd/%d", file);
}

}  // namespace

// Holds every signal back while a name appears, moves or goes, so that the name
// and temp_on_disk always agree when a handler runs.
sigset_t block_signals() {
    sigset_t all, before;
    sigfillset(&all);
    sigprocmask(SIG_BLOCK, &all, &before);
    return before;
}

void restore_signals(const sigset_t& before) { sigprocmask(SIG_SETMASK, &before, nullptr); }

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
            write_target = UNNAMED_TEMP;
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
            write_target = NAMED_TEMP;
            return file;
        }
        errno = error;
        if (error != EEXIST) break;
    }
    return -1;
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

// Gives up on a temporary file that nothing was written to.
void discard_temp(int file) {
    close(file);
    const sigset_t before = block_signals();
    if (temp_on_disk) unlinkat(directory, temp_name, 0);
    temp_on_disk = 0;
    restore_signals(before);
    write_target = PATH_ITSELF;
}

}  // namespace output
