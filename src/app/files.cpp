#include "app/files.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>

namespace xhs {
namespace {

// Writes all of data to fd, resuming after short writes and interrupts.
bool WriteAll(int fd, const Bytes& data) {
  const std::uint8_t* p = data.data();
  std::size_t left = data.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

// A name for the temporary file in folder ("" or ending in "/"), short so
// that it fits wherever the target's own name fits, distinct per process
// and per attempt.
std::string TemporaryName(const std::string& folder) {
  static std::atomic<unsigned> counter{0};
  const auto ticks = static_cast<unsigned long long>(
      std::chrono::steady_clock::now().time_since_epoch().count());
  char name[64];
  std::snprintf(name, sizeof name, ".xhs-%ld-%u-%llx.tmp", static_cast<long>(::getpid()),
                counter.fetch_add(1), ticks & 0xFFFFFFull);
  return folder + name;
}

}  // namespace

bool WriteFileAtomic(const std::string& path, const Bytes& data) {
  if (path.empty() || path.back() == '/') return false;
  // The temporary file lives in path's own folder, so the rename stays on one
  // file system; folder keeps its final "/" and is "" for a bare name.
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);

  int fd = -1;
  std::string temporary;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    temporary = TemporaryName(folder);
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0 && errno != EEXIST) return false;
  }
  if (fd < 0) return false;

  // The data reaches the disk before the new name points at it, so even a
  // power loss leaves the old picture or the whole new one.
  bool ok = WriteAll(fd, data) && ::fdatasync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  // rename() replaces path in one step; it fails, changing nothing, when path
  // names a folder.
  ok = ok && ::rename(temporary.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(temporary.c_str());
    return false;
  }
  // The folder is not synced: the rename is atomic without it, and a power
  // loss can at worst undo it, leaving the previous picture.
  return true;
}

std::string ExecutableFolder() {
  char buffer[PATH_MAX + 1];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
  if (n <= 0) return ".";
  std::string path(buffer, static_cast<std::size_t>(n));
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return path.substr(0, slash);
}

std::string WithoutTrailingSlash(std::string path) {
  while (!path.empty() && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace xhs
