#include "web/http_get.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "fake_service.h"
#include "support/http_server.h"
#include "support/test_cert.h"

namespace xhs::test {
namespace {

class HttpGetTest : public ::testing::Test {
 protected:
  std::string Get(const std::string& url, int& status) { return HttpGet(Text(url), status).release(); }
  FakeService service;
};

TEST_F(HttpGetTest, SendsAPlainHttp10GetThatBypassesCaches) {
  int status = -1;
  EXPECT_EQ(Get(service.Origin() + "img/p1?imageView2/2/w/1200/format/webp", status), FakeService::PictureBytes("p1"));
  EXPECT_EQ(status, 200);

  const auto requests = service.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].target, "/img/p1?imageView2/2/w/1200/format/webp");
  EXPECT_EQ(requests[0].version, "HTTP/1.0");
  EXPECT_EQ(requests[0].userAgent, "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)");
  EXPECT_EQ(requests[0].accept, "*/*");
  EXPECT_EQ(requests[0].pragma, "no-cache");
  EXPECT_EQ(requests[0].cacheControl, "no-cache");
  EXPECT_EQ(requests[0].connection, "Keep-Alive");
  EXPECT_EQ(requests[0].cookie, "");
}

TEST_F(HttpGetTest, ReturnsTheBodyWhateverTheStatus) {
  service.SetPicture("gone", {404, "<html>not here</html>"});
  int status = 0;
  EXPECT_EQ(Get(service.Origin() + "img/gone", status), "<html>not here</html>");
  EXPECT_EQ(status, 404);
}

TEST_F(HttpGetTest, FollowsRedirectsToTheFinalBody) {
  service.SetPage("/hop1", 302, "moved", service.Origin() + "hop2");
  service.SetPage("/hop2", 301, "moved again", "/img/final");
  int status = 0;
  EXPECT_EQ(Get(service.Origin() + "hop1", status), FakeService::PictureBytes("final"));
  EXPECT_EQ(status, 200);
}

TEST_F(HttpGetTest, EndlessRedirectsEndWithoutAStatus) {
  service.SetPage("/loop", 302, "again", "/loop");
  int status = -1;
  Get(service.Origin() + "loop", status);
  EXPECT_EQ(status, 0);
  EXPECT_LE(service.Requests().size(), 12u);
}

TEST_F(HttpGetTest, NeverFollowsARedirectOutOfHttp) {
  service.SetPage("/to-file", 302, "see file", "file:///etc/passwd");
  int status = -1;
  const std::string body = Get(service.Origin() + "to-file", status);
  EXPECT_EQ(body.find("root:"), std::string::npos);
  EXPECT_EQ(status, 0);
}

TEST_F(HttpGetTest, CutsTheUrlAtItsFirstHash) {
  int status = 0;
  EXPECT_EQ(Get(service.Origin() + "img/h?x=1#frag with blanks", status), FakeService::PictureBytes("h"));
  ASSERT_EQ(service.Requests().size(), 1u);
  EXPECT_EQ(service.Requests()[0].target, "/img/h?x=1");
}

TEST_F(HttpGetTest, SendsCodePageBytesAsPercentEncodedUtf8) {
  int status = 0;
  Get(service.Origin() + "img/\xD6\xD0", status);  // 中
  ASSERT_EQ(service.Requests().size(), 1u);
  EXPECT_EQ(service.Requests()[0].target, "/img/%E4%B8%AD");
}

TEST_F(HttpGetTest, RefusesWhatIsNoHttpUrlWithoutARequest) {
  for (const std::string& url : {std::string("file:///etc/passwd"), std::string("ftp://127.0.0.1/x"),
                                std::string("127.0.0.1/img/x"), service.Origin() + "img/a b",
                                service.Origin() + "img/a\r\nX-Injected: 1", std::string("")}) {
    int status = -1;
    EXPECT_EQ(Get(url, status), "") << url;
    EXPECT_EQ(status, 0) << url;
  }
  EXPECT_TRUE(service.Requests().empty());
}

TEST_F(HttpGetTest, NoServerGivesNothing) {
  // A loopback port that was free a moment ago.
  const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  ASSERT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&address), size), 0);
  ASSERT_EQ(::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size), 0);
  const int port = ntohs(address.sin_port);
  ::close(probe);
  int status = -1;
  EXPECT_EQ(Get("http://127.0.0.1:" + std::to_string(port) + "/x", status), "");
  EXPECT_EQ(status, 0);
}

TEST_F(HttpGetTest, ReusesTheConnection) {
  service.KeepConnectionsOpen(true);
  int status = 0;
  Get(service.Origin() + "img/1", status);
  Get(service.Origin() + "img/2", status);
  const auto requests = service.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].remotePort, requests[1].remotePort);
}

TEST(HttpGetLimitTest, BodyOverTheLimitIsAFailedDownload) {
  httplib::Server server;
  server.Get("/huge", [](const httplib::Request&, httplib::Response& res) {
    const std::size_t length = 300u * 1024u * 1024u;
    res.set_content_provider(length, "image/webp",
                             [](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                               static const std::string chunk(64 * 1024, 'z');
                               return offset < 8u * 1024u * 1024u && sink.write(chunk.data(), chunk.size());
                             });
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  std::thread thread([&] { server.listen_after_bind(); });
  while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));

  int status = -1;
  const Bytes body = HttpGet(Text("http://127.0.0.1:" + std::to_string(port) + "/huge"), status);
  server.stop();
  thread.join();
  EXPECT_TRUE(body.empty());
  EXPECT_EQ(status, 0);
}

class HttpGetTlsTest : public ::testing::Test {
 protected:
  HttpGetTlsTest() : server(cert) {
    server.Routes().Get("/p", [](const httplib::Request&, httplib::Response& res) {
      res.set_header("Connection", "close");
      res.set_content("tls picture", "image/webp");
    });
    server.Start();
  }
  TestCert cert;
  HttpServer server;
};

TEST_F(HttpGetTlsTest, RefusesACertificateNobodyVouchesFor) {
  ScopedEnv noBundle("CURL_CA_BUNDLE", std::nullopt);
  ScopedEnv noFile("SSL_CERT_FILE", std::nullopt);
  int status = -1;
  EXPECT_TRUE(HttpGet(Text(server.Url("/p")), status).empty());
  EXPECT_EQ(status, 0);
}

TEST_F(HttpGetTlsTest, TrustsTheBundleTheEnvironmentNames) {
  for (const char* variable : {"CURL_CA_BUNDLE", "SSL_CERT_FILE"}) {
    ScopedEnv noBundle("CURL_CA_BUNDLE", std::nullopt);
    ScopedEnv bundle(variable, cert.CertFile());
    int status = -1;
    EXPECT_EQ(HttpGet(Text(server.Url("/p")), status).release(), "tls picture") << variable;
    EXPECT_EQ(status, 200) << variable;
  }
  // And the trust ends with the setting, although the handle lives on.
  ScopedEnv noBundle("CURL_CA_BUNDLE", std::nullopt);
  ScopedEnv noFile("SSL_CERT_FILE", std::nullopt);
  int status = -1;
  EXPECT_TRUE(HttpGet(Text(server.Url("/p")), status).empty());
}

}  // namespace
}  // namespace xhs::test
