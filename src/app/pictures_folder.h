// Where the window writes pictures when the program's folder cannot take them.
#pragma once

#include <functional>
#include <string>

namespace xhs {

// What the choice looks at, so that tests can give other answers.
struct FolderProbe {
  // An environment variable, nullptr when unset.
  std::function<const char*(const char*)> getenv;
  // The output of `xdg-user-dir PICTURES` without its line break; "" when the
  // tool is missing or fails.
  std::function<std::string()> xdgPicturesDir;
  // True when files can be created in the folder.
  std::function<bool(const std::string&)> writable;

  // The real environment, the real tool, access(2).
  static FolderProbe System();
};

struct WindowFolder {
  std::string path;    // where pictures go, without a trailing "/"
  std::string notice;  // one line for standard error when path is not programFolder, else ""
};

// programFolder when it is writable (a portable build run from its build
// folder). Otherwise PICTURES/xhs-saver, PICTURES being $XDG_PICTURES_DIR
// when set and absolute, else `xdg-user-dir PICTURES` when it names an
// absolute folder other than $HOME itself (its answer when nothing is
// configured), else $HOME/Pictures. With none of them (no absolute $HOME)
// programFolder is kept and no notice given. The folder is not created here.
WindowFolder ChooseWindowFolder(const std::string& programFolder, const FolderProbe& probe);

// Creates the folder path and its missing parents; true when path is a
// folder afterwards. An empty path gives false.
bool EnsureFolder(const std::string& path);

}  // namespace xhs
