#include "web/web_request.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "codepage/charset.h"
#include "codepage/codepage.h"
#include "regex/regex_object.h"
#include "text/markers.h"
#include "web/cookies.h"
#include "web/curl_share.h"
#include "web/headers.h"

namespace xhs {
namespace {

// A longer body stops the read; what came before stays.
constexpr std::size_t kMaxBodyBytes = std::size_t{256} << 20;
constexpr long kMaxRedirects = 10;
constexpr const char* kWebProtocols = "http,https";

struct ErrorTexts {
  Text platform = Utf8ToText("700 当前系统不支持WinHttp服务!");
  Text url = Utf8ToText("701 解析URL地址失败!");
  Text session = Utf8ToText("702 创建WinHttp会话失败!");
  Text connection = Utf8ToText("703 创建WinHttp连接失败!");
  Text request = Utf8ToText("704 创建WinHttp请求失败!");
  Text timeouts = Utf8ToText("705 设置超时时间失败!");
  Text credentials = Utf8ToText("707 设置代理凭证失败!");
  Text security = Utf8ToText("忽略错误/证书错误  失败！");
  Text cookies = Utf8ToText("708 禁止自动设置Cookies失败!");
  Text redirects = Utf8ToText("709 重定向设置失败!");
  Text headers = Utf8ToText("710 设置协议头失败!");
  Text send = Utf8ToText("711 发送请求失败!");
  Text noResponse = Utf8ToText("712 服务器未响应!");
  Text read = Utf8ToText("713 读取数据失败!");
};

const ErrorTexts& Errors() {
  static const ErrorTexts texts;
  return texts;
}

struct DefaultHeader {
  const char* probe;
  const char* line;
  bool postOnly;
};

// Appended in this order when the probe (any case) occurs nowhere in the block.
constexpr DefaultHeader kDefaultHeaders[] = {
    {"User-Agent: ",
     "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n",
     false},
    {"Accept: ", "Accept: text/html, application/xhtml+xml, */*\r\n", false},
    {"Accept-Encoding: ", "Accept-Encoding: identity\r\n", false},
    {"Accept-Language: ", "Accept-Language: zh-cn\r\n", false},
    {"Content-Type:", "Content-Type: application/x-www-form-urlencoded\r\n", true},
    {"Cache-Control: ", "Cache-Control: no-cache\r\n", false},
};

constexpr const char* kVerbs[] = {"GET", "POST", "HEAD", "PUT", "OPTIONS", "DELETE", "TRACE", "CONNECT"};
constexpr int kPost = 1;
constexpr int kHead = 2;
constexpr int kPut = 3;

// Headers curl would add by itself, switched off by naming them without a
// value; a line of the block with the same name still goes out.
constexpr const char* kSuppressedCurlHeaders[] = {"Accept:", "Expect:", "Content-Type:",
                                                  "Proxy-Connection:"};

constexpr const char* kCharsetPattern = "<meta.+?charset=[^\\w]?([-\\w]+)";

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct UrlDeleter {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using UrlHandle = std::unique_ptr<CURLU, UrlDeleter>;
using HeaderList = std::unique_ptr<curl_slist, ListDeleter>;

// curl_easy_setopt with the value's type fixed, so that nothing narrower
// than a long reaches a long option through the variable argument list.
bool SetLong(CURL* easy, CURLoption option, long value) {
  return curl_easy_setopt(easy, option, value) == CURLE_OK;
}
bool SetSize(CURL* easy, CURLoption option, curl_off_t value) {
  return curl_easy_setopt(easy, option, value) == CURLE_OK;
}
bool SetString(CURL* easy, CURLoption option, const char* value) {
  return curl_easy_setopt(easy, option, value) == CURLE_OK;
}
bool SetPointer(CURL* easy, CURLoption option, void* value) {
  return curl_easy_setopt(easy, option, value) == CURLE_OK;
}
template <typename Function>
bool SetCallback(CURL* easy, CURLoption option, Function* function) {
  return curl_easy_setopt(easy, option, function) == CURLE_OK;
}

std::optional<std::string> UrlPart(CURLU* url, CURLUPart part) {
  char* value = nullptr;
  if (curl_url_get(url, part, &value, 0) != CURLUE_OK) return std::nullopt;
  std::string copy(value);
  curl_free(value);
  return copy;
}

// The address handed to curl: scheme (http or https only), host and port of
// url, then the object name, which is "/" when the path is empty (the query
// is then not sent), else the path and the query. A user name or password
// in url and its fragment are not sent. Characters outside ASCII go as the
// percent-encoded UTF-8 of the character (the host as UTF-8, for curl's
// IDN support). nullopt when url is empty, holds a blank or control byte,
// or does not parse.
std::optional<std::string> RequestAddress(const Text& url) {
  if (url.empty()) return std::nullopt;
  for (const char c : url.view()) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F) return std::nullopt;
  }
  const std::string utf8 = TextToUtf8(url);
  const std::size_t schemeEnd = utf8.find("://");
  if (schemeEnd == std::string::npos) return std::nullopt;
  std::size_t authorityEnd = utf8.find_first_of("/?#", schemeEnd + 3);
  if (authorityEnd == std::string::npos) authorityEnd = utf8.size();
  const bool emptyPath = authorityEnd == utf8.size() || utf8[authorityEnd] != '/';
  const std::string encoded =
      utf8.substr(0, authorityEnd) + PercentEncodeHighBytes(std::string_view(utf8).substr(authorityEnd));

