#include "web/http_get.h"

#include <curl/curl.h>

#include <algorithm>
#include <mutex>
#include <string>

#include "codepage/codepage.h"
#include "web/curl_share.h"

namespace xhs {
namespace {

constexpr std::size_t kMaxBody = 256u * 1024u * 1024u;
constexpr const char* kUserAgent = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";

// The one handle every HttpGet reuses, with its fixed settings.
class PictureClient {
 public:
  PictureClient() {
    if (!CurlReady()) return;
    handle_ = curl_easy_init();
    if (handle_ != nullptr) {
      char* builtIn = nullptr;
      curl_easy_getinfo(handle_, CURLINFO_CAINFO, &builtIn);
      if (builtIn != nullptr) defaultCaFile_ = builtIn;
    }
    // "Keep-Alive" spelt as MSIE does: some servers keep an HTTP/1.0
    // connection open only for that exact spelling.
    for (const char* line : {"Accept: */*", "Pragma: no-cache", "Cache-Control: no-cache",
                             "Connection: Keep-Alive"}) {
      headers_ = curl_slist_append(headers_, line);
    }
  }
  ~PictureClient() {
    if (handle_ != nullptr) curl_easy_cleanup(handle_);
    curl_slist_free_all(headers_);
  }
  PictureClient(const PictureClient&) = delete;
  PictureClient& operator=(const PictureClient&) = delete;

  Bytes Get(const std::string& url, int& status) {
    std::lock_guard<std::mutex> lock(mutex_);
    status = 0;
    if (handle_ == nullptr || headers_ == nullptr) return {};
    Configure(url);
    body_ = Bytes();
    overflow_ = false;
    const CURLcode result = curl_easy_perform(handle_);
    Bytes body = std::move(body_);
    body_ = Bytes();
    if (overflow_ || result == CURLE_FILESIZE_EXCEEDED) return {};
    if (result != CURLE_OK) return body;
    long code = 0;
    curl_easy_getinfo(handle_, CURLINFO_RESPONSE_CODE, &code);
    status = static_cast<int>(code);
    return body;
  }

 private:
  static std::size_t Collect(char* data, std::size_t size, std::size_t count, void* self) {
    auto* client = static_cast<PictureClient*>(self);
    const std::size_t n = size * count;
    if (client->body_.size() + n > kMaxBody) {
      client->overflow_ = true;
      return 0;  // stops the transfer
    }
    if (client->body_.empty()) {
      // One allocation for the whole picture when the server says its size.
      curl_off_t expected = -1;
      if (curl_easy_getinfo(client->handle_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &expected) == CURLE_OK &&
          expected > 0) {
        client->body_.Reserve(std::min(static_cast<std::size_t>(expected), kMaxBody));
      }
    }
    client->body_.Append(data, n);
    return n;
  }

  void Configure(const std::string& url) {
    CURL* h = handle_;
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(h, CURLOPT_USERAGENT, kUserAgent);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers_);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L);
    if (CURLSH* share = CurlShare()) curl_easy_setopt(h, CURLOPT_SHARE, share);
    curl_easy_setopt(h, CURLOPT_PROXY, "");  // a direct connection, whatever the environment says
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    // Trust the bundle the environment names, as the curl tool does, else
    // the library's own; looked up on every call since the handle lives on.
    const char* caFile = CaFileFromEnvironment();
    if (caFile == nullptr && !defaultCaFile_.empty()) caFile = defaultCaFile_.c_str();
    curl_easy_setopt(h, CURLOPT_CAINFO, caFile);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, 30L);
    // A server that sends nothing for a minute ends the download.
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, 60L);
    curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxBody));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &PictureClient::Collect);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, this);
  }

  std::mutex mutex_;
  CURL* handle_ = nullptr;
  curl_slist* headers_ = nullptr;
  std::string defaultCaFile_;
  Bytes body_;
  bool overflow_ = false;
};

// The URL as it goes out: up to its first "#", bytes of 0x80 or above as
// percent-encoded UTF-8; "" when it is not http or https or holds a space or
// a control byte.
std::string WireUrl(const Text& url) {
  const int hash = FindText(url, "#");
  const Text kept = hash == -1 ? url : TextLeft(url, hash - 1);
  if (!TextEquals(TextLeft(kept, 7), "http://", true) && !TextEquals(TextLeft(kept, 8), "https://", true)) {
    return "";
  }
  const std::string utf8 = TextToUtf8(kept);
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F) return "";
  }
  return PercentEncodeHighBytes(utf8);
}

}  // namespace

Bytes HttpGet(const Text& url, int& status) {
  status = 0;
  const std::string wire = WireUrl(url);
  if (wire.empty()) return {};
  static PictureClient client;
  return client.Get(wire, status);
}

}  // namespace xhs
