#include "note_page.h"

#include <algorithm>

namespace xhs::bench {
namespace {

// splitmix64: small, fast and the same everywhere.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint64_t>(n)); }

 private:
  std::uint64_t state_;
};

void AppendHex(std::string& out, Random& random, int n) {
  static constexpr char kHex[] = "0123456789abcdef";
  for (int i = 0; i < n; ++i) out += kHex[random.Below(16)];
}

// n bytes of Chinese prose in code page 936: GB2312 characters, now and then
// a GBK character whose second byte is ASCII-range (0x40-0x7E, 0x5C included),
// full-width punctuation and a hashtag. Never a double quote, a backslash
// on its own, a zero byte or a line break.
void AppendProse(std::string& out, Random& random, std::size_t n) {
  const std::size_t end = out.size() + n;
  while (out.size() + 2 <= end) {
    const int pick = random.Below(100);
    if (pick < 6) {
      out += "\xA3\xAC";  // full-width comma
    } else if (pick < 8) {
      out += "\xA1\xA3";  // ideographic full stop
    } else if (pick < 10) {
      out += static_cast<char>(0x81 + random.Below(0x20));
      out += static_cast<char>(0x40 + random.Below(0x3F));
    } else if (pick == 10 && out.size() + 8 <= end) {
      out += "#OOTD ";
      out += "\xA3\xA1";  // full-width exclamation mark
    } else {
      out += static_cast<char>(0xB0 + random.Below(0x27));  // rows 16-54: every cell assigned
      out += static_cast<char>(0xA1 + random.Below(0x5E));
    }
  }
  while (out.size() < end) out += ' ';
}

struct Layout {
  std::size_t htmlProse;   // bytes of prose in the visible HTML
  std::size_t entryProse;  // bytes of prose in each JSON entry
  std::size_t tailProse;   // bytes of prose at the end, to reach the size asked for
};

std::string Build(const Layout& layout, int traceIds, std::uint64_t seed,
                  std::vector<std::string>* identifiers) {
  Random random(seed);
  std::string page;
  page.reserve(layout.htmlProse + static_cast<std::size_t>(traceIds) * (layout.entryProse + 600) +
               8192);
  page +=
      "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n"
      "<meta name=\"viewport\" content=\"width=device-width,initial-scale=1\">\n<title>";
  AppendProse(page, random, 24);
  page += " - \xD0\xA1\xBA\xEC\xCA\xE9</title>\n";  // 小红书
  page += "<link rel=\"stylesheet\" href=\"//fe-static.xhscdn.com/formula-static/main.";
  AppendHex(page, random, 8);
  page += ".css\">\n<style>\n";
  for (int i = 0; i < 40; ++i) {
    page += ".note-c" + std::to_string(i) + "{margin:0 auto;padding:" + std::to_string(i % 9) +
            "px;color:#33" + std::to_string(10 + i) + "33}\n";
  }
  page += "</style>\n</head>\n<body>\n<div id=\"app\"><div class=\"note-container\">\n";
  for (std::size_t written = 0; written < layout.htmlProse;) {
    const std::size_t n = std::min<std::size_t>(layout.htmlProse - written, 300 + random.Below(600));
    page += "<p class=\"note-text\"><span>";
    AppendProse(page, random, n);
    page += "</span></p>\n";
    written += n;
  }
  page += "</div></div>\n<script>window.__INITIAL_STATE__={\"global\":{\"appSettings\":"
          "{\"notificationInterval\":30,\"prohibitedEmoji\":{\"weixin\":1}},\"serverTime\":170229";
  AppendHex(page, random, 7);
  page += "},\"note\":{\"firstNoteId\":\"";
  const std::string noteId = [&] {
    std::string id;
    AppendHex(id, random, 24);
    return id;
  }();
  page += noteId + "\",\"noteDetailMap\":{\"" + noteId + "\":{\"note\":{\"title\":\"";
  AppendProse(page, random, 40);
  page += "\",\"imageList\":[";
  const int pictures = std::min(traceIds, 18);
  for (int i = 0; i < traceIds; ++i) {
    std::string id = MakeIdentifier(seed, i);
    if (i == pictures) page += "]},\"comments\":{\"list\":[";
    if (i > 0 && i != pictures) page += ",";
    if (i < pictures) {
      page += "{\"fileId\":\"\",\"height\":1440,\"width\":1080,\"traceId\":\"" + id +
              "\",\"infoList\":[{\"imageScene\":\"WB_PRV\",\"url\":\"http://sns-webpic-qc.xhscdn.com/"
              "202312111234/";
      AppendHex(page, random, 32);
      page += "/" + id + "!nd_prv_wlteh_webp_3\"}],\"desc\":\"";
      AppendProse(page, random, layout.entryProse);
      page += "\"}";
    } else {
      page += "{\"id\":\"";
      AppendHex(page, random, 24);
      page += "\",\"content\":\"";
      AppendProse(page, random, layout.entryProse);
      page += "\",\"userInfo\":{\"nickname\":\"";
      AppendProse(page, random, 8);
      page += "\",\"userId\":\"";
      AppendHex(page, random, 24);
      page += "\"},\"pictures\":[{\"height\":960,\"width\":720,\"traceId\":\"" + id +
              "\",\"urlDefault\":\"http://sns-webpic-qc.xhscdn.com/202312111234/";
      AppendHex(page, random, 32);
      page += "/" + id + "!nd_dft_wlteh_webp_3\"}],\"likeCount\":\"" +
              std::to_string(random.Below(5000)) + "\"}";
    }
    if (identifiers) identifiers->push_back(std::move(id));
  }
  page += traceIds > pictures ? "]}}}}}" : "]}}}}";
  page += "</script>\n<script src=\"//fe-static.xhscdn.com/formula-static/vendor.";
  AppendHex(page, random, 8);
  page += ".js\" defer></script>\n<footer><p>";
  AppendProse(page, random, layout.tailProse);  // last: everything before stays the same
  page += "</p></footer>\n</body>\n</html>\n";
  return page;
}

}  // namespace

std::string MakeIdentifier(std::uint64_t seed, int index) {
  Random random(seed * 1000003u + static_cast<std::uint64_t>(index));
  static constexpr char kChars[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string id = "1040g";
  for (int i = 0; i < 27; ++i) id += kChars[random.Below(36)];
  return id;
}

NotePage MakeNotePage(std::size_t targetBytes, int traceIds, std::uint64_t seed) {
  traceIds = std::max(traceIds, 0);
  // The fixed parts first, then the prose shared out: a quarter in the
  // visible HTML, the rest over the JSON entries.
  const std::string bare = Build({0, 0, 0}, traceIds, seed, nullptr);
  Layout layout{0, 0, 0};
  if (targetBytes > bare.size()) {
    const std::size_t spare = targetBytes - bare.size();
    layout.htmlProse = traceIds > 0 ? spare / 4 : spare;
    if (traceIds > 0) layout.entryProse = (spare - layout.htmlProse) / static_cast<std::size_t>(traceIds) + 1;
  }
  std::string first = Build(layout, traceIds, seed, nullptr);
  if (first.size() < targetBytes) layout.tailProse = targetBytes - first.size();
  NotePage page;
  page.bytes = Build(layout, traceIds, seed, &page.identifiers);
  return page;
}

}  // namespace xhs::bench
