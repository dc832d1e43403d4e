// Opening and committing the output file, so that replacing a file never loses it.
#pragma once

#include <cstdio>

// Opens the output path for writing. A regular file, or a name not yet taken,
// is written to a new temporary file beside it (an unnamed one where the file
// system allows); anything else (a device, a FIFO, a dangling symlink) is opened
// directly. An existing file is written in place only where no temporary file
// can replace it: the directory refuses a new file (EACCES, EPERM, EROFS), the
// name is a mount point, a sticky directory keeps this process from renaming
// over it, or this process may not give a new file the old one's owner and group
// (it is not root, and not the owner or not in the file's group). Returns nullptr where opening the
// path with fopen "wb" would fail, and where no temporary file can be made for any other reason (no
// free inode, descriptor or memory, a path too long): the old file is then untouched. Ignores
// SIGXFSZ, so that a file size limit is a failed write.
FILE* open_output(const char* path);

// Closes the file from open_output. When every write succeeded (written) and the
// close does too, the temporary file (given the old file's owner and group when
// it was made) takes the old file's extended
// attributes (POSIX ACLs included) and permission bits and is renamed over the
// path in one step; otherwise it is removed and the path keeps what it held.
// Returns 0 on success, -1 otherwise. Where the old file's ACL (or another
// attribute this process may set) cannot be given to the new file, the old file
// stays and the run ends with "cannot open output file: PATH", status 255.
int finish_output(FILE* file, bool written);
