// MergeCookies and its helpers against the slow models: the same merged
// string, written into cookie as well, the same tidied inputs, and no item
// that ends in "=deleted" in the result.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>

#include "reference.h"
#include "web/cookies.h"

using namespace xhs;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  Text separator(in.ConsumeRandomLengthString(4));
  Text response(in.ConsumeRandomLengthString(512));
  Text cookie(in.ConsumeRemainingBytesAsString());

  ref::Str refCookie = cookie.str(), refResponse = response.str();
  const ref::Str expected = ref::MergeCookies(refCookie, refResponse);

  Text merged = MergeCookies(cookie, response);
  REF_CHECK(merged.str() == expected);
  REF_CHECK(cookie == merged);
  REF_CHECK(response.str() == refResponse);
  for (const ref::Str& item : ref::Split(merged.str(), "; ")) REF_CHECK(ref::Right(item, 8) != "=deleted");

  // The helpers on their own, over the tidied response.
  REF_CHECK(JoinDistinct(response, separator).str() == ref::JoinDistinct(response.str(), separator.str()));
  TextArray list;
  for (const ref::Str& item : ref::Split(response.str(), "; ")) list.emplace_back(item);
  const Text name = CookieName(separator);
  REF_CHECK(name.str() == ref::CookieName(separator.str()));
  ref::Strs plain(list.size());
  for (size_t i = 0; i < list.size(); ++i) plain[i] = list[i].str();
  REF_CHECK(HasCookieName(list, name) == ref::HasCookieName(plain, name.str()));
  int index = IndexOfItem(list, separator);
  int expectedIndex = -1;
  for (size_t i = 0; i < plain.size() && expectedIndex == -1; ++i)
    if (plain[i] == separator.str()) expectedIndex = static_cast<int>(i) + 1;
  REF_CHECK(index == expectedIndex);
  return 0;
}
