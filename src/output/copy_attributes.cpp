// Copying a file's extended attributes and POSIX ACLs to its replacement, as cp -a does.
#include "output/copy_attributes.h"

#include <sys/xattr.h>

#include <cerrno>
#include <cstring>

namespace {

const char ACCESS_ACL[] = "system.posix_acl_access";

// The largest name list and value the kernel hands out (XATTR_LIST_MAX and
// XATTR_SIZE_MAX). Static, so nothing is allocated; a file without attributes
// touches neither, and costs one flistxattr.
char names[65536];
char value[65536];

// cp -a leaves out what only a privileged process may read or set (file
// capabilities, security labels, trusted.*); anything else that is lost could
// be an ACL by another name, or data.
bool may_leave_out(const char* name, int error) {
    const bool privileged = strncmp(name, "security.", 9) == 0 || strncmp(name, "trusted.", 8) == 0;
    return privileged && (error == EPERM || error == EACCES || error == ENOTSUP);
}

}  // namespace

bool copy_attributes(int from, int to) {
    const ssize_t length = flistxattr(from, names, sizeof names);
    // A file system without extended attributes has no ACLs either.
    if (length < 0) return errno == ENOTSUP;
    bool has_acl = false;
    for (const char* name = names; name < names + length; name += strlen(name) + 1) {
        has_acl = has_acl || strcmp(name, ACCESS_ACL) == 0;
        const ssize_t size = fgetxattr(from, name, value, sizeof value);
        if (size < 0 && errno == ENODATA) continue;  // removed since the list was read
        if ((size < 0 || fsetxattr(to, name, value, static_cast<size_t>(size), 0) != 0) &&
            !may_leave_out(name, errno))
            return false;
    }
    // Named users from the directory's default ACL would gain access the old file never gave.
    return has_acl || fremovexattr(to, ACCESS_ACL) == 0 || errno == ENODATA || errno == ENOTSUP;
}
