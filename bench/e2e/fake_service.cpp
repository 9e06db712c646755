#include "fake_service.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace xhs::bench {
namespace {

std::string PemOf(X509* cert) {
  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_X509(bio, cert);
  char* data = nullptr;
  const long n = BIO_get_mem_data(bio, &data);
  std::string pem(data, static_cast<std::size_t>(n));
  BIO_free(bio);
  return pem;
}

std::string PemOf(EVP_PKEY* key) {
  BIO* bio = BIO_new(BIO_s_mem());
  PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
  char* data = nullptr;
  const long n = BIO_get_mem_data(bio, &data);
  std::string pem(data, static_cast<std::size_t>(n));
  BIO_free(bio);
  return pem;
}

void AddExtension(X509* cert, int nid, const char* value) {
  X509V3_CTX v3;
  X509V3_set_ctx_nodb(&v3);
  X509V3_set_ctx(&v3, cert, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &v3, nid, value);
  if (!ext) throw std::runtime_error("certificate extension refused");
  X509_add_ext(cert, ext, -1);
  X509_EXTENSION_free(ext);
}

// One connection's byte stream, plain or TLS.
class Stream {
 public:
  Stream(int fd, SSL* ssl) : fd_(fd), ssl_(ssl) {}
  long Read(char* buffer, std::size_t n) {
    if (ssl_) {
      const int got = SSL_read(ssl_, buffer, static_cast<int>(n));
      return got > 0 ? got : -1;
    }
    const ssize_t got = ::recv(fd_, buffer, n, 0);
    return got > 0 ? got : -1;
  }
  bool Write(const char* data, std::size_t n) {
    while (n > 0) {
      const std::size_t chunk = std::min<std::size_t>(n, 1 << 20);
      long put;
      if (ssl_) {
        put = SSL_write(ssl_, data, static_cast<int>(chunk));
      } else {
        put = ::send(fd_, data, chunk, MSG_NOSIGNAL);
      }
      if (put <= 0) return false;
      data += put;
      n -= static_cast<std::size_t>(put);
    }
    return true;
  }

 private:
  int fd_;
  SSL* ssl_;
};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return s;
}

// The value of header name (lower case) in the request head, "" when absent.
std::string HeaderOf(const std::string& head, const std::string& name) {
  const std::string lower = Lower(head);
  const std::string key = "\r\n" + name + ":";
  const std::size_t at = lower.find(key);
  if (at == std::string::npos) return {};
  std::size_t from = at + key.size();
  const std::size_t end = lower.find("\r\n", from);
  while (from < end && lower[from] == ' ') ++from;
  return lower.substr(from, end - from);
}

}  // namespace

Certificate MakeSelfSignedCertificate() {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  if (!key) throw std::runtime_error("no key");
  X509* cert = X509_new();
  X509_set_version(cert, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
  X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert), 7 * 24 * 3600);
  X509_set_pubkey(cert, key);
  X509_NAME* name = X509_get_subject_name(cert);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
  X509_set_issuer_name(cert, name);
  AddExtension(cert, NID_basic_constraints, "critical,CA:TRUE");
  AddExtension(cert, NID_key_usage, "critical,digitalSignature,keyCertSign");
  AddExtension(cert, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost");
  AddExtension(cert, NID_subject_key_identifier, "hash");
  if (X509_sign(cert, key, EVP_sha256()) == 0) throw std::runtime_error("signing failed");
  Certificate out{PemOf(cert), PemOf(key)};
  X509_free(cert);
  EVP_PKEY_free(key);
  return out;
}

FakeService::FakeService(const Certificate& certificate) {
  ctx_ = SSL_CTX_new(TLS_server_method());
  SSL_CTX_set_min_proto_version(ctx_, TLS1_2_VERSION);
  BIO* certBio = BIO_new_mem_buf(certificate.certPem.data(), static_cast<int>(certificate.certPem.size()));
  BIO* keyBio = BIO_new_mem_buf(certificate.keyPem.data(), static_cast<int>(certificate.keyPem.size()));
  X509* cert = PEM_read_bio_X509(certBio, nullptr, nullptr, nullptr);
  EVP_PKEY* key = PEM_read_bio_PrivateKey(keyBio, nullptr, nullptr, nullptr);
  const bool ok = cert && key && SSL_CTX_use_certificate(ctx_, cert) == 1 &&
                  SSL_CTX_use_PrivateKey(ctx_, key) == 1;
  X509_free(cert);
  EVP_PKEY_free(key);
  BIO_free(certBio);
  BIO_free(keyBio);
  if (!ok) throw std::runtime_error("the certificate does not load");
  SSL_CTX_set_session_cache_mode(ctx_, SSL_SESS_CACHE_SERVER);
  static const unsigned char kContext[] = "xhs-bench";
  SSL_CTX_set_session_id_context(ctx_, kContext, sizeof kContext - 1);
}

FakeService::~FakeService() {
  Stop();
  SSL_CTX_free(ctx_);
}

int FakeService::Listen(bool tls) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 128) != 0) {
    ::close(fd);
    throw std::runtime_error("cannot listen on loopback");
  }
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  auto listener = std::make_unique<Listener>();
  listener->fd = fd;
  listener->tls = tls;
  Listener* raw = listener.get();
  listener->thread = std::thread([this, raw] { AcceptLoop(raw); });
  listeners_.push_back(std::move(listener));
  return ntohs(address.sin_port);
}

void FakeService::Route(const std::string& path, Response response) {
  routes_[path] = std::move(response);
}

