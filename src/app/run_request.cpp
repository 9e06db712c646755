#include "app/run_request.h"

#include <exception>

#include "web/web_request.h"

namespace xhs {

Text RunRequest(WindowLayer& window, const Text& url, Text* cookie, RunRequestOut out) {
  std::exception_ptr failure;
  WebRequestParams params;
  params.url = url;
  params.method = 0;
  params.cookie = cookie;
  params.noRedirect = true;
  params.location = out.location;
  params.statusText = out.statusText;
  params.processPendingEvents = [&window, &failure] {
    if (failure) return;
    try {
      window.ProcessPendingEvents();
    } catch (...) {
      failure = std::current_exception();
    }
  };
  Text page = WebRequest(params);
  if (failure) std::rethrow_exception(failure);
  return page;
}

}  // namespace xhs
