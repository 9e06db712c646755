// HttpGet: the plain GET that fetches pictures.
#pragma once

#include "text/text.h"

namespace xhs {

// The body of an HTTP/1.0 GET of url, whatever the final status, following
// redirects (http and https only, at most 10). The part from the first "#"
// on is never sent; bytes of 0x80 or above go out percent-encoded as UTF-8.
// status receives the final HTTP status, or 0 when no response arrived or
// the transfer did not complete; in that case what arrived so far is
// returned. A body of more than 256 MiB gives status 0 and nothing. A URL
// that is not http or https, or holds a space or a control byte, gives 0
// and nothing without a request.
//
// Every call reuses one process-wide connection handle (so connections and
// TLS sessions are reused); calls from several threads take turns.
Bytes HttpGet(const Text& url, int& status);

}  // namespace xhs
