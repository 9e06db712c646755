// NormalizeHeaderNames and HeaderValue against models built from the slow
// text walk: same results, and a result only ever changes the case of the
// first letter of each part of a header name.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>

#include "reference.h"
#include "web/headers.h"

using namespace xhs;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const uint8_t nameKind = in.ConsumeIntegral<uint8_t>();
  Text name(in.ConsumeRandomLengthString(24));
  Text block(in.ConsumeRemainingBytesAsString());
  const ref::Str& b = block.str();

  Text normalized = NormalizeHeaderNames(block);
  REF_CHECK(normalized.str() == ref::NormalizeHeaderNames(b));
  REF_CHECK(normalized.size() <= b.size());
  // Apart from letter case, the result is the block's header lines.
  ref::Str lines;
  for (const ref::Str& piece : ref::Split(b, "\r\n"))
    if (ref::Find(piece, ":") != -1) lines += piece + "\r\n";
  lines = ref::Left(lines, ref::Len(lines) - 2);
  auto lower = [](ref::Str s) {
    for (char& c : s) c = static_cast<char>(ref::Fold(static_cast<unsigned char>(c)));
    return s;
  };
  REF_CHECK(lower(normalized.str()) == lower(lines));

  // Some of the time ask for the name of one of the block's own lines.
  if (nameKind & 1) {
    ref::Strs lines = ref::Split(b, "\r\n");
    if (!lines.empty()) {
      const ref::Str& line = lines[(nameKind >> 1) % lines.size()];
      name = Text(ref::LeftOf(line, ":"));
    }
  }
  Text value = HeaderValue(block, name);
  REF_CHECK(value.str() == ref::HeaderValue(b, name.str()));
  REF_CHECK(b.find(value.str()) != ref::Str::npos);
  return 0;
}
