// The picture file name: whatever identifier a page holds, the name stays
// inside the target folder: no "/" or "\", never "." or "..", always ".jpg"
// at the end, and "" (no file) exactly for an empty identifier.
#include <cstdint>
#include <filesystem>
#include <string>

#include "app/link_handler.h"
#include "reference.h"

using namespace xhs;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Text identifier(std::string(reinterpret_cast<const char*>(data), size));
  const std::string name = PictureFileName(identifier);
  if (identifier.empty()) {
    REF_CHECK(name.empty());
    return 0;
  }
  REF_CHECK(name.size() > 4 && name.compare(name.size() - 4, 4, ".jpg") == 0);
  REF_CHECK(name.find('/') == std::string::npos && name.find('\\') == std::string::npos);
  REF_CHECK(name.find('\0') == std::string::npos);
  REF_CHECK(name != "." && name != "..");
  const std::filesystem::path folder = "/target/folder";
  const std::filesystem::path path = (folder / name).lexically_normal();
  REF_CHECK(path.parent_path() == folder);
  REF_CHECK(path.filename() == name);
  return 0;
}
