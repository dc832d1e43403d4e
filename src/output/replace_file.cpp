// Opening and committing the output: one early return for each kind of path,
// then the commit of a temporary file or the close of a direct one.
#include "output/replace_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "fail.h"
#include "output/internal.h"

namespace output {

WriteTarget write_target = PATH_ITSELF;
const char* output_path;
int directory = -1;
int old_file = -1;
const char* final_name;
char temp_name[32];
volatile sig_atomic_t temp_on_disk = 0;

}  // namespace output

using namespace output;

namespace {

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

// Gives up on the output: nothing was written, the old file is left alone.
FILE* refuse() {
    close_directory();
    if (old_file >= 0) close(old_file);
    old_file = -1;
    return nullptr;
}

// The temporary file as a stream; where that fails, it goes again.
FILE* open_temp(int temp) {
    FILE* file = fdopen(temp, "wb");
    if (file == nullptr) {
        finish_output(nullptr, false);
        close(temp);
    }
    return file;
}

// A name not yet taken: a temporary file renamed to it at the end, so that a
// failed run leaves no partial file.
FILE* open_new_file(const char* path) {
    PathPlan plan = find_directory(path, nullptr);
    int temp = -1;
    if (plan == REPLACE_BY_TEMP && (temp = make_temp_file(0666)) < 0)
        plan = plan_after_refusal(errno);
    if (plan == WRITE_IN_PLACE) {
        // Where the directory refuses a new file, fopen gives the same answer.
        close_directory();
        return fopen(path, "wb");
    }
    if (plan == REFUSE_OUTPUT) return refuse();
    return open_temp(temp);
}

// A regular file: replaced through a temporary file that takes its owner and
// group, or written in place where no such file can replace it.
FILE* open_replacement(const char* path) {
    // fopen "wb" without the truncation: the same permission checks (root
    // keeps its powers), and the descriptor to write through if need be.
    old_file = open(path, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (old_file < 0) return nullptr;
    struct stat old;
    PathPlan plan = fstat(old_file, &old) != 0 ? REFUSE_OUTPUT
                    : !S_ISREG(old.st_mode)    ? WRITE_IN_PLACE
                                               : find_directory(path, &old);
    int temp = -1;
    if (plan == REPLACE_BY_TEMP && (temp = make_temp_file(0600)) < 0) {
        plan = plan_after_refusal(errno);
    } else if (plan == REPLACE_BY_TEMP && !take_old_owner(temp)) {
        discard_temp(temp);
        plan = WRITE_IN_PLACE;
    }
    if (plan == WRITE_IN_PLACE) {
        close_directory();
        return write_in_place();
    }
    if (plan == REFUSE_OUTPUT) return refuse();
    return open_temp(temp);
}

}  // namespace

FILE* open_output(const char* path) {
    write_target = PATH_ITSELF;
    output_path = path;
    // A file size limit then fails a write (EFBIG), which the run reports with
    // status 255 like a full disk, instead of being killed half-way.
    signal(SIGXFSZ, SIG_IGN);
    struct stat target;
    const bool exists = stat(path, &target) == 0;
    // A device, a FIFO or a pipe is written directly.
    if (exists && !S_ISREG(target.st_mode)) return fopen(path, "wb");
    if (exists) return open_replacement(path);
    // A dangling symlink is written through, creating the file it names; a
    // path stat refused for another reason gets fopen's answer.
    struct stat link;
    if (errno != ENOENT || lstat(path, &link) == 0) return fopen(path, "wb");
    return open_new_file(path);
}

int finish_output(FILE* file, bool written) {
    if (write_target == PATH_ITSELF) {
        const bool closed = fclose(file) == 0;
        return written && closed ? 0 : -1;
    }
    // Flushed first, so that the last writes have been checked before any name changes.
    written = file != nullptr && written && fflush(file) == 0;
    const sigset_t before = block_signals();
    const bool kept = !written || copy_old_access(fileno(file));
    written = written && kept;
    if (written && write_target == UNNAMED_TEMP) written = link_temp(fileno(file));
    const bool closed = file == nullptr || fclose(file) == 0;
    const bool committed = written && closed && replace_old_file();
    if (!committed && temp_on_disk) unlinkat(directory, temp_name, 0);
    temp_on_disk = 0;
    restore_signals(before);
    if (old_file >= 0) close(old_file);
    old_file = -1;
    close_directory();
    write_target = PATH_ITSELF;
    // Who may read the file must not change: without its ACL the old file stays.
    if (!kept) fail("cannot open output file: %s\n", output_path);
    return committed ? 0 : -1;
}
