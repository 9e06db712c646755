// HttpServer: a cpp-httplib server on 127.0.0.1 at a free port, over HTTP
// or HTTPS, for ordinary answers. Register routes, then Start():
//
//   HttpServer server;
//   server.Routes().Get("/", [](const httplib::Request&, httplib::Response& res) {
//     res.set_content("ok", "text/plain");
//   });
//   server.Start();
#pragma once

#include <httplib.h>

#include <memory>
#include <string>
#include <string_view>
#include <thread>

namespace xhs::test {

class TestCert;

class HttpServer {
 public:
  HttpServer();                               // plain HTTP
  explicit HttpServer(const TestCert& cert);  // HTTPS with that certificate
  // Stops the server and joins its thread.
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  httplib::Server& Routes() { return *server_; }
  // Binds a free port and serves on a thread; returns once it listens.
  // Throws std::runtime_error when it cannot.
  void Start();

  int Port() const { return port_; }
  // "http://127.0.0.1:<port>" (or https) followed by path.
  std::string Url(std::string_view path = "/") const;

 private:
  std::unique_ptr<httplib::Server> server_;
  bool secure_ = false;
  int port_ = 0;
  std::thread thread_;
};

}  // namespace xhs::test
