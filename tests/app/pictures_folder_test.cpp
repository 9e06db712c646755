// The window's choice of folder when the program's own is not writable.
#include "app/pictures_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>

#include "temp_folder.h"

namespace xhs {
namespace {

FolderProbe Probe(std::map<std::string, std::string> env, std::string tool, bool programWritable) {
  auto values = std::make_shared<std::map<std::string, std::string>>(std::move(env));
  return FolderProbe{
      .getenv = [values](const char* name) -> const char* {
        const auto it = values->find(name);
        return it == values->end() ? nullptr : it->second.c_str();
      },
      .xdgPicturesDir = [tool] { return tool; },
      .writable = [programWritable](const std::string&) { return programWritable; },
  };
}

TEST(ChooseWindowFolder, WritableProgramFolderIsKept) {
  const WindowFolder chosen = ChooseWindowFolder("/opt/build", Probe({{"HOME", "/home/u"}}, "/home/u/Bilder", true));
  EXPECT_EQ(chosen.path, "/opt/build");
  EXPECT_EQ(chosen.notice, "");
}

TEST(ChooseWindowFolder, PicturesFolderWhenNotWritable) {
  const struct {
    const char* what;
    std::map<std::string, std::string> env;
    std::string tool;
    std::string path;
  } cases[] = {
      {"the variable first", {{"HOME", "/home/u"}, {"XDG_PICTURES_DIR", "/data/pics/"}}, "/home/u/图片", "/data/pics/xhs-saver"},
      {"a relative variable is passed over", {{"HOME", "/home/u"}, {"XDG_PICTURES_DIR", "pics"}}, "/home/u/图片", "/home/u/图片/xhs-saver"},
      {"the tool's answer", {{"HOME", "/home/u"}}, "/home/u/图片", "/home/u/图片/xhs-saver"},
      {"the tool answering $HOME means not configured", {{"HOME", "/home/u/"}}, "/home/u", "/home/u/Pictures/xhs-saver"},
      {"no tool", {{"HOME", "/home/u"}}, "", "/home/u/Pictures/xhs-saver"},
      {"a relative tool answer", {{"HOME", "/home/u"}}, "Pictures", "/home/u/Pictures/xhs-saver"},
      {"nothing to go by", {}, "", "/usr/bin"},
      {"a relative HOME", {{"HOME", "home"}}, "", "/usr/bin"},
  };
  for (const auto& c : cases) {
    const WindowFolder chosen = ChooseWindowFolder("/usr/bin", Probe(c.env, c.tool, false));
    EXPECT_EQ(chosen.path, c.path) << c.what;
    if (chosen.path == "/usr/bin") {
      EXPECT_EQ(chosen.notice, "") << c.what;
    } else {
      EXPECT_EQ(chosen.notice, "xhs-saver: /usr/bin is not writable; saving pictures in " + c.path) << c.what;
    }
  }
}

TEST(ChooseWindowFolder, RootFolderIsNamedInTheNotice) {
  const WindowFolder chosen = ChooseWindowFolder("", Probe({{"HOME", "/root"}}, "", false));
  EXPECT_EQ(chosen.notice, "xhs-saver: / is not writable; saving pictures in /root/Pictures/xhs-saver");
}

TEST(ChooseWindowFolder, SystemProbeSeesAReadOnlyFolder) {
  test::TempFolder folder;
  const std::string readOnly = folder / "ro";
  ASSERT_TRUE(std::filesystem::create_directory(readOnly));
  ASSERT_EQ(::chmod(readOnly.c_str(), 0555), 0);
  const FolderProbe probe = FolderProbe::System();
  EXPECT_TRUE(probe.writable(folder.path()));
  if (::geteuid() != 0) {
    EXPECT_FALSE(probe.writable(readOnly));  // root may write anywhere
  }
  EXPECT_FALSE(probe.writable(folder / "missing"));
}

TEST(EnsureFolder, CreatesMissingParentsOnce) {
  test::TempFolder folder;
  const std::string path = folder / "Pictures/xhs-saver";
  EXPECT_TRUE(EnsureFolder(path));
  EXPECT_TRUE(std::filesystem::is_directory(path));
  EXPECT_TRUE(EnsureFolder(path));  // already there
  test::WriteFile(folder / "file", "x");
  EXPECT_FALSE(EnsureFolder(folder / "file"));
  EXPECT_FALSE(EnsureFolder(folder / "file/below"));
  EXPECT_FALSE(EnsureFolder(""));
}

}  // namespace
}  // namespace xhs
