// The fixed values of the service a run talks to. Tests and the console's
// options point a run at another service by passing other values.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "text/text.h"

namespace xhs {

struct ServiceEndpoints {
  Text webOrigin;            // "https://www.xiaohongshu.com/", ends in "/"
  Text imageOrigin;          // "https://sns-img-qc.xhscdn.com/", ends in "/"
  Text originalImageOrigin;  // "https://ci.xiaohongshu.com/", ends in "/"
  Text noteCookie;           // the Cookie header value sent with the note page
};

// The built-in values.
ServiceEndpoints DefaultServiceEndpoints();

// The names of the note cookie's items, in the order they are sent.
const std::vector<std::string>& NoteCookieNames();

// Puts the values of a user's cookie string (as a browser shows it:
// "name=value; name=value", optionally after "Cookie:") into noteCookie,
// keeping noteCookie's names and their order; names that noteCookie lacks
// are ignored. Blanks and line breaks around the string are dropped.
// False, with noteCookie untouched and a one-line reason in error,
// when the string holds a line break, another control byte or a non-ASCII
// byte, or holds no item at all. When none of its names is one of
// noteCookie's, warning says so (the call still succeeds).
bool MergeUserCookie(Text& noteCookie, std::string_view userCookie, std::string& error,
                     std::string& warning);

// Where the user's cookie file lives: $XDG_CONFIG_HOME/xhs-saver/cookie
// (XDG_CONFIG_HOME set and absolute), else $HOME/.config/xhs-saver/cookie;
// "" when neither variable helps.
std::string DefaultCookieFilePath();

struct CookieFileResult {
  bool used = false;                  // the file was read and merged
  bool refused = false;               // the file exists (or was named) but is unusable
  std::string error;                  // why it was refused: one line, names the file
  std::vector<std::string> warnings;  // e.g. readable by group or others
};

// Reads the cookie file at path and merges it into service.noteCookie with
// MergeUserCookie. A missing file is refused only when required (a file the
// user named); otherwise nothing happens. On refusal service is untouched.
// Files of more than 64 KiB and anything but a regular file are refused.
CookieFileResult LoadCookieFile(ServiceEndpoints& service, const std::string& path, bool required);

}  // namespace xhs
