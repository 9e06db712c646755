#include "codepage/cp936.h"

#include <unicode/ucnv.h>

#include <cstdint>
#include <memory>

namespace xhs::cp936 {
namespace {

constexpr char16_t kQuestion = u'?';
constexpr int kTrailFirst = 0x40;
constexpr int kTrailCount = 0xFF - kTrailFirst;  // 0x40-0xFE, 0x7F kept as a hole
constexpr int kLeadFirst = 0x81;
constexpr int kLeadCount = 0xFF - kLeadFirst;  // 0x81-0xFE

bool IsLead(unsigned b) { return b >= 0x81 && b <= 0xFE; }
bool IsTrail(unsigned b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }

struct ConverterCloser {
  void operator()(UConverter* c) const { ucnv_close(c); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

// Process-wide read-only tables, filled once from ICU's windows-936-2000
// data with fallback mappings on (the best-fit mappings of the Windows
// converter).
struct Tables {
  // Two-byte characters, by (lead - 0x81) * kTrailCount + (trail - 0x40);
  // "?" where ICU has no mapping.
  char16_t pair[kLeadCount * kTrailCount];
  // Every UTF-16 unit → its bytes: below 0x100 one byte, otherwise lead in
  // the high byte and trail in the low byte; "?" when unmapped.
  std::uint16_t unit[0x10000];

  Tables() {
    for (char16_t& c : pair) c = kQuestion;
    for (unsigned u = 0; u < 0x10000; ++u) unit[u] = u < 0x80 ? static_cast<std::uint16_t>(u) : '?';

    UErrorCode error = U_ZERO_ERROR;
    Converter cnv(ucnv_open("windows-936-2000", &error));
    if (U_FAILURE(error) || !cnv) return;  // ICU data missing: ASCII only
    ucnv_setFallback(cnv.get(), true);
    // Stop callbacks, so that "no mapping" is seen as an error and never
    // replaced by ICU's substitution (which would drop some characters).
    ucnv_setToUCallBack(cnv.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
    ucnv_setFromUCallBack(cnv.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &error);
    if (U_FAILURE(error)) return;

    for (int lead = kLeadFirst; lead <= 0xFE; ++lead) {
      for (int trail = kTrailFirst; trail <= 0xFE; ++trail) {
        if (trail == 0x7F) continue;
        const char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        UChar out[4];
        UErrorCode e = U_ZERO_ERROR;
        ucnv_resetToUnicode(cnv.get());
        const int32_t n = ucnv_toUChars(cnv.get(), out, 4, in, 2, &e);
        if (U_SUCCESS(e) && n == 1) pair[(lead - kLeadFirst) * kTrailCount + (trail - kTrailFirst)] = out[0];
      }
    }
    for (unsigned u = 0x80; u < 0x10000; ++u) {
      if (u >= 0xD800 && u <= 0xDFFF) continue;  // a lone surrogate stays "?"
      const UChar in[1] = {static_cast<UChar>(u)};
      char out[8];
      UErrorCode e = U_ZERO_ERROR;
      ucnv_resetFromUnicode(cnv.get());
      const int32_t n = ucnv_fromUChars(cnv.get(), out, 8, in, 1, &e);
      // ICU skips unmapped default-ignorable characters without an error
      // and without output: those stay "?" too.
      if (U_FAILURE(e)) continue;
      const auto b0 = static_cast<unsigned char>(out[0]);
      const auto b1 = static_cast<unsigned char>(out[1]);
      if (n == 1 && b0 != 0 && (b0 < 0x80 || b0 == 0x80 || b0 == 0xFF)) {
        unit[u] = b0;
      } else if (n == 2 && IsLead(b0) && IsTrail(b1)) {
        unit[u] = static_cast<std::uint16_t>(b0 << 8 | b1);
      }
    }
    // The single bytes the Windows converter maps outside ASCII, both ways.
    unit[0x20AC] = 0x80;
    unit[0xF8F5] = 0xFF;
  }
};

const Tables& Get() {
  static const Tables tables;  // thread-safe one-time initialisation
  return tables;
}

// The walk shared by both output forms; put(unit) stores one unit.
template <typename Put>
void DecodeWith(std::string_view bytes, bool stopAtZero, Put put) {
  const Tables& t = Get();
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  while (i < n) {
    const unsigned b = p[i];
    if (b < 0x80) {
      if (b == 0 && stopAtZero) break;
      put(static_cast<char16_t>(b));
      ++i;
      // Runs of ASCII dominate pages and headers.
      while (i < n && p[i] < 0x80 && (p[i] != 0 || !stopAtZero)) put(static_cast<char16_t>(p[i++]));
      continue;
    }
    if (b == 0x80) {
      put(u'\u20AC');
      ++i;
    } else if (b == 0xFF) {
      put(u'\uF8F5');
      ++i;
    } else if (i + 1 == n || p[i + 1] == 0) {
      put(kQuestion);  // the lead byte alone; a zero byte is left to the walk
      ++i;
    } else {
      const unsigned trail = p[i + 1];
      put(IsTrail(trail) ? t.pair[(b - kLeadFirst) * kTrailCount + (trail - kTrailFirst)] : kQuestion);
      i += 2;
    }
  }
}

// The walk shared by both input forms; unit(k) reads unit k of n.
template <typename Unit>
std::string EncodeWith(std::size_t n, Unit unit) {
  const Tables& t = Get();
  std::string out(n * 2, '\0');  // every unit yields at most two bytes
  char* o = out.data();
  for (std::size_t k = 0; k < n; ++k) {
    const char16_t u = unit(k);
    if (u < 0x80) {
      if (u == 0) break;
      *o++ = static_cast<char>(u);
      continue;
    }
    const std::uint16_t v = t.unit[u];
    if (v < 0x100) {
      *o++ = static_cast<char>(v);
    } else {
      *o++ = static_cast<char>(v >> 8);
      *o++ = static_cast<char>(v & 0xFF);
    }
  }
  out.resize(static_cast<std::size_t>(o - out.data()));
  return out;
}

}  // namespace

std::u16string Decode(std::string_view bytes, bool stopAtZero) {
  std::u16string out(bytes.size(), u'\0');  // every byte yields at most one unit
  char16_t* o = out.data();
  DecodeWith(bytes, stopAtZero, [&o](char16_t u) { *o++ = u; });
  out.resize(static_cast<std::size_t>(o - out.data()));
  return out;
}

std::string DecodeToUtf16Le(std::string_view bytes, bool terminator) {
  std::string out((bytes.size() + 1) * 2, '\0');
  char* o = out.data();
  DecodeWith(bytes, /*stopAtZero=*/true, [&o](char16_t u) {
    o[0] = static_cast<char>(u & 0xFF);
    o[1] = static_cast<char>(u >> 8);
    o += 2;
  });
  if (o != out.data() && terminator) o += 2;  // the zero unit is already there
  out.resize(static_cast<std::size_t>(o - out.data()));
  return out;
}

std::string Encode(std::u16string_view units) {
  return EncodeWith(units.size(), [units](std::size_t k) { return units[k]; });
}

std::string EncodeUtf16Le(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  return EncodeWith(bytes.size() / 2, [p](std::size_t k) {
    return static_cast<char16_t>(p[2 * k] | p[2 * k + 1] << 8);
  });
}

}  // namespace xhs::cp936
