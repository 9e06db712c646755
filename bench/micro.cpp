// Micro-benchmarks of the text, code-page, regex and header routines over a
// generated note page. Run: build/bench/bench/xhs_bench
#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "note_page.h"
#include "text/markers.h"
#include "text/text.h"
#if XHS_BENCH_HAVE_CODEPAGE
#include "codepage/codepage.h"
#endif
#if XHS_BENCH_HAVE_REGEX
#include "regex/regex_object.h"
#endif
#if XHS_BENCH_HAVE_WEB
#include "web/cookies.h"
#include "web/headers.h"
#endif

namespace {

using xhs::Bytes;
using xhs::Text;
using xhs::TextArray;

constexpr std::size_t kMiB = 1024 * 1024;

// The pages, made once per size: 1000 identifiers per 2 MiB.
const xhs::bench::NotePage& Page(std::size_t mib) {
  static std::map<std::size_t, xhs::bench::NotePage> pages;
  auto it = pages.find(mib);
  if (it == pages.end()) {
    it = pages.emplace(mib, xhs::bench::MakeNotePage(mib * kMiB, static_cast<int>(500 * mib))).first;
  }
  return it->second;
}

const Text& PageText(std::size_t mib) {
  static std::map<std::size_t, Text> texts;
  auto it = texts.find(mib);
  if (it == texts.end()) it = texts.emplace(mib, Text(Page(mib).bytes)).first;
  return it->second;
}

void SetPageBytes(benchmark::State& state, std::size_t bytes) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

// --- text toolkit --------------------------------------------------------

void BM_FindText(benchmark::State& state) {
  const Text& page = PageText(2);
  const bool ignoreCase = state.range(0) != 0;
  const Text marker = "<footer><p>";  // near the end: a search over the whole page
  for (auto _ : state) benchmark::DoNotOptimize(xhs::FindText(page, marker, 1, ignoreCase));
  SetPageBytes(state, page.size());
}
BENCHMARK(BM_FindText)->ArgName("ignoreCase")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// Every occurrence of the key, one FindText call after another.
void BM_FindTextEvery(benchmark::State& state) {
  const Text& page = PageText(2);
  const Text key = "traceId\":\"";
  int found = 0;
  for (auto _ : state) {
    found = 0;
    for (int p = xhs::FindText(page, key); p != -1; p = xhs::FindText(page, key, p + 1)) ++found;
    benchmark::DoNotOptimize(found);
  }
  state.counters["found"] = found;
  SetPageBytes(state, page.size());
}
BENCHMARK(BM_FindTextEvery)->Unit(benchmark::kMicrosecond);

void BM_SplitText(benchmark::State& state) {
  const Text& page = PageText(2);
  const Text separator = state.range(0) == 0 ? Text("\n") : Text("\"traceId\":\"");
  std::size_t pieces = 0;
  for (auto _ : state) {
    TextArray parts = xhs::SplitText(page, separator);
    pieces = parts.size();
    benchmark::DoNotOptimize(parts.data());
  }
  state.counters["pieces"] = static_cast<double>(pieces);
  SetPageBytes(state, page.size());
}
BENCHMARK(BM_SplitText)->ArgName("byTraceId")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_ReplaceText(benchmark::State& state) {
  const Text& page = PageText(2);
  const bool ignoreCase = state.range(0) != 0;
  for (auto _ : state) {
    Text out = xhs::ReplaceText(page, "traceId", "TRACE_ID", ignoreCase);
    benchmark::DoNotOptimize(out.c_str());
  }
  SetPageBytes(state, page.size());
}
BENCHMARK(BM_ReplaceText)->ArgName("ignoreCase")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// 0: the whole state JSON (a 1.5 MB copy); 1: a short piece near the end.
void BM_TextBetween(benchmark::State& state) {
  const Text& page = PageText(2);
  const bool big = state.range(0) == 0;
  const Text left = big ? Text("window.__INITIAL_STATE__=") : Text("vendor.");
  const Text right = big ? Text("</script>") : Text(".js#\xD2\xFD\xBA\xC5");  // ".js" + quote
  std::size_t size = 0;
  for (auto _ : state) {
    Text piece = xhs::TextBetween(page, left, right);
    size = piece.size();
    benchmark::DoNotOptimize(piece.c_str());
  }
  state.counters["pieceBytes"] = static_cast<double>(size);
  SetPageBytes(state, page.size());
}
BENCHMARK(BM_TextBetween)->ArgName("json")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_BytesToText(benchmark::State& state) {
  const Bytes bytes(Page(2).bytes);
  for (auto _ : state) {
    Text page = xhs::BytesToText(bytes);
    benchmark::DoNotOptimize(page.c_str());
  }
  SetPageBytes(state, bytes.size());
}
BENCHMARK(BM_BytesToText)->Unit(benchmark::kMicrosecond);

// --- code page 936 <-> UTF-16 ------------------------------------------------

#if XHS_BENCH_HAVE_CODEPAGE
void BM_AnsiToUtf16(benchmark::State& state) {
  const Text& page = PageText(2);
  for (auto _ : state) {
    Bytes units = xhs::AnsiToUtf16(page);
    benchmark::DoNotOptimize(units.data());
  }
  SetPageBytes(state, page.size());
}
BENCHMARK(BM_AnsiToUtf16)->Unit(benchmark::kMicrosecond);

void BM_Utf16ToAnsi(benchmark::State& state) {
  const Text& page = PageText(2);
  const Bytes units = xhs::AnsiToUtf16(page);
  bool same = true;
  for (auto _ : state) {
    Text back = xhs::Utf16ToAnsi(units);
    same = back.size() == page.size();
    benchmark::DoNotOptimize(back.c_str());
  }
  if (!same) state.SkipWithError("the page did not come back unchanged");
  SetPageBytes(state, page.size());
}
BENCHMARK(BM_Utf16ToAnsi)->Unit(benchmark::kMicrosecond);

void BM_TextToUtf16String(benchmark::State& state) {
  const Text& page = PageText(2);
  for (auto _ : state) {
    std::u16string units = xhs::TextToUtf16String(page);
    benchmark::DoNotOptimize(units.data());
  }
  SetPageBytes(state, page.size());
}
BENCHMARK(BM_TextToUtf16String)->Unit(benchmark::kMicrosecond);

void BM_Utf16StringToText(benchmark::State& state) {
  const Text& page = PageText(2);
  const std::u16string units = xhs::TextToUtf16String(page);
  for (auto _ : state) {
    Text back = xhs::Utf16StringToText(units);
    benchmark::DoNotOptimize(back.c_str());
  }
  SetPageBytes(state, page.size());
}
BENCHMARK(BM_Utf16StringToText)->Unit(benchmark::kMicrosecond);
#endif

// --- regular expressions and the page path ------------------------------------

#if XHS_BENCH_HAVE_REGEX
const Text kIdentifierPattern = "traceId\":\".*?\"";

void BM_RegexSearch(benchmark::State& state) {
  const Text& page = PageText(2);
  const bool everyMatch = state.range(0) != 0;
  int count = 0;
  for (auto _ : state) {
    xhs::RegexObject regex;
    regex.Search(kIdentifierPattern, page);
    count = regex.MatchCount();
    if (everyMatch) {
      for (int i = 1; i <= count; ++i) benchmark::DoNotOptimize(regex.MatchText(i).c_str());
    }
  }
  state.counters["matches"] = count;
  SetPageBytes(state, page.size());
}
BENCHMARK(BM_RegexSearch)->ArgName("everyMatchText")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The run's steps from the note page's bytes to its identifiers: the body
// becomes a Text, the identifier pattern is searched, and each match loses
// its key and its quotes.
std::vector<Text> PageToIdentifiers(const Bytes& body) {
  const Text page = xhs::BytesToText(body);
  xhs::RegexObject regex;
  regex.Search(kIdentifierPattern, page);
  const int count = regex.MatchCount();
  std::vector<Text> identifiers;
  identifiers.reserve(static_cast<std::size_t>(count));
  for (int i = 1; i <= count; ++i) {
    Text identifier = xhs::ReplaceText(regex.MatchText(i), "traceId\":\"", "");
    identifiers.push_back(xhs::ReplaceText(identifier, "\"", ""));
  }
  return identifiers;
}

void BM_PagePath(benchmark::State& state) {
  const std::size_t mib = static_cast<std::size_t>(state.range(0));
  const Bytes body(Page(mib).bytes);
  {
    const std::vector<Text> found = PageToIdentifiers(body);
    const auto& expected = Page(mib).identifiers;
    bool same = found.size() == expected.size();
    for (std::size_t i = 0; same && i < found.size(); ++i) same = found[i].str() == expected[i];
    if (!same) {
      state.SkipWithError("the identifiers found are not those of the page");
      return;
    }
  }
  for (auto _ : state) {
    std::vector<Text> identifiers = PageToIdentifiers(body);
    benchmark::DoNotOptimize(identifiers.data());
  }
  state.counters["identifiers"] = static_cast<double>(Page(mib).identifiers.size());
  SetPageBytes(state, body.size());
}
BENCHMARK(BM_PagePath)->ArgName("MiB")->Arg(2)->Arg(8)->Unit(benchmark::kMillisecond);
#endif

// --- header and cookie utilities --------------------------------------------

#if XHS_BENCH_HAVE_WEB
// 100 request items and 100 response items, half of the names shared, a
// tenth of the response items deleted.
std::pair<Text, Text> CookieInputs() {
  std::string request, response;
  for (int i = 0; i < 100; ++i) {
    if (i > 0) request += "; ";
    request += "name" + std::to_string(i) + "=value" + std::to_string(i) + "abcdefghijklmnop";
  }
  for (int i = 50; i < 150; ++i) {
    if (i > 50) response += "; ";
    response += "name" + std::to_string(i) + "=" +
                (i % 10 == 0 ? std::string("deleted") : "fresh" + std::to_string(i) + "qrstuvwxyz");
  }
  return {Text(request), Text(response)};
}

void BM_MergeCookies(benchmark::State& state) {
  const auto [request, response] = CookieInputs();
  for (auto _ : state) {
    Text cookie = request;
    Text responseCookies = response;
    Text merged = xhs::MergeCookies(cookie, responseCookies);
    benchmark::DoNotOptimize(merged.c_str());
  }
}
BENCHMARK(BM_MergeCookies)->Unit(benchmark::kMicrosecond);

void BM_NormalizeHeaderNames(benchmark::State& state) {
  std::string block;
  for (int i = 0; i < 50; ++i) {
    if (i > 0) block += "\r\n";
    if (i % 10 == 9) {
      block += "a line without a colon";
    } else {
      block += "x-custom-header-" + std::to_string(i) + "-name: value " + std::to_string(i) +
               "; q=0.9, text/html";
    }
  }
  const Text text(block);
  for (auto _ : state) {
    Text out = xhs::NormalizeHeaderNames(text);
    benchmark::DoNotOptimize(out.c_str());
  }
}
BENCHMARK(BM_NormalizeHeaderNames)->Unit(benchmark::kMicrosecond);
#endif

}  // namespace

// With no argument of its own the program reports the median (and mean and
// spread) of five repetitions of each benchmark; any --benchmark_* argument
// replaces that default.
int main(int argc, char** argv) {
  std::vector<char*> args(argv, argv + argc);
  char repetitions[] = "--benchmark_repetitions=5";
  char aggregates[] = "--benchmark_report_aggregates_only=true";
  if (argc == 1) {
    args.push_back(repetitions);
    args.push_back(aggregates);
  }
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
