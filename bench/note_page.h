// A generated note page for the benchmarks: HTML with Chinese text in code
// page 936, a window.__INITIAL_STATE__ JSON and picture identifiers in
// "traceId":"..." entries, the way the service's note pages carry them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace xhs::bench {

struct NotePage {
  std::string bytes;                     // the page, code page 936, no zero byte
  std::vector<std::string> identifiers;  // the traceId values, in page order
};

// A page of about targetBytes bytes (never less) holding traceIds entries
// "traceId":"<identifier>", spread over the picture list, the comments and
// the related notes. The same arguments give the same page.
NotePage MakeNotePage(std::size_t targetBytes, int traceIds, std::uint64_t seed = 1);

// A deterministic identifier like the service's (e.g. "1040g2sg31..."),
// ASCII letters and digits only.
std::string MakeIdentifier(std::uint64_t seed, int index);

}  // namespace xhs::bench
