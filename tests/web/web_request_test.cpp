#include "web/web_request.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "codepage/codepage.h"
#include "support/http_server.h"
#include "support/raw_server.h"
#include "support/test_cert.h"

namespace xhs {
namespace {

using test::HttpServer;
using test::RawConnection;
using test::RawServer;
using test::ScopedEnv;
using test::TestCert;
using namespace std::chrono_literals;

constexpr char kOk[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
constexpr char kDefaultLines[] =
    "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n"
    "Accept: text/html, application/xhtml+xml, */*\r\n"
    "Accept-Encoding: identity\r\n"
    "Accept-Language: zh-cn\r\n"
    "Cache-Control: no-cache\r\n";

std::string HostLine(const RawServer& server) {
  return "Host: 127.0.0.1:" + std::to_string(server.Port()) + "\r\n";
}

// The whole request a server should read: request line, Host, then lines.
std::string Request(const RawServer& server, const std::string& requestLine, const std::string& lines) {
  return requestLine + "\r\n" + HostLine(server) + lines + "\r\n";
}

std::string OnlyRequest(const RawServer& server) {
  const std::vector<std::string> requests = server.Requests();
  EXPECT_EQ(requests.size(), 1u);
  return requests.empty() ? std::string() : requests.front();
}

Text T(const std::string& bytes) { return Text(bytes); }
Bytes B(const std::string& bytes) { return Bytes(bytes); }

// Out-values of one call, filled with markers so that "as passed in" shows.
struct Outs {
  Text cookie{"c=1"};
  Text responseCookies{"rc=1"};
  Text responseHeaders{"old headers"};
  Text location{"old location"};
  Text statusText{"old status"};
  Bytes responseBody{B("old body")};
  int events = 0;

  WebRequestParams Wire(WebRequestParams params) {
    params.cookie = &cookie;
    params.responseCookies = &responseCookies;
    params.responseHeaders = &responseHeaders;
    params.location = &location;
    params.statusText = &statusText;
    params.responseBody = &responseBody;
    params.processPendingEvents = [this] { ++events; };
    return params;
  }

  // A failure: the error text, every other out-value as passed in, one
  // event call at the common exit.
  void ExpectFailure(const char* errorUtf8) const {
    EXPECT_EQ(statusText, Utf8ToText(errorUtf8));
    EXPECT_EQ(cookie.str(), "c=1");
    EXPECT_EQ(responseCookies.str(), "rc=1");
    EXPECT_EQ(responseHeaders.str(), "old headers");
    EXPECT_EQ(location.str(), "old location");
    EXPECT_EQ(responseBody, B("old body"));
    EXPECT_EQ(events, 1);
  }
};

// --- what reaches the server ---------------------------------------------

TEST(WebRequestSend, BareGetSendsTheDefaultBlockAndNothingElse) {
  RawServer server(RawServer::Reply(kOk));
  Text status, headers;
  const Text page = WebRequest({.url = T(server.Url("/note?id=7")), .responseHeaders = &headers,
                                .statusText = &status});
  EXPECT_EQ(OnlyRequest(server), Request(server, "GET /note?id=7 HTTP/1.1", kDefaultLines));
  EXPECT_EQ(page.str(), "ok");
  EXPECT_EQ(status.str(), "200 OK");
  EXPECT_EQ(headers.str(), "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n");
}

TEST(WebRequestSend, MethodTable) {
  const struct {
    int method;
    std::string requestLine;
    std::string extra;  // what follows the block
  } cases[] = {
      {0, "GET /m HTTP/1.1", ""},
      {1, "POST /m HTTP/1.1", "Content-Length: 0\r\n"},
      {2, "HEAD /m HTTP/1.1", ""},
      {3, "PUT /m HTTP/1.1", "Content-Length: 0\r\n"},
      {4, "OPTIONS /m HTTP/1.1", ""},
      {5, "DELETE /m HTTP/1.1", ""},
      {6, "TRACE /m HTTP/1.1", ""},
      {7, "CONNECT /m HTTP/1.1", ""},
      {8, "GET /m HTTP/1.1", ""},
      {-1, "GET /m HTTP/1.1", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.method);
    RawServer server(RawServer::Reply(kOk));
    Text status;
    const Text page = WebRequest({.url = T(server.Url("/m")), .method = c.method, .statusText = &status});
    std::string lines = kDefaultLines;
    if (c.method == 1) {
      lines.insert(lines.find("Cache-Control"), "Content-Type: application/x-www-form-urlencoded\r\n");
    }
    EXPECT_EQ(OnlyRequest(server), Request(server, c.requestLine, lines + c.extra));
    EXPECT_EQ(status.str(), "200 OK");
    EXPECT_EQ(page.str(), c.method == 2 ? "" : "ok");
  }
}

TEST(WebRequestSend, HeaderBlockRules) {
  const std::string ua = "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n";
  const std::string accept = "Accept: text/html, application/xhtml+xml, */*\r\n";
  const std::string rest = "Accept-Encoding: identity\r\nAccept-Language: zh-cn\r\n";
  const std::string cache = "Cache-Control: no-cache\r\n";
  const std::string type = "Content-Type: application/x-www-form-urlencoded\r\n";
  const struct {
    const char* name;
    std::string requestHeaders;
    int method;
    std::string cookie;
    bool defaultHeaders;
    bool normalizeHeaders;
    std::string expected;  // the lines after Host
  } cases[] = {
      {"caller lines come first, names normalised", "x-requested-with: XHR\r\n", 0, "", true, true,
       "X-Requested-With: XHR\r\n" + std::string(kDefaultLines)},
      {"lower-case content-type satisfies the POST probe", "content-type: text/plain", 1, "", true, true,
       "Content-Type: text/plain\r\n" + std::string(kDefaultLines) + "Content-Length: 0\r\n"},
      {"POST adds Content-Type before Cache-Control", "", 1, "", true, true,
       ua + accept + rest + type + cache + "Content-Length: 0\r\n"},
      {"a User-Agent without a blank does not satisfy the probe", "User-Agent:Custom", 0, "", true, true,
       "User-Agent:Custom\r\n" + std::string(kDefaultLines)},
      {"a value holding the probe suppresses the default Accept", "X-Note: Accept: none", 0, "", true, true,
       "X-Note: Accept: none\r\n" + ua + rest + cache},
      {"keep-alive is removed", "Connection: keep-alive", 0, "", true, true, kDefaultLines},
      {"Keep-Alive stays", "Connection: Keep-Alive", 0, "", true, true,
       "Connection: Keep-Alive\r\n" + std::string(kDefaultLines)},
      {"keep-alive as the last line keeps it (no CR LF follows it)", "Connection: keep-alive", 0, "", false,
       true, "Connection: keep-alive\r\n"},
      {"cookie as a Cookie line", "", 0, "a=1; b=2", true, true,
       std::string(kDefaultLines) + "Cookie: a=1; b=2\r\n"},
      {"a cookie beginning with Cookie: is not prefixed again", "", 0, "Cookie: a=1", true, true,
       std::string(kDefaultLines) + "Cookie: a=1\r\n"},
      {"a caller Cookie line wins", "cookie: x=9", 0, "a=1", true, true,
       "Cookie: x=9\r\n" + std::string(kDefaultLines)},
      {"empty block", "", 0, "", false, true, ""},
      {"no normalisation keeps names as given", "x-lower: v\r\n", 0, "", false, false, "x-lower: v\r\n"},
      {"a line without a value goes out empty", "X-Empty:", 0, "", false, true, "X-Empty:\r\n"},
      {"empty lines are dropped", "A: 1\r\n\r\nB: 2", 0, "", false, false, "A: 1\r\nB: 2\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RawServer server(RawServer::Reply(kOk));
    Text cookie = T(c.cookie);
    Text status;
    WebRequest({.url = T(server.Url("/h")), .method = c.method, .cookie = &cookie,
                .requestHeaders = T(c.requestHeaders), .statusText = &status,
                .defaultHeaders = c.defaultHeaders, .normalizeHeaders = c.normalizeHeaders});
    EXPECT_EQ(status.str(), "200 OK");
    const std::string method = c.method == 1 ? "POST" : "GET";
    EXPECT_EQ(OnlyRequest(server), Request(server, method + " /h HTTP/1.1", c.expected));
  }
}

TEST(WebRequestSend, HeaderBytesGoOutInCodePage936) {
  RawServer server(RawServer::Reply(kOk));
  const Text name = Utf8ToText("中文");
  WebRequest({.url = T(server.Url("/")), .requestHeaders = "X-Name: " + name, .defaultHeaders = false});
  EXPECT_EQ(OnlyRequest(server), Request(server, "GET / HTTP/1.1", "X-Name: " + name.str() + "\r\n"));
}

TEST(WebRequestSend, AHeaderLineThatCannotBeSentIs710) {
  RawServer server(RawServer::Reply(kOk));
  Outs outs;
  const Text page = WebRequest(outs.Wire({.url = T(server.Url("/")), .requestHeaders = "no colon here",
                                          .normalizeHeaders = false}));
  EXPECT_EQ(page.str(), "");
  outs.ExpectFailure("710 设置协议头失败!");
  EXPECT_EQ(server.ConnectionCount(), 0);
}

TEST(WebRequestSend, BodyRules) {
  {
    RawServer server(RawServer::Reply(kOk));
    WebRequest({.url = T(server.Url("/form")), .method = 1, .bodyText = "a=1&b=2"});
    std::string lines = kDefaultLines;
    lines.insert(lines.find("Cache-Control"), "Content-Type: application/x-www-form-urlencoded\r\n");
    EXPECT_EQ(OnlyRequest(server),
              Request(server, "POST /form HTTP/1.1", lines + "Content-Length: 7\r\n") + "a=1&b=2");
  }
  {  // bodyBytes wins over bodyText, zero bytes included
    RawServer server(RawServer::Reply(kOk));
    const std::string bytes("x\0y", 3);
    WebRequest({.url = T(server.Url("/put")), .method = 3, .bodyText = "ignored", .defaultHeaders = false,
                .bodyBytes = B(bytes)});
    EXPECT_EQ(OnlyRequest(server), Request(server, "PUT /put HTTP/1.1", "Content-Length: 3\r\n") + bytes);
  }
  {  // a large body goes at once: no Expect: 100-continue
    RawServer server(RawServer::Reply(kOk));
    const std::string bytes(2 << 20, 'z');
    Text status;
    WebRequest({.url = T(server.Url("/big")), .method = 1, .statusText = &status, .defaultHeaders = false,
                .bodyBytes = B(bytes)});
    EXPECT_EQ(status.str(), "200 OK");
    EXPECT_EQ(OnlyRequest(server),
              Request(server, "POST /big HTTP/1.1", "Content-Length: 2097152\r\n") + bytes);
  }
}

TEST(WebRequestSend, ObjectName) {
  const struct {
    std::string pathAndMore;
    std::string sent;
  } cases[] = {
      {"?q=1", "/"},                  // empty path: "/" and no query
      {"", "/"},
      {"#top", "/"},
      {"/a%20b?x=1&y=2#frag", "/a%20b?x=1&y=2"},  // the fragment never goes out
      {"/a/../b/./c", "/a/../b/./c"},             // the path as given
      {"/\xCD\xBC\xC6\xAC?\xC3\xFB=1", "/%E5%9B%BE%E7%89%87?%E5%90%8D=1"},  // 图片, 名 as UTF-8
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pathAndMore);
    RawServer server(RawServer::Reply(kOk));
    Text status;
    const std::string url = "http://127.0.0.1:" + std::to_string(server.Port()) + c.pathAndMore;
    WebRequest({.url = T(url), .statusText = &status, .defaultHeaders = false});
    EXPECT_EQ(status.str(), "200 OK");
    EXPECT_EQ(OnlyRequest(server), Request(server, "GET " + c.sent + " HTTP/1.1", ""));
  }
}

TEST(WebRequestSend, BadUrlsAre701AndSendNothing) {
  RawServer server(RawServer::Reply(kOk));
  const std::string base = "http://127.0.0.1:" + std::to_string(server.Port());
  const std::string cases[] = {
      "",
      "not a url",
      "127.0.0.1/no-scheme",
      "http://",
      "http:/one-slash",
      "http://127.0.0.1:99999/",
      "file:///etc/passwd",
      "ftp://127.0.0.1:" + std::to_string(server.Port()) + "/",
      base + "/a\r\nX-Injected: 1",
      base + "/a b",
      base + "/a\tb",
      base + "/\x7F",
      " " + base + "/",
  };
  for (const std::string& url : cases) {
    SCOPED_TRACE(url);
    Outs outs;
    const Text page = WebRequest(outs.Wire({.url = T(url)}));
    EXPECT_EQ(page.str(), "");
    outs.ExpectFailure("701 解析URL地址失败!");
  }
  EXPECT_EQ(server.ConnectionCount(), 0);
}

TEST(WebRequestSend, ServerCredentials) {
  {
    RawServer server(RawServer::Reply(kOk));
    WebRequest({.url = T(server.Url("/")), .userName = "user", .password = "pass", .defaultHeaders = false});
    EXPECT_EQ(OnlyRequest(server),
              Request(server, "GET / HTTP/1.1", "Authorization: Basic dXNlcjpwYXNz\r\n"));
  }
  {  // a user name and password inside the address are not used
    RawServer server(RawServer::Reply(kOk));
    const std::string url = "http://u:p@127.0.0.1:" + std::to_string(server.Port()) + "/";
    WebRequest({.url = T(url), .defaultHeaders = false});
    EXPECT_EQ(OnlyRequest(server), Request(server, "GET / HTTP/1.1", ""));
  }
  for (const auto& [user, password] : {std::pair<Text, Text>{"user", ""}, {"", "pass"}}) {
    RawServer server(RawServer::Reply(kOk));
    WebRequest({.url = T(server.Url("/")), .userName = user, .password = password, .defaultHeaders = false});
    EXPECT_EQ(OnlyRequest(server), Request(server, "GET / HTTP/1.1", ""));
  }
}

TEST(WebRequestSend, ProxyGetsTheAbsoluteAddressAndItsCredentials) {
  // The target is never contacted: port 1 on loopback.
  const std::string target = "http://127.0.0.1:1/path?x=1";
  const std::string sentToProxy =
      "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:1\r\n";
  {
    RawServer proxy(RawServer::Reply(kOk));
    Text status;
    const Text page = WebRequest({.url = T(target), .proxy = T("127.0.0.1:" + std::to_string(proxy.Port())),
                                  .proxyUser = "pu", .proxyPassword = "pp", .statusText = &status,
                                  .defaultHeaders = false});
    EXPECT_EQ(page.str(), "ok");
    EXPECT_EQ(status.str(), "200 OK");
    EXPECT_EQ(OnlyRequest(proxy), sentToProxy + "Proxy-Authorization: Basic cHU6cHA=\r\n\r\n");
  }
  {  // one member empty: no credentials
    RawServer proxy(RawServer::Reply(kOk));
    WebRequest({.url = T(target), .proxy = T("127.0.0.1:" + std::to_string(proxy.Port())), .proxyUser = "pu",
                .defaultHeaders = false});
    EXPECT_EQ(OnlyRequest(proxy), sentToProxy + "\r\n");
  }
}

TEST(WebRequestSend, HttpsThroughAProxyAsksForATunnel) {
  std::string firstLine;
  RawServer proxy([&firstLine](RawConnection& connection) {
    const std::string request = connection.ReadRequest();
    firstLine = request.substr(0, request.find("\r\n"));
    connection.Write("HTTP/1.1 200 Connection established\r\n\r\n");  // then no TLS at all
  });
  Outs outs;
  WebRequest(outs.Wire({.url = "https://127.0.0.1:1/secret?x=1",
                        .proxy = T("127.0.0.1:" + std::to_string(proxy.Port()))}));
  EXPECT_EQ(firstLine, "CONNECT 127.0.0.1:1 HTTP/1.1");  // the path never reaches the proxy
  outs.ExpectFailure("711 发送请求失败!");
}

// --- the response ----------------------------------------------------------

TEST(WebRequestResponse, RedirectWithNoRedirectIsReturnedItself) {
  RawServer server(RawServer::Reply("HTTP/1.1 302 Found\r\nLocation: /next\r\nContent-Length: 5\r\n\r\nmoved"));
  Text status, location, headers;
  const Text page = WebRequest({.url = T(server.Url("/short")), .responseHeaders = &headers, .noRedirect = true,
                                .location = &location, .statusText = &status});
  EXPECT_EQ(page.str(), "moved");
  EXPECT_EQ(status.str(), "302 Found");
  EXPECT_EQ(location.str(), "/next");
  EXPECT_EQ(headers.str(), "HTTP/1.1 302 Found\r\nLocation: /next\r\nContent-Length: 5\r\n\r\n");
  EXPECT_EQ(server.ConnectionCount(), 1);
}

TEST(WebRequestResponse, FollowedRedirectKeepsOnlyTheLastResponse) {
  HttpServer server;
  server.Routes().Get("/a", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/b"); });
  server.Routes().Get("/b", [](const httplib::Request&, httplib::Response& res) {
    res.set_content("final", "text/plain");
  });
  server.Start();
  Text status, headers, location = "kept";
  const Text page = WebRequest({.url = T(server.Url("/a")), .responseHeaders = &headers, .location = &location,
                                .statusText = &status});
  EXPECT_EQ(page.str(), "final");
  EXPECT_EQ(status.str(), "200 OK");
  EXPECT_EQ(headers.str().rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << headers.str();
  EXPECT_EQ(headers.str().find("302"), std::string::npos);
  EXPECT_EQ(location.str(), "kept");  // the final response has no Location line
}

TEST(WebRequestResponse, RedirectToAnotherSchemeIsNotFollowed) {
  RawServer server(RawServer::Reply("HTTP/1.1 302 Found\r\nLocation: file:///etc/passwd\r\nContent-Length: 0\r\n\r\n"));
  Outs outs;
  const Text page = WebRequest(outs.Wire({.url = T(server.Url("/"))}));
  EXPECT_EQ(page.str(), "");
  outs.ExpectFailure("712 服务器未响应!");
}

TEST(WebRequestResponse, InterimResponsesAndBareLineFeeds) {
  RawServer server(RawServer::Reply(
      "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\nX-Bare: lf\nContent-Length: 2\n\nok"));
  Text status, headers;
  const Text page = WebRequest({.url = T(server.Url("/")), .responseHeaders = &headers, .statusText = &status});
  EXPECT_EQ(page.str(), "ok");
  EXPECT_EQ(status.str(), "200 OK");
  EXPECT_EQ(headers.str(), "HTTP/1.1 200 OK\r\nX-Bare: lf\r\nContent-Length: 2\r\n\r\n");
}

TEST(WebRequestResponse, SetCookieAndLocationScan) {
  RawServer server(RawServer::Reply(
      "HTTP/1.1 200 OK\r\n"
      "Set-Cookie: lang=zh; Path=/\r\n"
      "set-cookie: lower=1\r\n"
      "Set-Cookie:nospace=1\r\n"
      "Set-Cookie: theme=dark\r\n"
      "location: /first\r\n"
      "Location: /second\r\n"
      "Content-Length: 0\r\n\r\n"));
  Text cookies, location, status;
  WebRequest({.url = T(server.Url("/")), .responseCookies = &cookies, .location = &location,
              .statusText = &status});
  EXPECT_EQ(status.str(), "200 OK");
  EXPECT_EQ(cookies.str(), "lang=zh; theme=dark");
  EXPECT_EQ(location.str(), "/second");
}

TEST(WebRequestResponse, ResponseCookiesAreAppendedToWhatWasPassed) {
  const char* response = "HTTP/1.1 200 OK\r\nSet-Cookie: a=1\r\nContent-Length: 0\r\n\r\n";
  for (const auto& [passed, expected] : {std::pair<std::string, std::string>{"old=1; ", "old=1; a=1"},
                                         {"old=1", "old=1a=1"}}) {
    RawServer server(RawServer::Reply(response));
    Text cookies = T(passed), location = "as passed";
    WebRequest({.url = T(server.Url("/")), .responseCookies = &cookies, .location = &location});
    EXPECT_EQ(cookies.str(), expected);
    EXPECT_EQ(location.str(), "as passed");
  }
  {  // a trailing "; " passed in is cut even when nothing is collected
    RawServer server(RawServer::Reply(kOk));
    Text cookies = "old=1; ";
    WebRequest({.url = T(server.Url("/")), .responseCookies = &cookies});
    EXPECT_EQ(cookies.str(), "old=1");
  }
}

TEST(WebRequestResponse, CookieMerge) {
  const char* response =
      "HTTP/1.1 200 OK\r\nSet-Cookie: theme=light; Path=/\r\nSet-Cookie: uid=deleted\r\n"
      "Set-Cookie: tz=8\r\nContent-Length: 0\r\n\r\n";
  {
    RawServer server(RawServer::Reply(response));
    Text cookie = "lang=zh; theme=dark; uid=7", cookies;
    WebRequest({.url = T(server.Url("/")), .cookie = &cookie, .responseCookies = &cookies,
                .defaultHeaders = false});
    EXPECT_EQ(OnlyRequest(server), Request(server, "GET / HTTP/1.1", "Cookie: lang=zh; theme=dark; uid=7\r\n"));
    EXPECT_EQ(cookie.str(), "theme=light; tz=8; lang=zh");
    EXPECT_EQ(cookies.str(), "theme=light; tz=8; lang=zh");
  }
  {
    RawServer server(RawServer::Reply(response));
    Text cookie = "lang=zh; theme=dark; uid=7", cookies;
    WebRequest({.url = T(server.Url("/")), .cookie = &cookie, .responseCookies = &cookies,
                .mergeCookies = false});
    EXPECT_EQ(cookie.str(), "lang=zh; theme=dark; uid=7");
    EXPECT_EQ(cookies.str(), "theme=light; uid=deleted; tz=8");
  }
}

TEST(WebRequestResponse, ZeroByteInTheBody) {
  RawServer server(RawServer::Reply(std::string("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nab\0cd", 43)));
  Bytes body;
  const Text page = WebRequest({.url = T(server.Url("/")), .responseBody = &body});
  EXPECT_EQ(page.str(), "ab");
  EXPECT_EQ(body, B(std::string("ab\0cd", 5)));
}

TEST(WebRequestResponse, ChunkedBodyIsJoined) {
  RawServer server(RawServer::Reply(
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n2\r\nde\r\n0\r\n\r\n"));
  Text headers;
  const Text page = WebRequest({.url = T(server.Url("/")), .responseHeaders = &headers});
  EXPECT_EQ(page.str(), "abcde");
  EXPECT_EQ(headers.str(), "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n");
}

TEST(WebRequestResponse, CharsetStep) {
  const std::string utf8Chinese = "\xE4\xB8\xAD\xE6\x96\x87";  // 中文
  const std::string gbkChinese = "\xD6\xD0\xCE\xC4";
  const std::string padding(1100, ' ');
  const struct {
    const char* name;
    std::string body;
    std::string expected;
  } cases[] = {
      {"utf-8 is decoded", "<html><meta charset=\"utf-8\"><p>" + utf8Chinese,
       "<html><meta charset=\"utf-8\"><p>" + gbkChinese},
      {"content attribute form", "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">" +
       utf8Chinese, "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">" + gbkChinese},
      {"gbk is kept", "<meta charset=gbk>" + gbkChinese, "<meta charset=gbk>" + gbkChinese},
      {"gb2312 is kept", "<meta charset=gb2312>" + gbkChinese, "<meta charset=gb2312>" + gbkChinese},
      {"GBK is decoded to the same text", "<meta charset=GBK>" + gbkChinese, "<meta charset=GBK>" + gbkChinese},
      {"a tag past byte 1024 is not seen", padding + "<meta charset=utf-8>" + utf8Chinese,
       padding + "<meta charset=utf-8>" + utf8Chinese},
      {"an unknown charset keeps the text", "<meta charset=no-such-set>" + utf8Chinese,
       "<meta charset=no-such-set>" + utf8Chinese},
      {"no tag", utf8Chinese, utf8Chinese},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RawServer server(RawServer::Reply("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(c.body.size()) +
                                      "\r\n\r\n" + c.body));
    Bytes body;
    const Text page = WebRequest({.url = T(server.Url("/")), .responseBody = &body});
    EXPECT_EQ(page.str(), c.expected);
    EXPECT_EQ(body, B(c.body));  // the bytes stay as read
  }
}

// --- failures and time-outs -----------------------------------------------

TEST(WebRequestFailure, RefusedConnectionIs711) {
  int port = 0;
  {
    RawServer closed(RawServer::Reply(kOk));
    port = closed.Port();
  }
  Outs outs;
  const Text page = WebRequest(outs.Wire({.url = T("http://127.0.0.1:" + std::to_string(port) + "/")}));
  EXPECT_EQ(page.str(), "");
  outs.ExpectFailure("711 发送请求失败!");
}

TEST(WebRequestFailure, SilentServerIs712AfterTheIdleTimeout) {
  RawServer server([](RawConnection& connection) {
    connection.ReadRequest();
    connection.Stall();
  });
  Outs outs;
  const auto start = std::chrono::steady_clock::now();
  const Text page = WebRequest(outs.Wire({.url = T(server.Url("/")), .timeoutSeconds = 1}));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(page.str(), "");
  outs.ExpectFailure("712 服务器未响应!");
  EXPECT_GE(elapsed, 900ms);
  EXPECT_LT(elapsed, 20s);
}

TEST(WebRequestFailure, ClosingWithoutAnAnswerIs712) {
  RawServer server([](RawConnection& connection) { connection.ReadRequest(); });
  Outs outs;
  WebRequest(outs.Wire({.url = T(server.Url("/"))}));
  outs.ExpectFailure("712 服务器未响应!");
}

TEST(WebRequestFailure, ZeroOrNegativeTimeoutMeansThirtySeconds) {
  for (const int seconds : {0, -5}) {
    SCOPED_TRACE(seconds);
    RawServer server([](RawConnection& connection) {
      connection.ReadRequest();
      std::this_thread::sleep_for(1500ms);
      connection.Write(kOk);
    });
    Text status;
    const Text page = WebRequest({.url = T(server.Url("/")), .timeoutSeconds = seconds, .statusText = &status});
    EXPECT_EQ(status.str(), "200 OK");
    EXPECT_EQ(page.str(), "ok");
  }
}

TEST(WebRequestFailure, TheTimeoutIsIdleTimeNotTotalTime) {
  RawServer server([](RawConnection& connection) {
    connection.ReadRequest();
    connection.Write("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n");
    for (const char c : std::string("slow!")) {
      std::this_thread::sleep_for(400ms);
      connection.Write(std::string(1, c));
    }
  });
  Text status;
  const Text page = WebRequest({.url = T(server.Url("/")), .timeoutSeconds = 1, .statusText = &status});
  EXPECT_EQ(status.str(), "200 OK");
  EXPECT_EQ(page.str(), "slow!");
}

// A read that stops in the body keeps what came, and statusText says the
// read failed instead of the status line's "200 OK".
TEST(WebRequestFailure, BodyCutShortKeepsWhatCame) {
  const struct {
    const char* name;
    RawServer::Handler handler;
  } cases[] = {
      {"reset", [](RawConnection& connection) {
         connection.ReadRequest();
         connection.Write("HTTP/1.1 200 OK\r\nSet-Cookie: s=1\r\nContent-Length: 100\r\n\r\npartial");
         std::this_thread::sleep_for(300ms);
         connection.Reset();
       }},
      {"stall", [](RawConnection& connection) {
         connection.ReadRequest();
         connection.Write("HTTP/1.1 200 OK\r\nSet-Cookie: s=1\r\nContent-Length: 100\r\n\r\npartial");
         connection.Stall();
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RawServer server(c.handler);
    Bytes body;
    Text status, cookies;
    const Text page = WebRequest({.url = T(server.Url("/")), .responseCookies = &cookies, .timeoutSeconds = 1,
                                  .statusText = &status, .responseBody = &body});
    EXPECT_EQ(page.str(), "partial");
    EXPECT_EQ(body, B("partial"));
    EXPECT_EQ(status, Utf8ToText("713 读取数据失败!"));
    EXPECT_EQ(cookies.str(), "s=1");
  }
}

TEST(WebRequestFailure, BodyOver256MiBStopsAtTheLimit) {
  constexpr std::size_t kLimit = std::size_t{256} << 20;
  RawServer server([](RawConnection& connection) {
    connection.ReadRequest();
    connection.Write("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kLimit + (1 << 20)) + "\r\n\r\n");
    const std::string chunk(1 << 20, 'x');
    for (std::size_t sent = 0; sent <= kLimit && connection.Write(chunk); sent += chunk.size()) {
    }
  });
  Bytes body;
  Text status;
  const Text page = WebRequest({.url = T(server.Url("/")), .statusText = &status, .responseBody = &body});
  EXPECT_EQ(body.size(), kLimit);
  EXPECT_EQ(page.size(), kLimit);
  EXPECT_EQ(status, Utf8ToText("713 读取数据失败!"));
}

// --- TLS --------------------------------------------------------------------

class WebRequestTls : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    cert_ = new TestCert;
    other_ = new TestCert;
  }
  static void TearDownTestSuite() {
    delete cert_;
    delete other_;
  }
  void SetUp() override {
    server_ = std::make_unique<HttpServer>(*cert_);
    server_->Routes().Get("/", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("secure", "text/plain");
    });
    server_->Start();
  }

  static TestCert* cert_;
  static TestCert* other_;
  std::unique_ptr<HttpServer> server_;
};
TestCert* WebRequestTls::cert_ = nullptr;
TestCert* WebRequestTls::other_ = nullptr;

TEST_F(WebRequestTls, TrustStoreFromTheEnvironment) {
  for (const bool viaCurlBundle : {false, true}) {
    SCOPED_TRACE(viaCurlBundle);
    ScopedEnv bundle("CURL_CA_BUNDLE", viaCurlBundle ? std::optional(cert_->CertFile()) : std::nullopt);
    ScopedEnv file("SSL_CERT_FILE", viaCurlBundle ? std::nullopt : std::optional(cert_->CertFile()));
    Text status;
    const Text page = WebRequest({.url = T(server_->Url("/")), .statusText = &status});
    EXPECT_EQ(status.str(), "200 OK");  // HTTP/1.1, not HTTP/2
    EXPECT_EQ(page.str(), "secure");
  }
}

TEST_F(WebRequestTls, UntrustedCertificateIs711) {
  ScopedEnv bundle("CURL_CA_BUNDLE", std::nullopt);
  ScopedEnv file("SSL_CERT_FILE", other_->CertFile());
  Outs outs;
  const Text page = WebRequest(outs.Wire({.url = T(server_->Url("/"))}));
  EXPECT_EQ(page.str(), "");
  outs.ExpectFailure("711 发送请求失败!");
}

// --- pending events --------------------------------------------------------

TEST(WebRequestEvents, CalledAfterEachHeaderLineTheCharsetStepAndTheExit) {
  RawServer server(RawServer::Reply("HTTP/1.1 200 OK\r\nLocation: /a\r\nX: y\r\nContent-Length: 2\r\n\r\nok"));
  Text location = "before";
  std::vector<std::string> seen;
  WebRequest({.url = T(server.Url("/")), .location = &location,
              .processPendingEvents = [&] { seen.push_back(location.str()); }});
  // Status line, Location, X, Content-Length, the closing empty line; then
  // the charset step and the common exit.
  EXPECT_EQ(seen, (std::vector<std::string>{"before", "/a", "/a", "/a", "/a", "/a", "/a"}));
}

TEST(WebRequestEvents, AHandlerMayStartAnotherRequest) {
  RawServer outer(RawServer::Reply("HTTP/1.1 200 OK\r\nSet-Cookie: o=1\r\nContent-Length: 5\r\n\r\nouter"));
  RawServer inner(RawServer::Reply("HTTP/1.1 201 Created\r\nSet-Cookie: i=1\r\nContent-Length: 5\r\n\r\ninner"));
  Text outerStatus, outerCookies, innerStatus, innerCookies, innerPage;
  bool nested = false;
  const Text outerPage = WebRequest(
      {.url = T(outer.Url("/")), .responseCookies = &outerCookies, .statusText = &outerStatus,
       .processPendingEvents = [&] {
         if (nested) return;
         nested = true;
         innerPage = WebRequest({.url = T(inner.Url("/")), .responseCookies = &innerCookies,
                                 .statusText = &innerStatus});
       }});
  EXPECT_EQ(outerPage.str(), "outer");
  EXPECT_EQ(outerStatus.str(), "200 OK");
  EXPECT_EQ(outerCookies.str(), "o=1");
  EXPECT_EQ(innerPage.str(), "inner");
  EXPECT_EQ(innerStatus.str(), "201 Created");
  EXPECT_EQ(innerCookies.str(), "i=1");
}

}  // namespace
}  // namespace xhs
