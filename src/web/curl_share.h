// What both HTTP clients (WebRequest and HttpGet) share: the library's global
// initialisation, one share handle through which every transfer of the
// process reuses DNS answers and TLS sessions (connections are never shared:
// each call owns its easy handle and closes its connections with it), the
// trust store the environment names, and the encoding of URL bytes.
#pragma once

#include <curl/curl.h>

#include <string>
#include <string_view>

namespace xhs {

// True once curl_global_init has succeeded; it runs on the first call only
// (thread-safe). False for the life of the process when it failed.
bool CurlReady();

// The share handle (DNS cache and TLS sessions), created on the first call
// with its own locks so that transfers on several threads may use it; null
// when libcurl is not ready or the handle could not be made. Never freed.
CURLSH* CurlShare();

// The certificate file the environment names, as the curl tool reads it:
// CURL_CA_BUNDLE, else SSL_CERT_FILE; null when neither is set (or empty),
// which leaves libcurl's own trust store. Read on every call.
const char* CaFileFromEnvironment();

// text with every byte of 0x80 or above written as %XX (upper-case hex).
std::string PercentEncodeHighBytes(std::string_view text);

}  // namespace xhs
