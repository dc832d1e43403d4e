// What the files of src/output/ share, and nothing outside includes: the route to
// the file, the temporary file, and the commit, over the one output of a run.
#pragma once

#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>

namespace output {

// Where the open output's writes go: to the path itself (a device, a FIFO, or the
// old file), or to a temporary file, unnamed or named, that the commit renames over it.
enum WriteTarget { PATH_ITSELF, UNNAMED_TEMP, NAMED_TEMP };

// What opening decides to do with the path: replace it through a temporary file; write
// the old file in place, for the reasons the manual page names (the directory
// refuses a new file, a rename cannot replace this file); or nothing, when no
// temporary file can be made for another reason (no free inode, descriptor or
// memory, a path too long): the run fails and the old file stays as it was.
enum PathPlan { REPLACE_BY_TEMP, WRITE_IN_PLACE, REFUSE_OUTPUT };

// The one output of a run (replace_file.cpp). Static buffers, so that nothing is
// allocated beyond what stdio does and a signal handler can read the temporary
// file's name.
extern WriteTarget write_target;
extern const char* output_path;  // as given, for the message
extern int directory;            // the directory holding the file to replace
extern int old_file;             // that file, open for writing; -1 for a name not yet taken
extern const char* final_name;   // its name in that directory
extern char temp_name[32];
extern volatile sig_atomic_t temp_on_disk;

// The route (route.cpp): what a directory's refusal means for the old
// file; the directory and name a rename must use for path (old: the file
// there now, or null for a name not yet taken); closing that directory.
PathPlan plan_after_refusal(int error);
PathPlan find_directory(const char* path, const struct stat* old);
void close_directory();

// The temporary file (temp_file.cpp): making it in that directory, giving an
// unnamed one its hidden name, giving it up, and holding signals back while a
// name changes.
int make_temp_file(mode_t mode);
bool link_temp(int file);
void discard_temp(int file);
sigset_t block_signals();
void restore_signals(const sigset_t& before);

// The commit (commit.cpp): the old file's owner and group, its
// attributes and mode, and the rename over it.
bool take_old_owner(int file);
bool copy_old_access(int file);
bool replace_old_file();

}  // namespace output
