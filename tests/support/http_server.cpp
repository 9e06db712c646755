#include "support/http_server.h"

#include <chrono>
#include <stdexcept>

#include "support/test_cert.h"

namespace xhs::test {

HttpServer::HttpServer() : server_(std::make_unique<httplib::Server>()) {}

HttpServer::HttpServer(const TestCert& cert)
    : server_(std::make_unique<httplib::SSLServer>(cert.CertFile().c_str(), cert.KeyFile().c_str())),
      secure_(true) {
  if (!server_->is_valid()) throw std::runtime_error("HttpServer: certificate refused");
}

HttpServer::~HttpServer() {
  if (thread_.joinable()) {
    server_->stop();
    thread_.join();
  }
}

void HttpServer::Start() {
  port_ = server_->bind_to_any_port("127.0.0.1");
  if (port_ <= 0) throw std::runtime_error("HttpServer: cannot bind");
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  // cpp-httplib 0.11 has no wait_until_ready().
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!server_->is_running()) {
    if (std::chrono::steady_clock::now() > deadline) throw std::runtime_error("HttpServer: not running");
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

std::string HttpServer::Url(std::string_view path) const {
  return std::string(secure_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

}  // namespace xhs::test