void FakeService::SetDelays(std::chrono::milliseconds perConnection,
                            std::chrono::milliseconds perHandshake) {
  delayConnectionMs_ = static_cast<int>(perConnection.count());
  delayHandshakeMs_ = static_cast<int>(perHandshake.count());
}

ServiceCounters FakeService::TakeCounters() {
  std::lock_guard lock(mutex_);
  ServiceCounters out = counters_;
  counters_ = {};
  return out;
}

void FakeService::Stop() {
  if (stopping_.exchange(true)) return;
  for (auto& listener : listeners_) ::shutdown(listener->fd, SHUT_RDWR);
  for (auto& listener : listeners_) {
    if (listener->thread.joinable()) listener->thread.join();
    ::close(listener->fd);
  }
  std::vector<Worker> workers;
  {
    std::lock_guard lock(mutex_);
    for (int fd : openFds_) ::shutdown(fd, SHUT_RDWR);
    workers.swap(workers_);
  }
  for (auto& worker : workers) worker.thread.join();
}

void FakeService::AcceptLoop(Listener* listener) {
  while (!stopping_) {
    const int fd = ::accept4(listener->fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (stopping_ || errno == EINVAL) return;
      continue;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    timeval timeout{30, 0};  // a client that goes silent does not hold a thread for ever
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    std::lock_guard lock(mutex_);
    ++counters_.connections;
    openFds_.push_back(fd);
    // Join the workers whose connections have ended, so that threads do not pile up.
    auto finished = std::partition(workers_.begin(), workers_.end(),
                                   [](const Worker& w) { return !w.done->load(); });
    for (auto it = finished; it != workers_.end(); ++it) it->thread.join();
    workers_.erase(finished, workers_.end());
    auto done = std::make_shared<std::atomic<bool>>(false);
    workers_.push_back({std::thread([this, fd, tls = listener->tls, done] {
                          Serve(fd, tls);
                          *done = true;
                        }),
                        done});
  }
}

const Response* FakeService::Find(const std::string& path) const {
  auto it = routes_.find(path);
  return it == routes_.end() ? nullptr : &it->second;
}

void FakeService::NoteRequest() {
  std::lock_guard lock(mutex_);
  if (counters_.requests++ == 0) counters_.firstRequest = std::chrono::steady_clock::now();
}

void FakeService::Serve(int fd, bool tls) {
  if (const int ms = delayConnectionMs_; ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  SSL* ssl = nullptr;
  bool ok = true;
  if (tls) {
    if (const int ms = delayHandshakeMs_; ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    ssl = SSL_new(ctx_);
    SSL_set_fd(ssl, fd);
    ok = SSL_accept(ssl) == 1;
    if (ok) {
      std::lock_guard lock(mutex_);
      ++counters_.handshakes;
      if (SSL_session_reused(ssl)) ++counters_.resumed;
    }
  }
  Stream stream(fd, ssl);
  std::string buffer;
  char chunk[16384];
  while (ok && !stopping_) {
    std::size_t end;
    while ((end = buffer.find("\r\n\r\n")) == std::string::npos) {
      if (buffer.size() > 65536) break;
      const long got = stream.Read(chunk, sizeof chunk);
      if (got <= 0) break;
      buffer.append(chunk, static_cast<std::size_t>(got));
    }
    if (end == std::string::npos) break;
    const std::string head = buffer.substr(0, end + 2);
    buffer.erase(0, end + 4);
    NoteRequest();
    // Request line: METHOD SP target SP HTTP/x.y
    const std::size_t sp1 = head.find(' ');
    const std::size_t sp2 = head.find(' ', sp1 + 1);
    const std::size_t eol = head.find("\r\n");
    if (sp1 == std::string::npos || sp2 == std::string::npos || sp2 > eol) break;
    const std::string method = head.substr(0, sp1);
    std::string target = head.substr(sp1 + 1, sp2 - sp1 - 1);
    const bool http10 = head.compare(sp2 + 1, eol - sp2 - 1, "HTTP/1.0") == 0;
    const std::string connection = HeaderOf(head, "connection");
    const bool keepAlive = http10 ? connection.find("keep-alive") != std::string::npos
                                  : connection.find("close") == std::string::npos;
    const std::string path = target.substr(0, target.find('?'));
    static const Response kNotFound{404, "Not Found", "text/plain", "",
                                    std::make_shared<const std::string>("not found\n")};
    const Response* response = Find(path);
    if (!response) response = &kNotFound;
    const std::string& body = *response->body;
    std::string reply = "HTTP/1.1 " + std::to_string(response->status) + " " + response->reason +
                        "\r\nServer: xhs-bench\r\nContent-Type: " + response->contentType +
                        "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" +
                        response->extraHeaders +
                        (keepAlive ? "Connection: keep-alive\r\n" : "Connection: close\r\n") + "\r\n";
    if (method != "HEAD" && body.size() <= 65536) {
      reply += body;
      ok = stream.Write(reply.data(), reply.size());
    } else {
      ok = stream.Write(reply.data(), reply.size()) &&
           (method == "HEAD" || stream.Write(body.data(), body.size()));
    }
    if (!keepAlive) break;
  }
  if (ssl) {
    if (ok) SSL_shutdown(ssl);
    SSL_free(ssl);
  }
  std::lock_guard lock(mutex_);
  openFds_.erase(std::remove(openFds_.begin(), openFds_.end(), fd), openFds_.end());
  ::close(fd);
}

}  // namespace xhs::bench
