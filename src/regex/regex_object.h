// RegexObject: one regular-expression search at a time, with its results.
//
// Match numbers and capture-group numbers are 1-based. Nothing throws: a
// pattern that does not compile makes Search return false, and every query
// then gives 0 or "". Before any search the queries give 0 or "".
//
// The text is searched as UTF-16 code units, a two-byte character counting
// one unit. "\w", "\d", "\s", "\b" and letter case know only ASCII; "." matches
// any unit but a line feed (a carriage return included); with multiline "^"
// and "$" match at every line feed, without it only at the ends of the text.
// A pattern that runs away (catastrophic backtracking, or more memory than a
// search may take) ends the search with the matches found until then.
// One object serves one thread.
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
  // Defaults: letter case ignored, "^"/"$" at every line, every match found
  // (after an empty match the next one is sought one unit further on).
  // expandQuotes replaces every "#引号" in the pattern by a double quote.
  // True when the pattern ran (also when nothing matched), false when it
  // did not compile.
  bool Search(const Text& pattern, const Text& text, bool caseSensitive = false,
              bool multiline = true, bool global = true, bool expandQuotes = false);

  // The pattern of the last search as it went to the engine (quotes expanded),
  // also when it did not compile; "" before any search.
  Text GetPattern() const;
  // The searched text with the matches of the last search replaced (every
  // match, or the first one without global). In replacement "$1".."$9" stand
  // for a capture group ("" when it took no part; left as written when the
  // pattern has fewer groups), "$&" for the match and "$$" for "$"; any other
  // "$" is kept. "" before a search or after a failed one.
  Text ReplaceMatches(const Text& replacement) const;
  // The number of matches of the last search; 0 when it failed.
  int MatchCount() const;
  // The text of match index (1-based), "" out of range. position, when given,
  // receives p - 1, where p = FindText(searched text, match text, F, !ignoreCase)
  // and F is the match's 0-based offset in UTF-16 units: the 0-based byte
  // position for ordinary texts. -2 when FindText finds nothing or there is no
  // such match.
  Text MatchText(int index, int* position = nullptr) const;
  // The text of capture group subIndex of match matchIndex; "" when either is
  // out of range or the group took no part. position as for MatchText, the
  // search starting from the whole match's offset; -2 when there is no text.
  Text SubMatchText(int matchIndex, int subIndex, int* position = nullptr) const;
  // The number of capture groups in the pattern; 0 when nothing matched.
  int SubMatchCount() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace xhs