  UrlHandle parsed(curl_url());
  if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, encoded.c_str(), CURLU_PATH_AS_IS) != CURLUE_OK) {
    return std::nullopt;
  }
  const std::optional<std::string> scheme = UrlPart(parsed.get(), CURLUPART_SCHEME);
  if (!scheme || (*scheme != "http" && *scheme != "https")) return std::nullopt;
  const std::optional<std::string> host = UrlPart(parsed.get(), CURLUPART_HOST);
  if (!host || host->empty()) return std::nullopt;

  std::string address = *scheme + "://" + *host;
  if (const std::optional<std::string> port = UrlPart(parsed.get(), CURLUPART_PORT)) address += ":" + *port;
  if (emptyPath) return address + "/";
  const std::optional<std::string> path = UrlPart(parsed.get(), CURLUPART_PATH);
  address += path ? *path : "/";
  if (const std::optional<std::string> query = UrlPart(parsed.get(), CURLUPART_QUERY)) address += "?" + *query;
  return address;
}

// The request header block: the caller's lines, the default lines the block
// lacks, name normalisation, keep-alive removal and the Cookie line.
Text BuildHeaderBlock(const WebRequestParams& params, int method, const Text& cookie) {
  Text block = params.requestHeaders.empty() ? Text() : params.requestHeaders + "\r\n";
  if (params.defaultHeaders) {
    for (const DefaultHeader& row : kDefaultHeaders) {
      if (row.postOnly && method != kPost) continue;
      if (FindText(block, row.probe, 1, true) == -1) block += row.line;
    }
  }
  if (params.normalizeHeaders) block = NormalizeHeaderNames(block);
  if (FindText(block, "Connection") != -1 && HeaderValue(block, "Connection") == Text("keep-alive")) {
    block = ReplaceText(block, "Connection: keep-alive\r\n", "");
  }
  if (FindText(block, "Cookie:", 1, true) == -1 && !cookie.empty()) {
    if (FindText(cookie, "Cookie:", 1, true) != -1) {
      block += "\r\n" + cookie + "\r\n";
    } else {
      block += "\r\nCookie: " + cookie + "\r\n";
    }
  }
  return block;
}

bool AppendLine(HeaderList& list, const std::string& line) {
  curl_slist* grown = curl_slist_append(list.get(), line.c_str());
  if (grown == nullptr) return false;
  static_cast<void>(list.release());
  list.reset(grown);
  return true;
}

