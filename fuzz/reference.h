// Slow, obviously-correct models of the text toolkit, written straight from
// the character-walk rules, for the fuzz targets to compare against.
//
// Everything works on std::string with 1-based positions, like the toolkit.
// A byte of 0x80 or above starts a two-byte character together with the next
// byte; such a byte that is the last byte of the text ends the walk.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace ref {

using Str = std::string;
using Strs = std::vector<Str>;

inline bool IsLead(unsigned char c) { return c >= 0x80; }
inline unsigned char Fold(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c; }

// Aborts with both values shown, so a crash file names what differed.
#define REF_CHECK(cond)                                                    \
  do {                                                                     \
    if (!(cond)) {                                                         \
      std::fprintf(stderr, "check failed: %s (%s:%d)\n", #cond, __FILE__, \
                   __LINE__);                                              \
      std::abort();                                                        \
    }                                                                      \
  } while (0)

inline int Len(const Str& s) { return static_cast<int>(s.size()); }

// Byte at 1-based position p.
inline unsigned char At(const Str& s, int p) { return static_cast<unsigned char>(s[p - 1]); }

inline bool MatchAt(const Str& s, int p, const Str& pat, bool ignoreCase) {
  if (Len(s) - p + 1 < Len(pat)) return false;
  for (int i = 0; i < Len(pat); ++i) {
    unsigned char a = At(s, p + i), b = static_cast<unsigned char>(pat[i]);
    if (ignoreCase ? Fold(a) != Fold(b) : a != b) return false;
  }
  return true;
}

// The walk positions of s from byte `from`, in order (stops at a lead byte
// that is the last byte, after reporting it).
inline std::vector<int> Walk(const Str& s, int from) {
  std::vector<int> out;
  int p = from;
  while (p <= Len(s)) {
    out.push_back(p);
    if (IsLead(At(s, p))) {
      if (p == Len(s)) break;
      p += 2;
    } else {
      p += 1;
    }
  }
  return out;
}

// True when byte q (1-based) is where a walk from byte 1 stands.
inline bool OnBoundary(const Str& s, int q) {
  for (int p : Walk(s, 1)) {
    if (p == q) return true;
    if (p > q) return false;
  }
  return false;
}

inline int Find(const Str& s, const Str& pat, int start = 1, bool ic = false) {
  int L = Len(s), P = Len(pat);
  if (start > L) return -1;
  int from = start <= 1 ? 1 : start;
  if (P == 0) return from <= L ? 1 : -1;
  for (int p : Walk(s, from)) {
    if (L - p + 1 < P) break;
    if (MatchAt(s, p, pat, ic)) return p;
  }
  return -1;
}

inline int FindReverse(const Str& s, const Str& pat, int start, bool ic = false) {
  int L = Len(s), P = Len(pat);
  int R = start > L ? L : start - 1;
  if (R <= 0) return -1;
  if (P == 0) return 1;
  int last = -1;
  for (int p : Walk(s, 1)) {
    if (R - p + 1 < P) break;
    if (MatchAt(s, p, pat, ic)) last = p;
  }
  return last;
}

inline Str Left(const Str& s, int n) { return n <= 0 ? Str() : s.substr(0, std::min<size_t>(n, s.size())); }
inline Str Right(const Str& s, int n) {
  if (n <= 0) return Str();
  if (n >= Len(s)) return s;
  return s.substr(s.size() - n);
}
inline Str Mid(const Str& s, int start, int count) {
  if (start < 1 || start > Len(s) || count <= 0) return Str();
  return s.substr(start - 1, count);
}

inline Str Replace(const Str& s, const Str& old, const Str& rep, bool ic = false) {
  if (s.empty() || old.empty()) return s;
  Str out;
  int p = 1, L = Len(s);
  while (p <= L) {
    if (MatchAt(s, p, old, ic)) {
      out += rep;
      p += Len(old);
    } else if (IsLead(At(s, p)) && p < L) {
      out += s.substr(p - 1, 2);
      p += 2;
    } else {
      out += s[p - 1];
      p += 1;
    }
  }
  return out;
}

inline Strs Split(const Str& s, const Str& sep) {
  if (s.empty()) return {};
  if (sep.empty()) return {s};
  Strs out;
  int piece = 1, p = 1, L = Len(s);
  while (p <= L) {
    if (MatchAt(s, p, sep, false)) {
      out.push_back(s.substr(piece - 1, p - piece));
      p += Len(sep);
      piece = p;
    } else if (IsLead(At(s, p))) {
      if (p == L) break;
      p += 2;
    } else {
      p += 1;
    }
  }
  if (piece <= L) out.push_back(s.substr(piece - 1));
  return out;
}

