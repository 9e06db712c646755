#include "app/pictures_folder.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "app/files.h"

namespace xhs {
namespace {

bool Absolute(const char* path) { return path != nullptr && path[0] == '/'; }

std::string RunXdgUserDir() {
  // A fixed command line: nothing of the user's reaches the shell.
  std::FILE* pipe = ::popen("xdg-user-dir PICTURES 2>/dev/null", "r");
  if (pipe == nullptr) return "";
  std::string out;
  char buffer[512];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0 && out.size() < 8192;) {
    out.append(buffer, n);
  }
  if (::pclose(pipe) != 0) return "";
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out.find('\n') == std::string::npos ? out : "";
}

}  // namespace

FolderProbe FolderProbe::System() {
  return FolderProbe{
      .getenv = [](const char* name) -> const char* { return std::getenv(name); },
      .xdgPicturesDir = RunXdgUserDir,
      .writable = [](const std::string& path) { return ::access(path.empty() ? "/" : path.c_str(), W_OK | X_OK) == 0; },
  };
}

WindowFolder ChooseWindowFolder(const std::string& programFolder, const FolderProbe& probe) {
  if (probe.writable(programFolder)) return {programFolder, ""};

  const char* home = probe.getenv("HOME");
  const std::string homeFolder = Absolute(home) ? WithoutTrailingSlash(home) : "";
  std::string pictures;
  if (const char* xdg = probe.getenv("XDG_PICTURES_DIR"); Absolute(xdg)) {
    pictures = xdg;
  } else if (const std::string tool = probe.xdgPicturesDir ? probe.xdgPicturesDir() : "";
             Absolute(tool.c_str()) && WithoutTrailingSlash(tool) != homeFolder) {
    pictures = tool;
  } else if (!homeFolder.empty()) {
    pictures = homeFolder + "/Pictures";
  } else {
    return {programFolder, ""};
  }
  WindowFolder chosen;
  chosen.path = WithoutTrailingSlash(pictures) + "/xhs-saver";
  chosen.notice = "xhs-saver: " + (programFolder.empty() ? std::string("/") : programFolder) +
                  " is not writable; saving pictures in " + chosen.path;
  return chosen;
}

bool EnsureFolder(const std::string& path) {
  if (path.empty()) return false;
  std::error_code error;
  std::filesystem::create_directories(path, error);
  return std::filesystem::is_directory(path, error);
}

}  // namespace xhs
