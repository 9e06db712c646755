#include "app/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "temp_folder.h"

namespace xhs::test {
namespace {

class WriteFileAtomicTest : public ::testing::Test {
 protected:
  TempFolder folder;
};

TEST_F(WriteFileAtomicTest, CreatesTheFileWithEveryByte) {
  const std::string bytes("\xFF\xD8\0\0pic\n\r", 9);
  ASSERT_TRUE(WriteFileAtomic(folder / "a.jpg", Bytes(bytes)));
  EXPECT_EQ(ReadFile(folder / "a.jpg"), bytes);
  EXPECT_EQ(folder.Names(), std::set<std::string>{"a.jpg"});
}

TEST_F(WriteFileAtomicTest, NewFileTakesTheUmask) {
  const mode_t old = ::umask(022);
  ASSERT_TRUE(WriteFileAtomic(folder / "m.jpg", Bytes(std::string("x"))));
  ::umask(old);
  struct stat st {};
  ASSERT_EQ(::stat((folder / "m.jpg").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
}

TEST_F(WriteFileAtomicTest, ReplacesAnExistingFileWhole) {
  WriteFile(folder / "a.jpg", std::string(50000, 'o'));
  ASSERT_TRUE(WriteFileAtomic(folder / "a.jpg", Bytes(std::string("new"))));
  EXPECT_EQ(ReadFile(folder / "a.jpg"), "new");
  EXPECT_EQ(folder.Names(), std::set<std::string>{"a.jpg"});
}

TEST_F(WriteFileAtomicTest, EmptyDataGivesAnEmptyFile) {
  WriteFile(folder / "a.jpg", "old");
  ASSERT_TRUE(WriteFileAtomic(folder / "a.jpg", Bytes()));
  EXPECT_TRUE(std::filesystem::exists(folder / "a.jpg"));
  EXPECT_EQ(std::filesystem::file_size(folder / "a.jpg"), 0u);
}

TEST_F(WriteFileAtomicTest, FailuresChangeNothingAndLeaveNoTemporaryFile) {
  std::filesystem::create_directory(folder / "dir.jpg");
  WriteFile(folder / "dir.jpg/inside", "kept");
  const Bytes data(std::string("x"));

  EXPECT_FALSE(WriteFileAtomic("", data));
  EXPECT_FALSE(WriteFileAtomic(folder / "missing/a.jpg", data));
  EXPECT_FALSE(WriteFileAtomic(folder / "dir.jpg", data));
  EXPECT_FALSE(WriteFileAtomic(folder.path() + "/", data));
  EXPECT_FALSE(WriteFileAtomic(folder / std::string(300, 'n'), data));  // name too long

  EXPECT_EQ(folder.Names(), std::set<std::string>{"dir.jpg"});
  EXPECT_EQ(ReadFile(folder / "dir.jpg/inside"), "kept");
}

TEST_F(WriteFileAtomicTest, UnwritableFolderKeepsTheOldFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes anywhere";
  WriteFile(folder / "a.jpg", "old");
  ::chmod(folder.path().c_str(), 0500);
  EXPECT_FALSE(WriteFileAtomic(folder / "a.jpg", Bytes(std::string("new"))));
  ::chmod(folder.path().c_str(), 0700);
  EXPECT_EQ(ReadFile(folder / "a.jpg"), "old");
  EXPECT_EQ(folder.Names(), std::set<std::string>{"a.jpg"});
}

TEST_F(WriteFileAtomicTest, BareNameGoesIntoTheCurrentFolder) {
  const auto old = std::filesystem::current_path();
  std::filesystem::current_path(folder.path());
  const bool ok = WriteFileAtomic("bare.jpg", Bytes(std::string("b")));
  std::filesystem::current_path(old);
  EXPECT_TRUE(ok);
  EXPECT_EQ(ReadFile(folder / "bare.jpg"), "b");
  EXPECT_EQ(folder.Names(), std::set<std::string>{"bare.jpg"});
}

TEST(ExecutableFolderTest, HoldsThisProgramWithoutATrailingSlash) {
  const std::string folder = ExecutableFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.front(), '/');
  EXPECT_NE(folder.back(), '/');
  const auto self = std::filesystem::read_symlink("/proc/self/exe");
  EXPECT_EQ(folder + "/" + self.filename().string(), self.string());
}

TEST(WithoutTrailingSlashTest, Cases) {
  EXPECT_EQ(WithoutTrailingSlash("/"), "");
  EXPECT_EQ(WithoutTrailingSlash("//"), "");
  EXPECT_EQ(WithoutTrailingSlash("dir/"), "dir");
  EXPECT_EQ(WithoutTrailingSlash("/a/b"), "/a/b");
  EXPECT_EQ(WithoutTrailingSlash("."), ".");
}

}  // namespace
}  // namespace xhs::test
