// RawServer: a tiny TCP server on 127.0.0.1 for answers no ordinary server
// gives: exact bytes, a stall, a reset or a close in the middle.
//
//   RawServer server(RawServer::Reply("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"));
//   ... request server.Url("/path") ...
//   EXPECT_EQ(server.Requests().at(0), "GET /path HTTP/1.1\r\n...");
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace xhs::test {

class RawServer;

// One accepted connection, handed to the server's handler. Every wait ends
// when the server stops, so a handler never outlives its server.
class RawConnection {
 public:
  RawConnection(RawServer& server, int socket) : server_(server), socket_(socket) {}
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;
  ~RawConnection();

  // Reads one request: the head up to its blank line, then as many body
  // bytes as its Content-Length names. Returns the bytes and records them
  // in the server's Requests(); less when the client closes or 10 s pass.
  std::string ReadRequest();
  // Sends all bytes; false when the client is gone.
  bool Write(std::string_view bytes);
  // Answers nothing until the client closes or the server stops.
  void Stall();
  // Ends the connection with a TCP reset.
  void Reset();
  // Ends the connection normally (also done after the handler returns).
  void Close();

 private:
  RawServer& server_;
  int socket_;
};

class RawServer {
 public:
  using Handler = std::function<void(RawConnection&)>;

  // Listens on 127.0.0.1 at a free port and serves the connections one
  // after another on its own thread. Throws std::runtime_error when it
  // cannot listen.
  explicit RawServer(Handler handler);
  // Stops serving (ending a stalled handler) and joins the thread.
  ~RawServer();
  RawServer(const RawServer&) = delete;
  RawServer& operator=(const RawServer&) = delete;

  // A handler that reads the request, writes response and closes.
  static Handler Reply(std::string response);

  int Port() const { return port_; }
  // "http://127.0.0.1:<port>" followed by path.
  std::string Url(std::string_view path = "/") const;
  // The requests ReadRequest read so far, in order.
  std::vector<std::string> Requests() const;
  // The connections accepted so far.
  int ConnectionCount() const { return connections_.load(); }
  bool Stopping() const { return stopping_.load(); }

 private:
  friend class RawConnection;
  void Serve();
  void Record(std::string request);

  Handler handler_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> connections_{0};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

}  // namespace xhs::test
