#include "web/headers.h"

#include "text/markers.h"

namespace xhs {

Text NormalizeHeaderNames(const Text& block) {
  Text out;
  for (const Text& piece : SplitText(block, "\r\n")) {
    const int colon = FindText(piece, ":");
    if (colon == -1) continue;
    const Text name = TextMid(piece, 1, colon - 1);
    Text newName;
    if (FindText(name, "-") == -1) {
      newName = CapitalizeFirst(name);
    } else {
      // A trailing "-" yields no last part; taking the rest of the line by
      // length below puts it back.
      bool first = true;
      for (const Text& part : SplitText(name, "-")) {
        if (!first) newName += "-";
        newName += CapitalizeFirst(part);
        first = false;
      }
    }
    out += newName;
    out += TextRight(piece, TextLength(piece) - TextLength(newName));
    out += "\r\n";
  }
  return TextLeft(out, TextLength(out) - 2);
}

Text HeaderValue(const Text& block, const Text& name) {
  for (const Text& piece : SplitText(block, "\r\n")) {
    if (TextLeft(piece, TextLength(name)) == name) return TextRightOf(piece, name + ": ");
  }
  return {};
}

}  // namespace xhs
