// xhs-demo-service: a small stand-in for the note service, on a loopback port,
// so that the whole road from a share text to saved pictures can be seen
// without network access or a cookie.
//
//   GET /a/demo                        307, the next hop in an <a href> body
//   GET /discovery/item/NOTE?...       302, the note path in an <a href> body
//   GET /explore/NOTE?...              the note page with its picture ids
//   GET /img/ID?imageView2/2/w/1200/format/webp   a generated PNG picture
//
// Usage: xhs-demo-service [--port-file FILE] [--delay-ms N] [--lifetime SECONDS]
// It prints its origin ("http://127.0.0.1:PORT/") on standard output, writes
// the port into FILE when asked, and serves until SIGINT or SIGTERM, or until
// the lifetime (default 600 s) is over, so a forgotten service goes away.
#include <httplib.h>
#include <signal.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

constexpr std::string_view kNoteId = "6650c0de000000001e03a1b2";
constexpr std::string_view kNoteQuery = "?xsec_source=app_share";
constexpr std::string_view kPictureQuery = "imageView2/2/w/1200/format/webp";

// The demo note's pictures: identifier and the two colours of its sky.
struct Picture {
  std::string_view id;
  std::uint32_t top;
  std::uint32_t bottom;
};
constexpr std::array<Picture, 4> kPictures{{
    {"1040g2sg31demo0sea00000001", 0x5ab0e8, 0xf4e3c1},
    {"1040g2sg31demo0sea00000002", 0xf2895c, 0xfbd38d},
    {"1040g2sg31demo0sea00000003", 0x2d3a6b, 0x9b6fb5},
    {"1040g2sg31demo0sea00000004", 0x7fc8a9, 0xe8f6ef},
}};

// --- a PNG writer: 8-bit RGB, stored (uncompressed) deflate blocks ----------

std::uint32_t Crc32(const std::string& data, std::size_t from) {
  std::uint32_t crc = 0xffffffffU;
  for (std::size_t i = from; i < data.size(); ++i) {
    crc ^= static_cast<unsigned char>(data[i]);
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xedb88320U & (0U - (crc & 1U)));
  }
  return crc ^ 0xffffffffU;
}

void PutBig32(std::string& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((v >> shift) & 0xff));
}

void PutChunk(std::string& png, std::string_view type, const std::string& data) {
  PutBig32(png, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = png.size();
  png.append(type);
  png.append(data);
  PutBig32(png, Crc32(png, start));
}

std::string EncodePng(int width, int height, const std::vector<std::uint8_t>& rgb) {
  std::string raw;  // each row: filter byte 0, then the row's pixels
  for (int y = 0; y < height; ++y) {
    raw.push_back('\0');
    const auto* row = rgb.data() + static_cast<std::size_t>(y) * width * 3;
    raw.append(reinterpret_cast<const char*>(row), static_cast<std::size_t>(width) * 3);
  }
  std::string zlib = {'\x78', '\x01'};
  std::uint32_t a = 1, b = 0;
  for (const char c : raw) {
    a = (a + static_cast<unsigned char>(c)) % 65521;
    b = (b + a) % 65521;
  }
  for (std::size_t at = 0; at < raw.size() || at == 0;) {
    const std::size_t n = std::min<std::size_t>(65535, raw.size() - at);
    const bool last = at + n == raw.size();
    zlib.push_back(last ? '\x01' : '\x00');
    zlib.push_back(static_cast<char>(n & 0xff));
    zlib.push_back(static_cast<char>(n >> 8));
    zlib.push_back(static_cast<char>(~n & 0xff));
    zlib.push_back(static_cast<char>((~n >> 8) & 0xff));
    zlib.append(raw, at, n);
    at += n;
    if (last) break;
  }
  PutBig32(zlib, (b << 16) | a);

  std::string png = "\x89PNG\r\n\x1a\n";
  std::string header;
  PutBig32(header, static_cast<std::uint32_t>(width));
  PutBig32(header, static_cast<std::uint32_t>(height));
  header += std::string{'\x08', '\x02', '\x00', '\x00', '\x00'};  // 8 bits, RGB
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", zlib);
  PutChunk(png, "IEND", "");
  return png;
}

// A small seaside picture: a sky between two colours, a sun, the sea and a
// row of hills, different for each picture.
std::string DrawPicture(const Picture& picture, int index) {
  constexpr int kWidth = 240, kHeight = 180;
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(kWidth) * kHeight * 3);
  auto channel = [](std::uint32_t colour, int shift) { return static_cast<int>((colour >> shift) & 0xff); };
  const int sunX = 50 + 45 * index, sunY = 55, sunR = 18;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      int c[3];
      for (int k = 0; k < 3; ++k) {
        const int shift = 16 - 8 * k;
        c[k] = channel(picture.top, shift) +
               (channel(picture.bottom, shift) - channel(picture.top, shift)) * y / kHeight;
      }
      const int dx = x - sunX, dy = y - sunY;
      if (dx * dx + dy * dy <= sunR * sunR) c[0] = 255, c[1] = 236, c[2] = 150;
      const int wave = (x * (index + 2) / 2) % 60;
      const int hill = 100 + std::abs(wave - 30);
      if (y > hill) c[0] = 70 + 10 * index, c[1] = 120, c[2] = 80;
      if (y > 130) c[0] = 40, c[1] = 110 + (y % 7) * 4, c[2] = 170;
      auto* p = &rgb[(static_cast<std::size_t>(y) * kWidth + x) * 3];
      for (int k = 0; k < 3; ++k) p[k] = static_cast<std::uint8_t>(c[k]);
    }
  }
  return EncodePng(kWidth, kHeight, rgb);
}

