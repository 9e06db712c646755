// The file-system pieces every front end's window layer shares.
#pragma once

#include <string>

#include "text/text.h"

namespace xhs {

// Creates or replaces the file at path with data: the bytes go to a new
// temporary file in the same folder, which is flushed to disk and then
// renamed over path, so path holds either its old content or all of data,
// never a part. True on success. Empty data gives an empty file. An empty
// path, a folder that does not exist, a name the file system rejects or a
// path naming a folder gives false, changes nothing and leaves no temporary
// file behind. A new file gets mode 0666 less the umask.
bool WriteFileAtomic(const std::string& path, const Bytes& data);

// The folder holding the running executable (its real path, links
// resolved), without a trailing "/": "" for a program in "/", so that
// folder + "/" + name still names a file there. "." when the path cannot
// be read.
std::string ExecutableFolder();

// path without its trailing "/" characters: "/" → "", "dir/" → "dir".
std::string WithoutTrailingSlash(std::string path);

}  // namespace xhs