// The block's lines as curl's request headers, the bytes unchanged (code
// page 936 stays 936 on the wire). Empty lines are skipped. A line whose
// value is blank goes in curl's form "Name;" so that it is still sent, as
// "Name:". A line without a name before its ":", without ":" at all, or
// holding a lone CR or LF cannot be sent as one header line: false.
bool ToCurlHeaders(const Text& block, HeaderList& list) {
  for (const Text& line : SplitText(block, "\r\n")) {
    const std::string_view bytes = line.view();
    if (bytes.empty()) continue;
    const std::size_t colon = bytes.find(':');
    if (colon == std::string_view::npos || colon == 0 ||
        bytes.find_first_of("\r\n") != std::string_view::npos) {
      return false;
    }
    const bool blankValue = bytes.find_first_not_of(" \t\v\f", colon + 1) == std::string_view::npos;
    if (!AppendLine(list, blankValue ? std::string(bytes.substr(0, colon)) + ";" : std::string(bytes))) {
      return false;
    }
  }
  for (const char* line : kSuppressedCurlHeaders) {
    if (!AppendLine(list, line)) return false;
  }
  return true;
}

// What one transfer collects; the callbacks only record, everything else
// runs after the transfer.
struct Transfer {
  using Clock = std::chrono::steady_clock;

  CURL* easy = nullptr;
  Clock::duration idleLimit{};
  bool followRedirects = false;

  bool armed = false;        // a request is out: the idle clock runs
  bool requestSent = false;  // a connection took a request
  Clock::time_point lastActivity = Clock::now();
  curl_off_t downloaded = 0;
  curl_off_t uploaded = 0;

  std::vector<Text> lines;  // header lines of the latest response, line ends cut
  bool headComplete = false;
  int status = 0;
  bool hasLocation = false;
  Bytes body;

  void Touch() { lastActivity = Clock::now(); }

  // The latest response is the one returned: its header block is complete
  // and it is neither interim nor a redirect curl goes on to follow.
  bool FinalHeadRead(CURLcode code) const {
    if (!headComplete || status < 200) return false;
    const bool followed = followRedirects && status >= 300 && status < 400 && hasLocation;
    return code == CURLE_OK || !followed;
  }
};

int StatusCode(std::string_view statusLine) {
  const std::size_t blank = statusLine.find(' ');
  if (blank == std::string_view::npos) return 0;
  int code = 0;
  for (std::size_t i = blank + 1; i < statusLine.size() && i < blank + 4; ++i) {
    if (statusLine[i] < '0' || statusLine[i] > '9') return 0;
    code = code * 10 + (statusLine[i] - '0');
  }
  return code;
}

std::size_t OnHeaderLine(char* data, std::size_t size, std::size_t count, void* user) {
  auto& transfer = *static_cast<Transfer*>(user);
  const std::size_t length = size * count;
  transfer.Touch();
  std::string_view line(data, length);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);

  // A status line after a complete block starts the next response (after
  // an interim 1xx or a followed redirect): only the last one is kept.
  const bool startsResponse =
      line.starts_with("HTTP/") && (transfer.lines.empty() || transfer.headComplete);
  if (startsResponse) {
    transfer.lines.clear();
    transfer.headComplete = false;
    transfer.hasLocation = false;
    transfer.body = Bytes();
    transfer.status = StatusCode(line);
  }
  if (transfer.headComplete || (transfer.lines.empty() && !startsResponse)) {
    return length;  // trailer fields after a chunked body
  }
  if (line.empty()) {
    transfer.headComplete = true;
    return length;
  }
  Text text{std::string(line)};
  if (TextEquals(TextLeft(text, 9), "Location:", true)) transfer.hasLocation = true;
  transfer.lines.push_back(std::move(text));
  return length;
}

