// Decoding a page body from a named character set into UTF-16.
#pragma once

#include <string>

#include "text/text.h"

namespace xhs {

// Decodes body from the charset named (IANA and Windows names, any case,
// with the aliases the Windows stream object uses: gb2312, gbk, x-gbk and
// euc-cn → code page 936; unicode, utf-16 → UTF-16LE; unicodefffe →
// UTF-16BE; iso-8859-1 → windows-1252). A leading byte-order mark is dropped.
// The whole body is decoded (a zero byte gives U+0000); each malformed or
// unmapped sequence gives U+FFFD, the 936 names follow the rules of
// codepage.h. False, with out untouched, when the name is unknown (also an
// empty name, or one holding anything but printable ASCII, or a comma).
bool DecodeCharset(const Bytes& body, const Text& charset, std::u16string& out);

}  // namespace xhs
