// The fixed values of the service a run talks to. Tests and the console's
// options point a run at another service by passing other values.
#pragma once

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

}  // namespace xhs
