#include "web/curl_share.h"

#include <cstdlib>

#include <array>
#include <mutex>

namespace xhs {
namespace {

struct Shared {
  bool ready = false;
  CURLSH* share = nullptr;
  std::array<std::mutex, CURL_LOCK_DATA_LAST> locks;
};

void Lock(CURL*, curl_lock_data data, curl_lock_access, void* user) {
  static_cast<Shared*>(user)->locks[static_cast<std::size_t>(data)].lock();
}

void Unlock(CURL*, curl_lock_data data, void* user) {
  static_cast<Shared*>(user)->locks[static_cast<std::size_t>(data)].unlock();
}

Shared* MakeShared() {
  auto* shared = new Shared;  // lives as long as the process
  shared->ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  if (!shared->ready) return shared;
  CURLSH* share = curl_share_init();
  if (share == nullptr) return shared;
  if (curl_share_setopt(share, CURLSHOPT_USERDATA, shared) != CURLSHE_OK ||
      curl_share_setopt(share, CURLSHOPT_LOCKFUNC, Lock) != CURLSHE_OK ||
      curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, Unlock) != CURLSHE_OK ||
      curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS) != CURLSHE_OK ||
      curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION) != CURLSHE_OK) {
    curl_share_cleanup(share);
    return shared;
  }
  shared->share = share;
  return shared;
}

Shared& TheShared() {
  static Shared* const shared = MakeShared();
  return *shared;
}

}  // namespace

bool CurlReady() { return TheShared().ready; }

CURLSH* CurlShare() { return TheShared().share; }

const char* CaFileFromEnvironment() {
  for (const char* name : {"CURL_CA_BUNDLE", "SSL_CERT_FILE"}) {
    const char* file = std::getenv(name);
    if (file != nullptr && file[0] != '\0') return file;
  }
  return nullptr;
}

std::string PercentEncodeHighBytes(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    }
  }
  return out;
}

}  // namespace xhs
