// The route to the output: the directory and the name a rename must use to
// replace the file at the path, following symlinks one at a time, and whether a
// rename may replace it there at all (sticky directories, mount points).
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "output/internal.h"

namespace output {

namespace {

char directory_path[PATH_MAX];
char link_name[PATH_MAX];  // the name a symlink led to last
char link_target[PATH_MAX];

// Most symlinks followed to the file, as the kernel allows (ELOOP beyond).
const int MAX_LINKS = 40;

// Opens the directory part of path (up to its last slash, "." without one) as
// directory, and points final_name at the rest.
PathPlan open_directory_of(const char* path, char* name_buffer) {
    const char* slash = strrchr(path, '/');
    const char* name = slash == nullptr ? path : slash + 1;
    if (*name == '\0' || strlen(name) >= sizeof link_name) return REFUSE_OUTPUT;
    if (slash == nullptr) {
        strcpy(directory_path, ".");
    } else {
        const size_t length = slash == path ? 1 : static_cast<size_t>(slash - path);
        if (length >= sizeof directory_path) return REFUSE_OUTPUT;
        memcpy(directory_path, path, length);
        directory_path[length] = '\0';
    }
    // Relative to the directory of the link that led here, if any.
    const int base = directory >= 0 ? directory : AT_FDCWD;
    const int opened = openat(base, directory_path, O_PATH | O_DIRECTORY | O_CLOEXEC);
    const int error = errno;
    if (directory >= 0) close(directory);
    directory = opened;
    if (directory < 0) return plan_after_refusal(error);
    if (name_buffer != nullptr) {
        strcpy(name_buffer, name);
        name = name_buffer;
    }
    final_name = name;
    return REPLACE_BY_TEMP;
}

}  // namespace

// Errors with which a directory refuses a new file: the old file, which this
// process may write, is then written in place as fopen would. Any other error
// (ENOSPC, EDQUOT, EMFILE, ENFILE, ENOMEM, ENAMETOOLONG, ELOOP, ...) leaves it alone.
PathPlan plan_after_refusal(int error) {
    return error == EACCES || error == EPERM || error == EROFS ? WRITE_IN_PLACE : REFUSE_OUTPUT;
}

// Finds the directory and the name that a rename must use to replace the file
// at path. Symlinks are followed one at a time, each relative to the directory
// holding it, so that no path longer than PATH_MAX is ever formed. For an old
// file, checks too that a rename there will replace this very file: the name
// must be the file itself (not a deleted file seen through /proc), not a mount
// point, and not in a sticky directory that keeps others from replacing it.
PathPlan find_directory(const char* path, const struct stat* old) {
    PathPlan plan = open_directory_of(path, nullptr);
    if (plan != REPLACE_BY_TEMP || old == nullptr) return plan;
    struct stat named;
    for (int links = 0;; ++links) {
        if (fstatat(directory, final_name, &named, AT_SYMLINK_NOFOLLOW) != 0)
            return errno == ENOENT || errno == ENOTDIR ? WRITE_IN_PLACE : REFUSE_OUTPUT;
        if (!S_ISLNK(named.st_mode)) break;
        // The link stays a link: the file it ends at is the one replaced.
        if (links == MAX_LINKS) return REFUSE_OUTPUT;
        const ssize_t length = readlinkat(directory, final_name, link_target, sizeof link_target);
        if (length < 0 || static_cast<size_t>(length) >= sizeof link_target) return REFUSE_OUTPUT;
        link_target[length] = '\0';
        plan = open_directory_of(link_target, link_name);
        if (plan != REPLACE_BY_TEMP) return plan;
    }
    struct stat parent;
    if (named.st_dev != old->st_dev || named.st_ino != old->st_ino) return WRITE_IN_PLACE;
    if (fstat(directory, &parent) != 0) return REFUSE_OUTPUT;
    if (named.st_dev != parent.st_dev) return WRITE_IN_PLACE;
#ifdef STATX_ATTR_MOUNT_ROOT
    // A file bind-mounted on the same file system: rename would fail with EBUSY.
    struct statx mount;
    if (statx(directory, final_name, AT_SYMLINK_NOFOLLOW, STATX_INO, &mount) == 0 &&
        (mount.stx_attributes_mask & mount.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0)
        return WRITE_IN_PLACE;
#endif
    const uid_t user = geteuid();
    const bool may_rename = (parent.st_mode & S_ISVTX) == 0 || user == 0 || user == old->st_uid ||
                            user == parent.st_uid;
    return may_rename ? REPLACE_BY_TEMP : WRITE_IN_PLACE;
}

void close_directory() {
    if (directory >= 0) close(directory);
    directory = -1;
}

}  // namespace output
