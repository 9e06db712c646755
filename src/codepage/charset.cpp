#include "codepage/charset.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>

#include <memory>
#include <string_view>

#include "codepage/cp936.h"

namespace xhs {
namespace {

constexpr std::string_view kCp936 = "windows-936-2000";

// Names where ICU's meaning differs from the one pages are written for.
struct Alias {
  std::string_view name;
  std::string_view converter;
};
constexpr Alias kAliases[] = {
    {"gb2312", kCp936},        {"gbk", kCp936},           {"x-gbk", kCp936},
    {"euc-cn", kCp936},        {"unicode", "UTF-16LE"},   {"utf-16", "UTF-16LE"},
    {"unicodefffe", "UTF-16BE"}, {"iso-8859-1", "windows-1252"},
};

// A charset name as pages declare it: printable ASCII, and no comma, which
// would pass options to ICU's converter lookup.
bool PlausibleName(std::string_view name) {
  if (name.empty() || name.size() > 64) return false;
  for (const char c : name) {
    if (c <= ' ' || c > '~' || c == ',') return false;
  }
  return true;
}

// Each malformed or unmapped input sequence becomes one U+FFFD (ICU's own
// substitution would give U+001A for some single-byte converters).
void ToUReplacement(const void*, UConverterToUnicodeArgs* args, const char*, int32_t,
                    UConverterCallbackReason reason, UErrorCode* error) {
  if (reason > UCNV_IRREGULAR) return;
  static constexpr UChar kReplacement[1] = {0xFFFD};
  *error = U_ZERO_ERROR;
  ucnv_cbToUWriteUChars(args, kReplacement, 1, 0, error);
}

struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};

// The whole body through an ICU converter; false when ICU fails.
bool DecodeWithIcu(UConverter* cnv, std::string_view body, std::u16string& out) {
  UErrorCode error = U_ZERO_ERROR;
  ucnv_setToUCallBack(cnv, ToUReplacement, nullptr, nullptr, nullptr, &error);
  if (U_FAILURE(error)) return false;
  std::u16string units(body.size() + 16, u'\0');
  std::size_t used = 0;
  const char* source = body.data();
  const char* const sourceEnd = body.data() + body.size();
  for (;;) {
    UChar* target = units.data() + used;
    error = U_ZERO_ERROR;
    ucnv_toUnicode(cnv, &target, units.data() + units.size(), &source, sourceEnd, nullptr,
                   /*flush=*/true, &error);
    used = static_cast<std::size_t>(target - units.data());
    if (error != U_BUFFER_OVERFLOW_ERROR) break;
    units.resize(units.size() * 2);
  }
  if (U_FAILURE(error)) return false;
  units.resize(used);
  out = std::move(units);
  return true;
}

}  // namespace

bool DecodeCharset(const Bytes& body, const Text& charset, std::u16string& out) {
  std::string_view name = charset.view();
  if (!PlausibleName(name)) return false;
  for (const Alias& alias : kAliases) {
    if (TextEquals(charset, Text(alias.name), /*ignoreCase=*/true)) {
      name = alias.converter;
      break;
    }
  }

  std::u16string units;
  if (name == kCp936) {
    units = cp936::Decode(body.view(), /*stopAtZero=*/false);
  } else {
    const std::string converterName(name);
    UErrorCode error = U_ZERO_ERROR;
    std::unique_ptr<UConverter, ConverterCloser> cnv(ucnv_open(converterName.c_str(), &error));
    if (U_FAILURE(error) || !cnv) return false;
    const char* opened = ucnv_getName(cnv.get(), &error);
    if (U_SUCCESS(error) && opened && kCp936 == opened) {
      // cp936, ms936, windows-936...: the same converter as the rest of the system.
      units = cp936::Decode(body.view(), /*stopAtZero=*/false);
    } else {
      ucnv_setFallback(cnv.get(), true);
      if (!DecodeWithIcu(cnv.get(), body.view(), units)) return false;
    }
  }
  if (!units.empty() && units.front() == u'\uFEFF') units.erase(0, 1);
  out = std::move(units);
  return true;
}

}  // namespace xhs