inline Str Trim(const Str& s) {
  auto isSpaceAt = [&](int p, int& width) {
    if (At(s, p) == 0x20) return width = 1, true;
    if (p < Len(s) && At(s, p) == 0xA1 && At(s, p + 1) == 0xA1) return width = 2, true;
    return false;
  };
  int L = Len(s), p = 1, w = 0;
  while (p <= L && isSpaceAt(p, w)) p += w;
  int begin = p, runStart = -1;
  while (p <= L) {
    if (isSpaceAt(p, w)) {
      if (runStart < 0) runStart = p;
      p += w;
    } else {
      runStart = -1;
      p += (IsLead(At(s, p)) && p < L) ? 2 : 1;
    }
  }
  int end = runStart < 0 ? L + 1 : runStart;
  return s.substr(begin - 1, end - begin);
}

inline Str Upper(const Str& s) {
  Str out = s;
  for (size_t i = 0; i < out.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(out[i]);
    if (IsLead(c)) {
      ++i;  // the second byte is never changed
    } else if (c >= 'a' && c <= 'z') {
      out[i] = static_cast<char>(c - 'a' + 'A');
    }
  }
  return out;
}

inline Str CapitalizeFirst(const Str& s) { return Upper(Left(s, 1)) + Mid(s, 2, Len(s)); }

inline const Str kQuote = "#\xD2\xFD\xBA\xC5";  // "#引号"

inline Str Between(const Str& s, Str l, Str r, int start = 0, bool ic = false) {
  l = Replace(l, kQuote, "\"");
  r = Replace(r, kQuote, "\"");
  int p = Find(s, l, start, ic);
  if (p == -1) return Str();
  int q = p + Len(l);
  int e = Find(s, r, q, ic);
  if (e == -1) return Str();
  return Mid(s, q, e - q);
}

inline Str LeftOf(const Str& s, const Str& m, int a = 0, bool ic = false) {
  int L = Len(s), p;
  if (a < 0) {
    a = -a;
    if (a == 1) a = 0;
    p = FindReverse(s, m, L - a + 1, ic);
  } else {
    p = Find(s, m, a, ic);
  }
  return p == -1 ? Str() : Left(s, p - 1);
}

inline Str RightOf(const Str& s, const Str& m, int a = 0, bool ic = false) {
  int L = Len(s), p;
  if (a < 0) {
    a = -a;
    if (a == 1) a = 0;
    p = Find(s, m, a, ic);
  } else {
    p = FindReverse(s, m, L - a + 1, ic);
  }
  return p == -1 ? Str() : Right(s, L - Len(m) - p + 1);
}

// Header-block routines, composed from the models above.
inline Str NormalizeHeaderNames(const Str& block) {
  Str joined;
  for (const Str& piece : Split(block, "\r\n")) {
    int p = Find(piece, ":");
    if (p == -1) continue;
    Str name = Mid(piece, 1, p - 1), fresh;
    if (Find(name, "-") == -1) {
      fresh = CapitalizeFirst(name);
    } else {
      Strs parts = Split(name, "-");
      for (size_t i = 0; i < parts.size(); ++i) fresh += (i ? "-" : "") + CapitalizeFirst(parts[i]);
    }
    joined += fresh + Right(piece, Len(piece) - Len(fresh)) + "\r\n";
  }
  return Left(joined, Len(joined) - 2);
}

inline Str HeaderValue(const Str& block, const Str& name) {
  for (const Str& piece : Split(block, "\r\n")) {
    if (Left(piece, Len(name)) == name) return RightOf(piece, name + ": ");
  }
  return Str();
}

// Cookie routines.
inline Str CookieName(const Str& item) {
  int p = Find(item, "=");
  return Trim(p == -1 ? item : Left(item, p - 1));
}

inline bool HasCookieName(const Strs& list, const Str& name) {
  for (const Str& item : list)
    if (CookieName(item) == name) return true;
  return false;
}

inline Str JoinDistinct(const Str& text, const Str& sep) {
  Strs seen;
  Str out;
  for (const Str& item : Split(text, sep)) {
    bool found = false;
    for (const Str& s : seen) found = found || s == item;
    if (!found) {
      seen.push_back(item);
      out += item + sep;
    }
  }
  return Left(out, Len(out) - Len(sep));
}

inline Str MergeCookies(Str& cookie, Str& response) {
  for (Str* v : {&cookie, &response}) {
    *v = Trim(*v);
    if (Right(*v, 1) == ";") *v += " ";
  }
  Strs old = Split(cookie, "; "), fresh = Split(response, "; ");
  for (const Str& item : old)
    if (!HasCookieName(fresh, CookieName(item))) fresh.push_back(item);
  cookie.clear();
  for (const Str& item : fresh)
    if (Right(item, 8) != "=deleted") cookie += item + "; ";
  cookie = Left(cookie, Len(cookie) - 2);
  cookie = JoinDistinct(cookie, "; ");
  return cookie;
}

}  // namespace ref