std::size_t OnBodyChunk(char* data, std::size_t size, std::size_t count, void* user) {
  auto& transfer = *static_cast<Transfer*>(user);
  const std::size_t length = size * count;
  transfer.Touch();
  if (transfer.body.empty()) {
    curl_off_t expected = -1;
    if (curl_easy_getinfo(transfer.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &expected) == CURLE_OK &&
        expected > 0) {
      transfer.body.Reserve(std::min(static_cast<std::size_t>(expected), kMaxBodyBytes));
    }
  }
  const std::size_t room = kMaxBodyBytes - transfer.body.size();
  if (length > room) {
    transfer.body.Append(data, room);
    return CURL_WRITEFUNC_ERROR;  // ends the transfer
  }
  transfer.body.Append(data, length);
  return length;
}

// The idle time-out: the limit counts from the last byte that moved, in
// either direction, while a request is out.
int OnProgress(void* user, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t uploaded) {
  auto& transfer = *static_cast<Transfer*>(user);
  if (downloaded != transfer.downloaded || uploaded != transfer.uploaded) {
    transfer.downloaded = downloaded;
    transfer.uploaded = uploaded;
    transfer.Touch();
    return 0;
  }
  if (transfer.armed && Transfer::Clock::now() - transfer.lastActivity > transfer.idleLimit) {
    return 1;  // ends the transfer
  }
  return 0;
}

// A connection is ready and a request is about to go out on it.
int OnRequestReady(void* user, char*, char*, int, int) {
  auto& transfer = *static_cast<Transfer*>(user);
  transfer.armed = true;
  transfer.requestSent = true;
  transfer.Touch();
  return CURL_PREREQFUNC_OK;
}

// A new connection is being made (the connect time-out covers it).
int OnNewSocket(void* user, curl_socket_t, curlsocktype) {
  static_cast<Transfer*>(user)->armed = false;
  return CURL_SOCKOPT_OK;
}

}  // namespace