// --- the pages ----------------------------------------------------------------

std::string NotePage() {
  std::string images;
  for (const Picture& picture : kPictures) {
    if (!images.empty()) images += ",";
    images += R"({"width":240,"height":180,"traceId":")" + std::string(picture.id) +
              R"(","infoList":[{"imageScene":"WB_DFT"}]})";
  }
  return "<!doctype html>\n<html><head><meta charset=\"utf-8\"><title>海边的周末 - 小红书</title></head>\n"
         "<body><div id=\"app\">海边的周末（演示笔记）</div>\n"
         "<script>window.__INITIAL_STATE__={\"note\":{\"noteDetailMap\":{\"" +
         std::string(kNoteId) + "\":{\"note\":{\"title\":\"海边的周末\",\"imageList\":[" + images +
         "]}}}}}</script>\n</body></html>\n";
}

struct Settings {
  std::string portFile;
  int delayMs = 0;
  int lifetimeSeconds = 600;
};

bool ParseNumber(const char* text, int low, int high, int& out) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < low || value > high) return false;
  out = static_cast<int>(value);
  return true;
}

int Usage() {
  std::cerr << "usage: xhs-demo-service [--port-file FILE] [--delay-ms N] [--lifetime SECONDS]\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Settings settings;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (i + 1 >= argc) return Usage();
    const char* value = argv[++i];
    if (arg == "--port-file") {
      settings.portFile = value;
    } else if (arg == "--delay-ms") {
      if (!ParseNumber(value, 0, 10000, settings.delayMs)) return Usage();
    } else if (arg == "--lifetime") {
      if (!ParseNumber(value, 1, 86400, settings.lifetimeSeconds)) return Usage();
    } else {
      return Usage();
    }
  }

  // SIGINT and SIGTERM are taken by the main thread with sigtimedwait, so the
  // server threads (which inherit this mask) never see them.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  std::vector<std::string> pictures;
  for (std::size_t i = 0; i < kPictures.size(); ++i) pictures.push_back(DrawPicture(kPictures[i], static_cast<int>(i)));

  httplib::Server server;
  const int port = server.bind_to_any_port("127.0.0.1");
  if (port <= 0) {
    std::cerr << "xhs-demo-service: cannot listen on 127.0.0.1\n";
    return 1;
  }
  const std::string origin = "http://127.0.0.1:" + std::to_string(port) + "/";
  const std::string secondHop = origin + "discovery/item/" + std::string(kNoteId) + std::string(kNoteQuery);
  const std::string notePath = "/explore/" + std::string(kNoteId) + std::string(kNoteQuery);

  // The short link: the target is in the body as well as in Location.
  server.Get("/a/demo", [&](const httplib::Request&, httplib::Response& res) {
    res.status = 307;
    res.set_header("Location", secondHop);
    res.set_content("<a href=\"" + secondHop + "\">Temporary Redirect</a>.\n\n", "text/html; charset=utf-8");
  });
  server.Get("/discovery/item/" + std::string(kNoteId), [&](const httplib::Request&, httplib::Response& res) {
    res.status = 302;
    res.set_header("Location", notePath);
    res.set_content("<a href=\"" + notePath + "\">" + notePath + "</a>.\n\n", "text/html; charset=utf-8");
  });
  server.Get("/explore/" + std::string(kNoteId), [&](const httplib::Request&, httplib::Response& res) {
    res.set_content(NotePage(), "text/html; charset=utf-8");
  });
  for (std::size_t i = 0; i < kPictures.size(); ++i) {
    server.Get("/img/" + std::string(kPictures[i].id), [&, i](const httplib::Request& req, httplib::Response& res) {
      if (!req.has_param(std::string(kPictureQuery).c_str())) {
        res.status = 404;
        res.set_content("no such picture\n", "text/plain");
        return;
      }
      if (settings.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(settings.delayMs));
      res.set_content(pictures[i], "image/png");
    });
  }

  std::thread serving([&server] { server.listen_after_bind(); });
  while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(5));

  if (!settings.portFile.empty()) {
    const std::string temporary = settings.portFile + ".tmp";
    std::ofstream(temporary) << port << "\n";
    if (std::rename(temporary.c_str(), settings.portFile.c_str()) != 0) {
      std::cerr << "xhs-demo-service: cannot write " << settings.portFile << "\n";
      server.stop();
      serving.join();
      return 1;
    }
  }
  std::cout << origin << std::endl;

  const timespec lifetime{settings.lifetimeSeconds, 0};
  while (sigtimedwait(&stopSignals, nullptr, &lifetime) < 0 && errno == EINTR) {
  }
  server.stop();
  serving.join();
  return 0;
}
