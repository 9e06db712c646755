// WebRequest against servers that misbehave: silence, stalls, resets, huge
// or malformed heads, broken encodings. Every call must end in bounded time
// with the out-values its outcome names, and never crash or run out of memory.
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "child.h"
#include "codepage/codepage.h"
#include "support/raw_server.h"
#include "web/web_request.h"

namespace xhs {
namespace {

using test::RawConnection;
using test::RawServer;
using namespace std::chrono_literals;
using namespace std::string_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kHang = 30s;  // far beyond any time-out used here: a hang

// One call with every out-value wired, the passed-in values marked.
struct Call {
  Text status{"old status"};
  Text headers{"old headers"};
  Text cookies;
  Text cookie;
  Text location{"old location"};
  Bytes body;
  Text page;
  Clock::duration elapsed{};

  Call& Run(const RawServer& server, int timeoutSeconds = 1) {
    const auto start = Clock::now();
    page = WebRequest({.url = Text(server.Url("/")),
                       .cookie = &cookie,
                       .responseCookies = &cookies,
                       .responseHeaders = &headers,
                       .noRedirect = true,
                       .timeoutSeconds = timeoutSeconds,
                       .location = &location,
                       .statusText = &status,
                       .responseBody = &body});
    elapsed = Clock::now() - start;
    return *this;
  }
  bool HeadRead() const { return headers != Text("old headers"); }
};

RawServer::Handler Answer(std::string head, std::function<void(RawConnection&)> then = nullptr) {
  return [head = std::move(head), then = std::move(then)](RawConnection& connection) {
    connection.ReadRequest();
    connection.Write(head);
    if (then) then(connection);
  };
}

long PeakRssKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// --- no head at all: 712 -----------------------------------------------------

TEST(HostileServer, NoCompleteHeadIs712WithoutHanging) {
  const struct {
    const char* name;
    RawServer::Handler handler;
  } cases[] = {
      {"accepts and never answers", [](RawConnection& c) {
         c.ReadRequest();
         c.Stall();
       }},
      {"half a status line, then silence", Answer("HTTP/1.1 20", [](RawConnection& c) { c.Stall(); })},
      {"head without its closing blank line, then silence",
       Answer("HTTP/1.1 200 OK\r\nX: y\r\n", [](RawConnection& c) { c.Stall(); })},
      {"head without its closing blank line, then close", Answer("HTTP/1.1 200 OK\r\nX: y\r\n")},
      {"reset before answering", [](RawConnection& c) {
         c.ReadRequest();
         c.Reset();
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RawServer server(c.handler);
    Call call;
    call.Run(server, 1);
    EXPECT_EQ(call.status, Utf8ToText("712 服务器未响应!"));
    EXPECT_EQ(call.headers.str(), "old headers");
    EXPECT_EQ(call.location.str(), "old location");
    EXPECT_TRUE(call.page.empty());
    EXPECT_LT(call.elapsed, kHang);
  }
}

// --- the head came, the body did not finish: what came is kept ---------------

TEST(HostileServer, BodyThatStopsKeepsTheBytesThatCame) {
  const struct {
    const char* name;
    RawServer::Handler handler;
    const char* kept;
  } cases[] = {
      {"stall after the head and part of the body",
       Answer("HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\nfirst", [](RawConnection& c) { c.Stall(); }), "first"},
      {"reset in the middle of the body",
       Answer("HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\nfirst",
              [](RawConnection& c) {
                std::this_thread::sleep_for(200ms);
                c.Reset();
              }),
       "first"},
      {"close before Content-Length is reached", Answer("HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\nfirst"),
       "first"},
      {"chunk size that is not hexadecimal",
       Answer("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nfirst\r\nzz\r\nmore\r\n0\r\n\r\n"), "first"},
      {"chunk longer than announced",
       Answer("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nfirst\r\n2\r\nmore\r\n0\r\n\r\n"),
       "firstmo"},
      {"chunked body without its last chunk",
       Answer("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nfirst\r\n"), "first"},
      {"chunked body without its last chunk, then silence",
       Answer("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nfirst\r\n",
              [](RawConnection& c) { c.Stall(); }),
       "first"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RawServer server(c.handler);
    Call call;
    call.Run(server, 1);
    // The head was read, the body cut short: 713 says so.
    EXPECT_EQ(call.status, Utf8ToText("713 读取数据失败!"));
    EXPECT_TRUE(call.HeadRead());
    EXPECT_EQ(call.body.view(), c.kept);
    EXPECT_EQ(call.page.str(), c.kept);
    EXPECT_LT(call.elapsed, kHang);
  }
}

// The cap on the body: the read stops at 256 MiB, with or without a length
// announced, and the peak memory of the process (measured in a child, so
// that it is this call's alone) stays a small multiple of the cap.
constexpr std::size_t kCap = std::size_t{256} << 20;

TEST(HostileServer, BodyOverTheCapStopsWithBoundedMemory) {
  for (const bool announced : {true, false}) {
    SCOPED_TRACE(announced ? "Content-Length" : "no length, ends at close");
    const test::ChildResult child = test::RunInChild([&] {
      const std::string head =
          announced ? "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kCap + (8 << 20)) + "\r\n\r\n"
                    : std::string("HTTP/1.1 200 OK\r\n\r\n");
      RawServer server(Answer(head, [](RawConnection& c) {
        const std::string chunk(1 << 20, 'x');
        for (std::size_t sent = 0; sent < kCap + (8 << 20) && c.Write(chunk); sent += chunk.size()) {
        }
      }));
      const long before = PeakRssKiB();
      Call call;
      call.Run(server, 10);
      char report[256];
      std::snprintf(report, sizeof report, "%zu %zu %ld %ld %.2f %s", call.body.size(), call.page.size(),
                    before / 1024, PeakRssKiB() / 1024, std::chrono::duration<double>(call.elapsed).count(),
                    call.status.c_str());
      return std::string(report);
    });
    ASSERT_TRUE(child.exited);
    ASSERT_EQ(child.code, 0);
    std::size_t body = 0, page = 0;
    char status[32] = {};
    long before = 0, peak = 0;
    double seconds = 0;
    ASSERT_EQ(std::sscanf(child.output.c_str(), "%zu %zu %ld %ld %lf %31[^\n]", &body, &page, &before, &peak,
                          &seconds, status),
              6)
        << child.output;
    EXPECT_EQ(body, kCap);
    EXPECT_EQ(page, kCap);
    EXPECT_EQ(std::string(status), Utf8ToText("713 读取数据失败!").str());
    std::printf("[ peak RSS ] %s: %ld MiB (%ld MiB before the call), %.1f s\n",
                announced ? "announced length" : "no length", peak, before, seconds);
    RecordProperty(announced ? "peak_rss_mib_announced" : "peak_rss_mib_unannounced", static_cast<int>(peak));
#if !defined(__SANITIZE_ADDRESS__)
    // The body and the result text, each at most the cap, plus the growth
    // of the buffer: bounded, far from what the whole stream would take.
    EXPECT_LT(peak, 1100);
#endif
  }
}

// --- heads that are malformed, huge or hostile -------------------------------

TEST(HostileServer, MalformedStatusLinesEndCleanly) {
  const char* const answers[] = {
      "HTTP/1.1 abc\r\n\r\nbody",
      "HTTP/1.1\r\n\r\nbody",
      "HTTP/1.1 99999999999999999999 X\r\n\r\nbody",
      "FOO 200 OK\r\n\r\nbody",
      "garbage without any line end",
      "\r\n\r\n",
      "HTTP/9.9 200 OK\r\n\r\nbody",
      "HTTP/1.1 200 OK\r\nno colon in this line\r\n: no name\r\n\r\nbody",
  };
  for (const char* answer : answers) {
    SCOPED_TRACE(answer);
    RawServer server(RawServer::Reply(answer));
    Call call;
    call.Run(server, 1);
    EXPECT_LT(call.elapsed, kHang);
    std::string shown = answer;
    for (char& c : shown) c = (c == '\r' || c == '\n') ? '|' : c;
    std::printf("[ malformed ] %-44.44s -> %s\n", shown.c_str(), call.HeadRead() ? call.status.c_str() : "712");
    if (call.HeadRead()) {
      // Whatever curl accepted: the status text is cut from the block, or
      // the body read failed.
      const int end = FindText(call.headers, "\r\n", 10);
      if (call.status != Utf8ToText("713 读取数据失败!")) {
        EXPECT_EQ(call.status, TextMid(call.headers, 10, end - 10));
      }
    } else {
      EXPECT_EQ(call.status, Utf8ToText("712 服务器未响应!"));
      EXPECT_TRUE(call.page.empty());
    }
  }
}

TEST(HostileServer, HeadWithBareLineFeedsIsReadAsLines) {
  RawServer server(RawServer::Reply("HTTP/1.1 302 Found\nSet-Cookie: a=1; Path=/\nLocation: /next\n\nbody"));
  Call call;
  call.Run(server);
  EXPECT_EQ(call.status.str(), "302 Found");
  EXPECT_EQ(call.cookies.str(), "a=1");
  EXPECT_EQ(call.location.str(), "/next");
  EXPECT_EQ(call.page.str(), "body");
}

// Near the most a head may hold: curl refuses a head of twice as many.
constexpr int kCookieLines = 10000;

TEST(HostileServer, HugeHeadsFinishInBoundedTime) {
  {
    SCOPED_TRACE("one header line of 1 MB");
    RawServer server(RawServer::Reply("HTTP/1.1 200 OK\r\nX-Big: " + std::string(1 << 20, 'a') +
                                      "\r\nContent-Length: 2\r\n\r\nok"));
    Call call;
    call.Run(server, 5);
    EXPECT_LT(call.elapsed, kHang);
    // curl refuses a line that long; either way nothing of it is kept half.
    std::printf("[ 1 MB line ] head %s, %.2f s\n", call.HeadRead() ? "read" : "refused (712)",
                std::chrono::duration<double>(call.elapsed).count());
    if (call.HeadRead()) {
      EXPECT_EQ(call.status.str(), "200 OK");
    } else {
      EXPECT_EQ(call.status, Utf8ToText("712 服务器未响应!"));
    }
  }
  {
    SCOPED_TRACE("10,000 Set-Cookie lines, merged into a cookie");
    std::string head = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; i < kCookieLines; ++i) head += "Set-Cookie: c" + std::to_string(i) + "=v; Path=/\r\n";
    RawServer server(RawServer::Reply(head + "Content-Length: 2\r\n\r\nok"));
    Call call;
    call.cookie = Text("c1=old; keep=1");
    call.Run(server, 5);
    EXPECT_LT(call.elapsed, kHang);
    std::printf("[ 10,000 Set-Cookie ] head %s, %.2f s\n", call.HeadRead() ? "read" : "refused (712)",
                std::chrono::duration<double>(call.elapsed).count());
    if (call.HeadRead()) {
      const TextArray items = SplitText(call.cookies, "; ");
      ASSERT_EQ(items.size(), kCookieLines + 1u);
      EXPECT_EQ(items.front().str(), "c0=v");
      EXPECT_EQ(items.back().str(), "keep=1");
      EXPECT_EQ(call.cookie, call.cookies);
    } else {
      EXPECT_EQ(call.status, Utf8ToText("712 服务器未响应!"));
    }
  }
}

// A head holding a zero byte is refused, or its value cut there; a value
// holding a bare CR keeps it, but never goes back out as a header line of a
// later request.
TEST(HostileServer, ControlBytesInLocationAndSetCookie) {
  {
    SCOPED_TRACE("zero bytes");
    RawServer server(RawServer::Reply("HTTP/1.1 302 Found\r\nLocation: /a\0/evil\r\n"
                                      "Set-Cookie: s=1\0; evil=2\r\nContent-Length: 0\r\n\r\n"s));
    Call call;
    call.Run(server);
    std::printf("[ zero byte ] head %s\n", call.HeadRead() ? "read, values cut" : "refused (712)");
    if (call.HeadRead()) {
      EXPECT_EQ(call.location.str(), "/a");
      EXPECT_EQ(call.cookies.str(), "s=1");
    } else {  // curl refuses a head holding a zero byte
      EXPECT_EQ(call.status, Utf8ToText("712 服务器未响应!"));
      EXPECT_EQ(call.location.str(), "old location");
      EXPECT_TRUE(call.cookies.empty());
    }
  }
  {
    SCOPED_TRACE("bare CR inside the values");
    RawServer server(RawServer::Reply("HTTP/1.1 302 Found\r\nLocation: /a\rInjected: 1\r\n"
                                      "Set-Cookie: s=1\rInjected: 2\r\nContent-Length: 0\r\n\r\n"));
    Call call;
    call.Run(server);
    EXPECT_EQ(call.status.str(), "302 Found");
    EXPECT_EQ(call.location.view().find('\n'), std::string_view::npos);
    EXPECT_EQ(call.cookies.view().find('\n'), std::string_view::npos);

    // The merged cookie, sent again: refused before anything goes out, or
    // sent without the CR; never as an injected line.
    RawServer next(RawServer::Reply("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"));
    Text cookie = call.cookies, status;
    WebRequest({.url = Text(next.Url("/")), .cookie = &cookie, .timeoutSeconds = 1, .statusText = &status});
    for (const std::string& request : next.Requests()) {
      EXPECT_EQ(request.find("\r\nInjected"), std::string::npos) << request;
      EXPECT_EQ(request.find("\rInjected"), std::string::npos) << request;
    }
    std::printf("[ bare CR ] the cookie sent again: %s\n", next.Requests().empty() ? "refused (710)" : "sent");
    if (next.Requests().empty()) {
      EXPECT_EQ(status, Utf8ToText("710 设置协议头失败!"));
    }
  }
}

// --- bodies that are not what they say ---------------------------------------

TEST(HostileServer, GzipBodyToAnIdentityRequestIsKeptAsBytes) {
  // "ok" compressed with gzip.
  const std::string gzip = "\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\xff\xcb\xcf\x06\x00\x47\xdd\xdc\x79\x02\x00\x00\x00"s;
  RawServer server(RawServer::Reply("HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: 22\r\n\r\n" + gzip));
  Call call;
  call.Run(server);
  EXPECT_EQ(call.status.str(), "200 OK");
  EXPECT_EQ(call.body.view(), gzip);
  EXPECT_EQ(call.page, BytesToText(Bytes(gzip)));
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_NE(server.Requests()[0].find("Accept-Encoding: identity\r\n"), std::string::npos);
}

TEST(HostileServer, BrokenAndUnknownCharsets) {
  const std::string meta = "<meta charset=\"utf-8\">";
  {
    SCOPED_TRACE("invalid UTF-8 under charset=utf-8");
    const std::string body = meta + "ok\xff\xfe\xc3(\xe4\xb8\xad\xed\xa0\x80\xf4\x90\x80\x80" + "end";
    RawServer server(RawServer::Reply("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                                      "\r\n\r\n" + body));
    Call call;
    call.Run(server);
    EXPECT_EQ(call.body.view(), body);  // the bytes as they came
    const std::string page = call.page.str();
    EXPECT_EQ(page.rfind(meta + "ok", 0), 0u) << page;
    EXPECT_NE(page.find(Utf8ToText("中").str()), std::string::npos) << page;
    EXPECT_EQ(page.substr(page.size() - 3), "end");
    EXPECT_NE(page.find('?'), std::string::npos);
  }
  {
    SCOPED_TRACE("a charset name nobody knows");
    const std::string body = "<meta charset=\"x-no-such-charset\">\xd6\xd0";
    RawServer server(RawServer::Reply("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                                      "\r\n\r\n" + body));
    Call call;
    call.Run(server);
    EXPECT_EQ(call.page.str(), body);  // kept as read
  }
}

}  // namespace
}  // namespace xhs
