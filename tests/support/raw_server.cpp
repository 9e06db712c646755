#include "support/raw_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

namespace xhs::test {
namespace {

constexpr int kSliceMs = 20;
constexpr auto kReadLimit = std::chrono::seconds(10);

// Waits up to one slice for the socket to become readable.
bool Readable(int socket) {
  pollfd entry{socket, POLLIN, 0};
  return poll(&entry, 1, kSliceMs) > 0;
}

std::size_t ContentLength(std::string_view head) {
  static constexpr std::string_view kName = "content-length:";
  std::size_t lineStart = 0;
  while (lineStart < head.size()) {
    std::size_t lineEnd = head.find("\r\n", lineStart);
    if (lineEnd == std::string_view::npos) lineEnd = head.size();
    const std::string_view line = head.substr(lineStart, lineEnd - lineStart);
    if (line.size() > kName.size()) {
      bool match = true;
      for (std::size_t i = 0; i < kName.size(); ++i) {
        const char c = line[i] >= 'A' && line[i] <= 'Z' ? static_cast<char>(line[i] + 32) : line[i];
        if (c != kName[i]) match = false;
      }
      if (match) return std::strtoul(std::string(line.substr(kName.size())).c_str(), nullptr, 10);
    }
    lineStart = lineEnd + 2;
  }
  return 0;
}

}  // namespace

RawConnection::~RawConnection() { Close(); }

std::string RawConnection::ReadRequest() {
  std::string bytes;
  std::size_t wanted = std::string::npos;  // known once the head is complete
  const auto deadline = std::chrono::steady_clock::now() + kReadLimit;
  while (socket_ >= 0 && !server_.Stopping() && std::chrono::steady_clock::now() < deadline) {
    if (wanted == std::string::npos) {
      const std::size_t headEnd = bytes.find("\r\n\r\n");
      if (headEnd != std::string::npos) wanted = headEnd + 4 + ContentLength(bytes.substr(0, headEnd + 2));
    }
    if (wanted != std::string::npos && bytes.size() >= wanted) break;
    if (!Readable(socket_)) continue;
    char buffer[16384];
    const ssize_t got = recv(socket_, buffer, sizeof buffer, 0);
    if (got <= 0) break;
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
  server_.Record(bytes);
  return bytes;
}

bool RawConnection::Write(std::string_view bytes) {
  while (socket_ >= 0 && !bytes.empty()) {
    const ssize_t sent = send(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return socket_ >= 0;
}

void RawConnection::Stall() {
  while (socket_ >= 0 && !server_.Stopping()) {
    if (!Readable(socket_)) continue;
    char buffer[4096];
    if (recv(socket_, buffer, sizeof buffer, 0) <= 0) return;  // the client closed
  }
}

void RawConnection::Reset() {
  if (socket_ < 0) return;
  linger option{1, 0};
  setsockopt(socket_, SOL_SOCKET, SO_LINGER, &option, sizeof option);
  close(socket_);
  socket_ = -1;
}

void RawConnection::Close() {
  if (socket_ < 0) return;
  // Unread bytes at close would turn the close into a reset: drop what came.
  shutdown(socket_, SHUT_WR);
  char buffer[4096];
  while (recv(socket_, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
  }
  close(socket_);
  socket_ = -1;
}

RawServer::RawServer(Handler handler) : handler_(std::move(handler)) {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) throw std::runtime_error("RawServer: no socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener_, 16) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(listener_);
    throw std::runtime_error("RawServer: cannot listen");
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

RawServer::~RawServer() {
  stopping_ = true;
  thread_.join();
  close(listener_);
}

RawServer::Handler RawServer::Reply(std::string response) {
  return [response = std::move(response)](RawConnection& connection) {
    connection.ReadRequest();
    connection.Write(response);
  };
}

std::string RawServer::Url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::vector<std::string> RawServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void RawServer::Record(std::string request) {
  std::lock_guard<std::mutex> lock(mutex_);
  requests_.push_back(std::move(request));
}

void RawServer::Serve() {
  while (!stopping_) {
    if (!Readable(listener_)) continue;
    const int socket = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (socket < 0) continue;
    ++connections_;
    RawConnection connection(*this, socket);
    handler_(connection);
  }
}

}  // namespace xhs::test
