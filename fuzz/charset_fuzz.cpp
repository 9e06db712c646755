// Charset decoding of a page body: arbitrary bodies under the names pages
// declare (and arbitrary names) never crash or read past the body, and an
// unknown name leaves the output untouched.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>

#include "codepage/charset.h"
#include "codepage/codepage.h"
#include "reference.h"

using namespace xhs;

namespace {

const char* const kNames[] = {
    "utf-8",  "UTF-8",   "gbk",         "GBK",     "gb2312",    "gb18030", "big5",
    "euc-kr", "shift_jis", "iso-8859-1", "koi8-r", "utf-16",    "unicode", "unicodefffe",
    "utf-16be", "utf-32", "windows-1251", "x-gbk", "euc-cn",   "us-ascii", "hz-gb-2312",
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const uint8_t pick = in.ConsumeIntegral<uint8_t>();
  std::string name = pick < std::size(kNames) ? kNames[pick] : in.ConsumeRandomLengthString(20);
  const Bytes body(in.ConsumeRemainingBytesAsString());

  std::u16string out = u"untouched";
  const bool known = DecodeCharset(body, Text(name), out);
  if (!known) REF_CHECK(out == u"untouched");
  // What a page turns into for the caller: a Text without zero bytes.
  const Text text = Utf16StringToText(out);
  REF_CHECK(text.view().find('\0') == std::string_view::npos);
  return 0;
}
