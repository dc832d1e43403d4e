// Keeping who may read a replaced file: its extended attributes and POSIX ACLs.
#pragma once

// Gives the file open as `to` the extended attributes of the file open as
// `from`, the POSIX access ACL (system.posix_acl_access) included, as cp -a
// does; an ACL that `to` took from its directory's default ACL is removed when
// `from` has none. Attributes in security.* and trusted.* that this process may
// not read or set are left out, as cp -a leaves them. Returns false when any
// other attribute could not be copied, the ACL above all: the caller must then
// not put `to` in place of `from`, or access could widen.
bool copy_attributes(int from, int to);
