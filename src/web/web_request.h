// WebRequest: the system's one general HTTP(S) request routine.
//
// One blocking call sends a request and reads the whole response. The
// parameters come in one struct, in their fixed order, meant for designated
// initializers:
//
//   Text status;
//   Text page = WebRequest({.url = link, .noRedirect = true, .statusText = &status});
//
// In/out and out parameters are pointers: a null pointer stands for an
// omitted argument (a scratch value nobody reads). Values the call does not
// write stay exactly as the caller passed them.
#pragma once

#include <functional>

#include "text/text.h"

namespace xhs {

struct WebRequestParams {
  Text url{};                      // absolute http or https address
  int method = 0;                  // 0 GET, 1 POST, 2 HEAD, 3 PUT, 4 OPTIONS, 5 DELETE,
                                   // 6 TRACE, 7 CONNECT; any other value GET
  Text bodyText{};                 // body as text, sent without terminator
  Text* cookie = nullptr;          // in/out: sent as the Cookie header; merged result
  Text* responseCookies = nullptr; // in/out: the response's cookies are appended
  Text requestHeaders{};           // caller's header lines, CR LF separated
  Text* responseHeaders = nullptr; // out: raw header block of the final response
  bool noRedirect = false;         // true: a 3xx response is returned itself
  Text userName{};                 // Basic credentials for the server (both non-empty)
  Text password{};
  Text proxy{};                    // "host:port"; empty: no proxy
  Text proxyUser{};                // Basic credentials for the proxy (both non-empty)
  Text proxyPassword{};
  int timeoutSeconds = 0;          // <= 0 means 30 seconds
  Text* location = nullptr;        // out: value of the last Location header
  Text* statusText = nullptr;      // out: "302 Found", or an error text "701 ..."
  Bytes* responseBody = nullptr;   // out: the body bytes
  bool mergeCookies = true;        // merge the response cookies into *cookie
  bool defaultHeaders = true;      // add the default lines the block lacks
  Bytes bodyBytes{};               // body as bytes; when non-empty it wins over bodyText
  bool normalizeHeaders = true;    // capitalise the header names of the block

  // Called after each response header line, after the charset step and at
  // the common exit, never while waiting. The window wires it to its
  // pending-events pump; it may start another WebRequest. Default: nothing.
  std::function<void()> processPendingEvents{};
};

// Sends the request and returns the response body as a Text (cut at its first
// zero byte, re-decoded to code page 936 when the page declares another
// charset in its first 1024 bytes); "" after every failure, with the error
// text ("701 解析URL地址失败!" ...) in *statusText.
Text WebRequest(const WebRequestParams& params);

}  // namespace xhs
