// The process-wide libcurl pieces: the library's global initialisation and
// one share handle through which every transfer of the process reuses DNS
// answers and TLS sessions. Connections are never shared: each call owns its
// easy handle and closes its connections with it.
#pragma once

#include <curl/curl.h>

namespace xhs {

// True once curl_global_init has succeeded; it runs on the first call only
// (thread-safe). False for the life of the process when it failed.
bool CurlReady();

// The share handle (DNS cache and TLS sessions), created on the first call
// with its own locks so that transfers on several threads may use it; null
// when libcurl is not ready or the handle could not be made. Never freed.
CURLSH* CurlShare();

}  // namespace xhs
