// The second way to a note's pictures, for note pages whose picture entries
// carry no identifier: follow the link's redirects to the note page and take
// the pictures from its "urlDefault" addresses.
#pragma once

#include <string>
#include <vector>

#include "app/service.h"
#include "app/window_layer.h"
#include "text/text.h"

namespace xhs {

struct AddressPictures {
  std::vector<Text> tokens;  // picture tokens, in page order, each once
  std::string reason;        // UTF-8, one line: why there are none, when the
                             // service said so (login, captcha, home page); else ""
};

// Takes the first http or https link of editText, requests it and follows up
// to 10 redirects (the Location header, else the body's href target, relative
// targets resolved, http and https only), sending the note cookie only to the
// web origin. The page reached is the note page; its picture tokens are the
// result. No link, a failed request, too many redirects or a redirect to a
// login, captcha or the bare web origin give no tokens.
AddressPictures FindPicturesByAddress(WindowLayer& window, const ServiceEndpoints& service,
                                      const Text& editText);

}  // namespace xhs
