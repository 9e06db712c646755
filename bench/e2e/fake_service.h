// A stand-in for the service on loopback: one plain HTTP listener and any
// number of HTTPS listeners, each connection served by its own thread with
// keep-alive (HTTP/1.1 by default, HTTP/1.0 when the request asks for it).
// An optional delay before each new connection is served and before each TLS
// handshake stands in for a real network's round trips.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

typedef struct ssl_ctx_st SSL_CTX;

namespace xhs::bench {

struct Response {
  int status = 200;
  std::string reason = "OK";
  std::string contentType = "text/html";
  std::string extraHeaders;  // lines each ending CR LF
  std::shared_ptr<const std::string> body;
};

struct ServiceCounters {
  int connections = 0;  // accepted
  int handshakes = 0;   // TLS handshakes completed
  int resumed = 0;      // of which resumed a TLS session
  int requests = 0;
  std::chrono::steady_clock::time_point firstRequest{};  // of the period; zero when none
};

// A self-signed certificate for 127.0.0.1 and localhost, PEM texts.
struct Certificate {
  std::string certPem;
  std::string keyPem;
};
Certificate MakeSelfSignedCertificate();

class FakeService {
 public:
  explicit FakeService(const Certificate& certificate);
  ~FakeService();
  FakeService(const FakeService&) = delete;
  FakeService& operator=(const FakeService&) = delete;

  // Opens a listener on a free loopback port and returns the port.
  int Listen(bool tls);
  // Routes are matched on the path without its query; set them before
  // clients come.
  void Route(const std::string& path, Response response);
  void SetDelays(std::chrono::milliseconds perConnection, std::chrono::milliseconds perHandshake);
  // The counters since the last call (which starts a new period).
  ServiceCounters TakeCounters();
  void Stop();

 private:
  struct Listener {
    int fd = -1;
    bool tls = false;
    std::thread thread;
  };
  void AcceptLoop(Listener* listener);
  void Serve(int fd, bool tls);
  const Response* Find(const std::string& path) const;
  void NoteRequest();

  SSL_CTX* ctx_ = nullptr;
  std::map<std::string, Response> routes_;
  std::vector<std::unique_ptr<Listener>> listeners_;
  std::atomic<bool> stopping_{false};
  std::atomic<int> delayConnectionMs_{0};
  std::atomic<int> delayHandshakeMs_{0};

  std::mutex mutex_;  // guards what follows
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  std::vector<Worker> workers_;
  std::vector<int> openFds_;
  ServiceCounters counters_;
};

}  // namespace xhs::bench
