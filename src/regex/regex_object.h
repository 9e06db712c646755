// RegexObject: one regular-expression search at a time, with its results.
//
// Match numbers and capture-group numbers are 1-based. Nothing throws: a
// pattern that does not compile makes Search return false, and every query
// then gives 0 or "". Before any search the queries give 0 or "".
#pragma once

#include <memory>

#include "text/text.h"

namespace xhs {

class RegexObject {
 public:
  RegexObject();
  ~RegexObject();
  RegexObject(const RegexObject&) = delete;
  RegexObject& operator=(const RegexObject&) = delete;

  // Searches text for pattern; forgets the previous search entirely.
  // Defaults: letter case ignored, "^"/"$" at every line, every match found.
  // expandQuotes replaces "#引号" in the pattern by a double quote.
  // True when the pattern ran (also when nothing matched), false when it
  // did not compile.
  bool Search(const Text& pattern, const Text& text, bool caseSensitive = false,
              bool multiline = true, bool global = true, bool expandQuotes = false);

  // The pattern of the last search as it went to the engine; "" before one.
  Text GetPattern() const;
  // The searched text with the matches of the last search replaced ($1..$9,
  // $&, $$ in replacement); "" before a search or after a failed one.
  Text ReplaceMatches(const Text& replacement) const;
  // The number of matches of the last search; 0 when it failed.
  int MatchCount() const;
  // The text of match index (1-based), "" out of range. position, when given,
  // receives the match's 0-based byte position found by FindText from the
  // match's UTF-16 offset, -2 when not found.
  Text MatchText(int index, int* position = nullptr) const;
  // The text of capture group subIndex of match matchIndex; "" when either is
  // out of range or the group took no part.
  Text SubMatchText(int matchIndex, int subIndex, int* position = nullptr) const;
  // The number of capture groups (as counted on the first match); 0 with no match.
  int SubMatchCount() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace xhs
