// Request header blocks: lines separated by CR LF; a line is a header line
// when it holds ":", its name being the text before the first ":" (untrimmed).
#pragma once

#include "text/text.h"

namespace xhs {

// The header lines of block in order, each name capitalised part by part
// ("accept-language" → "Accept-Language"; the rest of a name is not
// lower-cased), joined by CR LF without a final one. Lines without ":" are
// dropped; a block without any header line → "".
Text NormalizeHeaderNames(const Text& block);

// The value of the first line that begins with name (exact case, a prefix
// test): the text after the last name + ": " in that line, or "" when that
// line lacks it. The search ends at that first line; no such line → "".
Text HeaderValue(const Text& block, const Text& name);

}  // namespace xhs
