// The response half of WebRequest over arbitrary response heads: a loopback
// server answers each input's bytes and closes, and the scan's out-values
// are checked against the models: the status text cut from the raw block,
// the Set-Cookie items and the last Location line, each drawn from the
// block. Nothing crashes, leaks or waits past the input's end.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "codepage/codepage.h"
#include "reference.h"
#include "web/web_request.h"

using namespace xhs;

namespace {

// Answers every connection with the current reply: reads the request head,
// writes the reply, closes.
class ReplyServer {
 public:
  ReplyServer() {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        listen(listener_, 16) != 0 || getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
      std::abort();
    }
    port_ = ntohs(address.sin_port);
    std::thread([this] { Serve(); }).detach();  // lives as long as the process
  }

  void SetReply(std::string reply) {
    std::lock_guard lock(mutex_);
    reply_ = std::move(reply);
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

 private:
  void Serve() {
    for (;;) {
      const int s = accept(listener_, nullptr, nullptr);
      if (s < 0) continue;
      std::string head;
      char buffer[4096];
      while (head.find("\r\n\r\n") == std::string::npos) {
        const ssize_t n = recv(s, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        head.append(buffer, static_cast<size_t>(n));
      }
      std::string reply;
      {
        std::lock_guard lock(mutex_);
        reply = reply_;
      }
      for (size_t sent = 0; sent < reply.size();) {
        const ssize_t n = send(s, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
      }
      shutdown(s, SHUT_WR);
      while (recv(s, buffer, sizeof buffer, 0) > 0) {
      }
      close(s);
    }
  }

  int listener_ = -1;
  int port_ = 0;
  std::mutex mutex_;
  std::string reply_;
};

bool IsErrorText(const Text& status) {
  return status.str().size() > 4 && status.str().compare(0, 2, "71") == 0 && status.str()[3] == ' ';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static ReplyServer server;
  if (size == 0) return 0;
  // The first byte chooses: an ordinary status line in front of the input's
  // header lines, or the input as the whole answer.
  std::string reply(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] & 1) reply = "HTTP/1.1 200 OK\r\n" + reply;
  server.SetReply(reply);

  const Text passedLocation("as passed");
  Text status, headers, cookies, location = passedLocation, cookie;
  if (data[0] & 2) cookie = Text("a=1; b=2");
  const Text sentCookie = cookie;
  Bytes body;
  int events = 0;
  const Text result = WebRequest({.url = Text(server.Url()),
                                  .cookie = &cookie,
                                  .responseCookies = &cookies,
                                  .responseHeaders = &headers,
                                  .noRedirect = true,
                                  .timeoutSeconds = 5,
                                  .location = &location,
                                  .statusText = &status,
                                  .responseBody = &body,
                                  .processPendingEvents = [&events] { ++events; }});

  if (headers.empty()) {
    // No head was read: an error text, nothing else written.
    REF_CHECK(IsErrorText(status));
    REF_CHECK(result.empty() && body.empty() && cookies.empty() && location == passedLocation);
    REF_CHECK(cookie == sentCookie);
    return 0;
  }

  const ref::Str& block = headers.str();
  REF_CHECK(ref::Right(block, 4) == "\r\n\r\n" || block == "\r\n");
  // The status line's text, or 713 when the body read stopped early.
  static const Text readFailed = Utf8ToText("713 读取数据失败!");
  REF_CHECK(status.str() == ref::Mid(block, 10, ref::Find(block, "\r\n", 10) - 10) || status == readFailed);

  // The scan, done again on the block with the models.
  ref::Str expectedCookies, expectedLocation = passedLocation.str();
  const ref::Strs lines = ref::Split(block, "\r\n");
  for (const ref::Str& line : lines) {
    if (ref::LeftOf(line, ": ") == "Set-Cookie") {
      const ref::Str item = ref::Find(line, ";") != -1 ? ref::Between(line, "Set-Cookie:", ";")
                                                      : ref::Replace(line, "Set-Cookie:", "", true);
      expectedCookies += ref::Trim(item) + "; ";
    }
    if (ref::Left(line, 10).size() == 10) {
      ref::Str name = ref::Left(line, 10);
      for (char& c : name) c = static_cast<char>(ref::Fold(static_cast<unsigned char>(c)));
      if (name == "location: ") expectedLocation = ref::Mid(line, 11, ref::Len(line) - 10);
    }
  }
  if (ref::Right(expectedCookies, 2) == "; ") expectedCookies = ref::Left(expectedCookies, ref::Len(expectedCookies) - 2);
  REF_CHECK(location.str() == expectedLocation);
  if (sentCookie.empty()) {
    REF_CHECK(cookies.str() == expectedCookies);
  } else {
    ref::Str merged = sentCookie.str(), fromResponse = expectedCookies;
    REF_CHECK(cookies.str() == ref::MergeCookies(merged, fromResponse));
    REF_CHECK(cookie == cookies);
  }
  // Every value came out of the block; the hook ran once per piece at least.
  REF_CHECK(block.find(location.str()) != ref::Str::npos || location == passedLocation);
  REF_CHECK(static_cast<size_t>(events) >= lines.size());
  REF_CHECK(body.size() <= reply.size());
  return 0;
}