Text WebRequest(const WebRequestParams& params) {
  RegexObject charsetSearch;
  const ErrorTexts& errors = Errors();

  Text scratchStatus, scratchHeaders, scratchResponseCookies, scratchCookie, scratchLocation;
  Bytes scratchBody;
  Text& statusText = params.statusText ? *params.statusText : scratchStatus;
  Text& responseHeaders = params.responseHeaders ? *params.responseHeaders : scratchHeaders;
  Text& responseCookies = params.responseCookies ? *params.responseCookies : scratchResponseCookies;
  Text& cookie = params.cookie ? *params.cookie : scratchCookie;
  Text& location = params.location ? *params.location : scratchLocation;
  Bytes& responseBody = params.responseBody ? *params.responseBody : scratchBody;

  const auto processEvents = [&params] {
    if (params.processPendingEvents) params.processPendingEvents();
  };
  // The common exit of a failure: pending events, then the empty result.
  const auto fail = [&](const Text& error) {
    statusText = error;
    processEvents();
    return Text();
  };
  // The early return: the empty result at once.
  const auto stop = [&](const Text& error) {
    statusText = error;
    return Text();
  };

  if (!CurlReady()) return stop(errors.platform);
  const std::optional<std::string> address = RequestAddress(params.url);
  if (!address) return fail(errors.url);

  EasyHandle handle(curl_easy_init());
  if (!handle) return fail(errors.session);
  CURL* const easy = handle.get();
  Transfer transfer;
  transfer.easy = easy;
  transfer.followRedirects = !params.noRedirect;

  // Session: the shared DNS and TLS-session cache, http and https only, the
  // proxy (or none, whatever the environment says).
  std::string proxy;
  if (!params.proxy.empty()) {
    proxy = params.proxy.str();
    if (!TextEquals(TextLeft(params.proxy, 7), "http://", true)) proxy = "http://" + proxy;
  }
  CURLSH* const share = CurlShare();
  const bool sessionSet =
      SetLong(easy, CURLOPT_NOSIGNAL, 1L) && (share == nullptr || SetPointer(easy, CURLOPT_SHARE, share)) &&
      SetString(easy, CURLOPT_PROTOCOLS_STR, kWebProtocols) && SetString(easy, CURLOPT_PROXY, proxy.c_str()) &&
      SetString(easy, CURLOPT_NOPROXY, "") && SetLong(easy, CURLOPT_PROXYTYPE, CURLPROXY_HTTP) &&
      SetLong(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  if (!sessionSet) return fail(errors.session);

  // Time-outs: connecting (DNS, TCP, TLS, proxy tunnel) and the idle limit.
  const long timeoutMs = params.timeoutSeconds > 0 ? static_cast<long>(params.timeoutSeconds) * 1000L : 30000L;
  transfer.idleLimit = std::chrono::milliseconds(timeoutMs);
  if (!SetLong(easy, CURLOPT_CONNECTTIMEOUT_MS, timeoutMs)) return fail(errors.timeouts);

  if (!SetString(easy, CURLOPT_URL, address->c_str())) return fail(errors.connection);

  // Request: HTTP/1.1, the verb, the body, no decoding, the collectors.
  const int method = params.method >= 0 && params.method <= 7 ? params.method : 0;
  const Bytes bodyFromText = params.bodyBytes.empty() ? TextToBytes(params.bodyText) : Bytes();
  const Bytes& body = params.bodyBytes.empty() ? bodyFromText : params.bodyBytes;
  const void* const bodyData = body.empty() ? static_cast<const void*>("") : body.data();
  bool requestSet = SetLong(easy, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1) &&
                    SetLong(easy, CURLOPT_PATH_AS_IS, 1L) && SetLong(easy, CURLOPT_HTTP_CONTENT_DECODING, 0L) &&
                    SetCallback(easy, CURLOPT_HEADERFUNCTION, OnHeaderLine) &&
                    SetPointer(easy, CURLOPT_HEADERDATA, &transfer) &&
                    SetCallback(easy, CURLOPT_WRITEFUNCTION, OnBodyChunk) &&
                    SetPointer(easy, CURLOPT_WRITEDATA, &transfer) &&
                    SetCallback(easy, CURLOPT_XFERINFOFUNCTION, OnProgress) &&
                    SetPointer(easy, CURLOPT_XFERINFODATA, &transfer) && SetLong(easy, CURLOPT_NOPROGRESS, 0L) &&
                    SetCallback(easy, CURLOPT_PREREQFUNCTION, OnRequestReady) &&
                    SetPointer(easy, CURLOPT_PREREQDATA, &transfer) &&
                    SetCallback(easy, CURLOPT_SOCKOPTFUNCTION, OnNewSocket) &&
                    SetPointer(easy, CURLOPT_SOCKOPTDATA, &transfer);
  if (requestSet && method == kHead) {
    requestSet = SetLong(easy, CURLOPT_NOBODY, 1L);  // HEAD never carries a body
  } else if (requestSet && (!body.empty() || method == kPost || method == kPut)) {
    requestSet = SetSize(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size())) &&
                 SetPointer(easy, CURLOPT_POSTFIELDS, const_cast<void*>(bodyData)) &&
                 (method == kPost || SetString(easy, CURLOPT_CUSTOMREQUEST, kVerbs[method]));
  } else if (requestSet && method != 0) {
    requestSet = SetString(easy, CURLOPT_CUSTOMREQUEST, kVerbs[method]);
  }
  if (!requestSet) return fail(errors.request);

  // Credentials, sent with the first request: each pair only when complete.
  if (!params.userName.empty() && !params.password.empty()) {
    if (!SetLong(easy, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC)) ||
        !SetString(easy, CURLOPT_USERNAME, params.userName.c_str()) ||
        !SetString(easy, CURLOPT_PASSWORD, params.password.c_str())) {
      return stop(errors.credentials);
    }
  }
  if (!params.proxyUser.empty() && !params.proxyPassword.empty()) {
    if (!SetLong(easy, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC)) ||
        !SetString(easy, CURLOPT_PROXYUSERNAME, params.proxyUser.c_str()) ||
        !SetString(easy, CURLOPT_PROXYPASSWORD, params.proxyPassword.c_str())) {
      return stop(errors.credentials);
    }
  }

  // Certificates are verified, against the trust store the environment names
  // when it names one. curl's cookie engine is never switched on.
  const char* caFile = CaFileFromEnvironment();
  if (!SetLong(easy, CURLOPT_SSL_VERIFYPEER, 1L) || !SetLong(easy, CURLOPT_SSL_VERIFYHOST, 2L) ||
      (caFile != nullptr && !SetString(easy, CURLOPT_CAINFO, caFile))) {
    return stop(errors.security);
  }
  if (!SetLong(easy, CURLOPT_FOLLOWLOCATION, params.noRedirect ? 0L : 1L) ||
      !SetLong(easy, CURLOPT_MAXREDIRS, kMaxRedirects) ||
      !SetString(easy, CURLOPT_REDIR_PROTOCOLS_STR, kWebProtocols)) {
    return stop(errors.redirects);
  }

  HeaderList headerList;
  const Text block = BuildHeaderBlock(params, method, cookie);
  if (!ToCurlHeaders(block, headerList) || !SetPointer(easy, CURLOPT_HTTPHEADER, headerList.get())) {
    return fail(errors.headers);
  }

  const CURLcode code = curl_easy_perform(easy);
  if (!transfer.FinalHeadRead(code)) {
    const bool notSent = !transfer.requestSent || (code == CURLE_SEND_ERROR && transfer.lines.empty());
    return fail(notSent ? errors.send : errors.noResponse);
  }
  Text rawHeaders;
  for (const Text& line : transfer.lines) rawHeaders += line + "\r\n";
  responseHeaders = rawHeaders + "\r\n";
  // A read that stopped early (failure, idle time-out or a body over the
  // limit) keeps what came as the body, and says so: the status line's text
  // would report a cut-short body as a success.
  const int statusEnd = FindText(responseHeaders, "\r\n", 10);
  statusText = code != CURLE_OK ? errors.read : TextMid(responseHeaders, 10, statusEnd - 10);

  for (const Text& line : SplitText(responseHeaders, "\r\n")) {
    if (TextLeftOf(line, ": ") == Text("Set-Cookie")) {
      const Text item = FindText(line, ";") != -1 ? TextBetween(line, "Set-Cookie:", ";")
                                                 : ReplaceText(line, "Set-Cookie:", "", true);
      responseCookies = responseCookies + TrimSpaces(item) + "; ";
    }
    if (TextEquals(TextLeft(line, 10), "Location: ", true)) {
      location = TextMid(line, 11, TextLength(line) - 10);
    }
    processEvents();
  }
  if (TextRight(responseCookies, 2) == Text("; ")) {
    responseCookies = TextLeft(responseCookies, TextLength(responseCookies) - 2);
  }
  if (params.mergeCookies && !cookie.empty()) responseCookies = MergeCookies(cookie, responseCookies);

  // The body's text is the body up to its first zero byte. A page declaring
  // another charset than code page 936 in its first 1024 bytes is decoded
  // again; an unknown charset keeps the text as read. The body is moved, not
  // copied, into whichever of the text and responseBody needs it last.
  Bytes& received = transfer.body;
  Text result;
  bool decoded = false;
  if (charsetSearch.Search(kCharsetPattern, BytesToText(BytesLeft(received, 1024)))) {
    const Text charset = charsetSearch.SubMatchText(1, 1);
    if (!charset.empty() && charset != Text("gbk") && charset != Text("gb2312")) {
      std::u16string units;
      decoded = DecodeCharset(received, charset, units);
      if (decoded) result = Utf16StringToText(units);
    }
  }
  if (!decoded) result = params.responseBody ? BytesToText(received) : BytesToText(std::move(received));
  responseBody = std::move(received);
  processEvents();

  // Common exit.
  processEvents();
  return result;
}

}  // namespace xhs
