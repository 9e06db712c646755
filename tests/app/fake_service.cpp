#include "fake_service.h"

#include <chrono>
#include <stdexcept>

namespace xhs::test {

FakeService::FakeService() {
  // A note cookie of the usual shape with values unlike the built-in ones.
  std::string cookie;
  for (const std::string& name : NoteCookieNames()) {
    if (!cookie.empty()) cookie += "; ";
    cookie += name + "=test-" + std::to_string(cookie.size());
  }
  cookie_ = cookie;
  server_.Get(R"(/.*)", [this](const httplib::Request& req, httplib::Response& res) { Handle(req, res); });
  port_ = server_.bind_to_any_port("127.0.0.1");
  if (port_ <= 0) throw std::runtime_error("no loopback port for the fake service");
  thread_ = std::thread([this] { server_.listen_after_bind(); });
  for (int i = 0; i < 5000 && !server_.is_running(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

FakeService::~FakeService() {
  server_.stop();
  if (thread_.joinable()) thread_.join();
}

std::string FakeService::Origin() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }

ServiceEndpoints FakeService::Endpoints() const {
  ServiceEndpoints endpoints;
  endpoints.webOrigin = Text(Origin());
  endpoints.imageOrigin = Text(Origin() + "img/");
  endpoints.originalImageOrigin = Text(Origin() + "original/");
  endpoints.noteCookie = Text(cookie_);
  return endpoints;
}

void FakeService::AddNote(const std::string& code, const std::string& note, const std::string& page) {
  std::lock_guard<std::mutex> lock(mutex_);
  notesByCode_[code] = note;
  pages_[note] = page;
}

void FakeService::AddTodayNote(const std::string& code, const std::string& note, const std::string& page) {
  std::lock_guard<std::mutex> lock(mutex_);
  todayByCode_[code] = note;
  todayPages_[note] = page;
}

std::string FakeService::XsecToken(const std::string& note) { return "AB" + note + "Zx9-_q="; }

std::string FakeService::DiscoveryUrl(const std::string& note) const {
  return Origin() + "discovery/item/" + note +
         "?app_platform=ios&app_version=8.69.2&share_from_user_hidden=true&xsec_source=app_share"
         "&type=normal&xsec_token=" + XsecToken(note) + "&author_share=1&xhsshare=CopyLink"
         "&shareRedId=ODk3NjQ2&apptime=1751500000&share_id=5f0c";
}

std::string FakeService::WebShareUrl(const std::string& note) const {
  return Origin() + "discovery/item/" + note + "?source=webshare&xhsshare=pc_web&xsec_token=" + XsecToken(note) +
         "&xsec_source=pc_share";
}

std::string FakeService::ShortLink(const std::string& code) const { return Origin() + "s/" + code; }

std::string FakeService::ShareText(const std::string& code) const {
  return "87 小猫的一天发布了一篇小红书笔记，快来看吧！ 😆 abcDEF 😆 " + ShortLink(code) +
         "，复制本条信息，打开【小红书】App查看精彩内容！";
}

void FakeService::SetPicture(const std::string& key, FakePicture picture) {
  std::lock_guard<std::mutex> lock(mutex_);
  pictures_[key] = std::move(picture);
}

std::string FakeService::PictureBytes(const std::string& key) {
  std::string bytes("\xFF\xD8\xFF\xE0", 4);
  bytes += key;
  bytes += std::string("\0\x01\x02", 3);
  return bytes;
}

void FakeService::SetPage(const std::string& path, int status, const std::string& body,
                          const std::string& location) {
  std::lock_guard<std::mutex> lock(mutex_);
  raw_[path] = {status, {body, location}};
}

std::vector<SeenRequest> FakeService::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

std::vector<SeenRequest> FakeService::RequestsUnder(const std::string& prefix) const {
  std::vector<SeenRequest> found;
  for (const SeenRequest& r : Requests()) {
    if (r.path.starts_with(prefix)) found.push_back(r);
  }
  return found;
}

void FakeService::KeepConnectionsOpen(bool keep) {
  std::lock_guard<std::mutex> lock(mutex_);
  keepAlive_ = keep;
  server_.set_keep_alive_timeout(1);
}

void FakeService::ClearRequests() {
  std::lock_guard<std::mutex> lock(mutex_);
  requests_.clear();
}

void FakeService::Handle(const httplib::Request& req, httplib::Response& res) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::size_t q = req.target.find('?');
  SeenRequest seen{
      .path = req.target.substr(0, q),
      .target = req.target,
      .version = req.version,
      .cookie = req.get_header_value("Cookie"),
      .userAgent = req.get_header_value("User-Agent"),
      .accept = req.get_header_value("Accept"),
      .pragma = req.get_header_value("Pragma"),
      .cacheControl = req.get_header_value("Cache-Control"),
      .connection = req.get_header_value("Connection"),
      .remotePort = req.remote_port,
  };
  requests_.push_back(seen);
  const std::string& path = seen.path;
  if (!keepAlive_) res.set_header("Connection", "close");

  if (auto raw = raw_.find(path); raw != raw_.end()) {
    res.status = raw->second.first;
    if (!raw->second.second.second.empty()) res.set_header("Location", raw->second.second.second);
    res.set_content(raw->second.second.first, "text/html");
    return;
  }
  if (path.starts_with("/a/") || path.starts_with("/o/")) {
    if (auto note = todayByCode_.find(path.substr(3)); note != todayByCode_.end()) {
      const std::string target = DiscoveryUrl(note->second);
      res.status = 307;
      res.set_header("Location", target);
      res.set_content(ShortLinkBody(target), "text/html; charset=utf-8");
      return;
    }
  }
  if (path.starts_with("/discovery/item/") && todayPages_.contains(path.substr(16))) {
    const std::string notePath = "/explore/" + path.substr(16) + (q == std::string::npos ? "" : req.target.substr(q));
    res.status = 302;
    res.set_header("Location", notePath);
    res.set_content("Redirecting to <a href=\"" + HtmlEscaped(notePath) + "\">" + HtmlEscaped(notePath) + "</a>.",
                    "text/html; charset=utf-8");
    return;
  }
  if (path.starts_with("/explore/") && todayPages_.contains(path.substr(9))) {
    const std::string note = path.substr(9);
    const std::string token = "xsec_token=" + XsecToken(note);
    const std::size_t at = req.target.find(token);
    const std::size_t after = at + token.size();
    const bool tokenOk = at != std::string::npos && (after == req.target.size() || req.target[after] == '&');
    res.set_header("Set-Cookie", "web_session=from-the-server; Path=/");
    if (tokenOk && seen.cookie == cookie_) {
      res.set_content(todayPages_[note], "text/html; charset=utf-8");
    } else {
      res.set_content("<html><body>当前笔记暂时无法浏览</body></html>", "text/html; charset=utf-8");
    }
    return;
  }
  if (path.starts_with("/s/")) {
    auto note = notesByCode_.find(path.substr(3));
    if (note == notesByCode_.end()) {
      res.status = 404;
      res.set_content("<html>no such link</html>", "text/html");
      return;
    }
    // The target is in the body; the Location header points elsewhere, so a
    // client that followed it would be caught.
    const std::string target = Origin() + "discovery/item/" + note->second + "?app_platform=ios";
    res.status = 307;
    res.set_header("Location", Origin() + "wrong-turn");
    res.set_content("<a href=\"" + target + "\">Temporary Redirect</a>.", "text/html; charset=utf-8");
    return;
  }
  if (path.starts_with("/discovery/item/")) {
    const std::string note = path.substr(16);
    const std::string notePath = "/explore/" + note + "?xsec_token=AB12&xsec_source=app_share";
    res.status = 302;
    res.set_header("Location", Origin() + "wrong-turn");
    res.set_content("<a href=\"" + notePath + "\">" + notePath + "</a>", "text/html; charset=utf-8");
    return;
  }
  if (path.starts_with("/explore/")) {
    auto page = pages_.find(path.substr(9));
    res.set_header("Set-Cookie", "web_session=from-the-server; Path=/");
    if (page == pages_.end() || seen.cookie != cookie_) {
      res.set_content("<html><body>请登录</body></html>", "text/html; charset=utf-8");
    } else {
      res.set_content(page->second, "text/html; charset=utf-8");
    }
    return;
  }
  if (path.starts_with("/img/") || path != "/") {
    const std::string key = path.starts_with("/img/") ? path.substr(5) : path.substr(1);
    auto picture = pictures_.find(key);
    if (picture != pictures_.end()) {
      res.status = picture->second.status;
      res.set_content(picture->second.body, "image/webp");
    } else {
      res.set_content(PictureBytes(key), "image/webp");
    }
    return;
  }
  // The web origin itself: the home page, without pictures.
  res.set_content("<html><body>首页</body></html>", "text/html; charset=utf-8");
}

std::string NotePage(const std::vector<std::string>& identifiers) {
  std::string page = "<html><head><title>note</title></head><body><script>window.__INITIAL_STATE__={\"imageList\":[";
  for (std::size_t i = 0; i < identifiers.size(); ++i) {
    if (i > 0) page += ",";
    page += "{\"width\":1080,\"traceId\":\"" + identifiers[i] + "\",\"height\":1440}";
  }
  return page + "]}</script></body></html>";
}

std::string TodayNotePage(const std::vector<std::string>& urlDefaults, const std::vector<std::string>& traceIds) {
  auto escaped = [](std::string url) {
    for (std::size_t at = url.find('/'); at != std::string::npos; at = url.find('/', at)) url.replace(at, 1, "\\u002F");
    return url;
  };
  std::string page =
      "<!doctype html><html><head><meta charset=\"utf-8\"><title>小红书 - 你的生活指南</title></head><body>"
      "<div id=\"app\"></div><script>window.__INITIAL_STATE__={\"global\":{\"serverTime\":1751500000},"
      "\"user\":{\"loggedIn\":false,\"userInfo\":undefined},\"note\":{\"firstNoteId\":\"n\",\"noteDetailMap\":"
      "{\"n\":{\"note\":{\"title\":\"标题\",\"imageList\":[";
  for (std::size_t i = 0; i < urlDefaults.size(); ++i) {
    if (i > 0) page += ",";
    const std::string& url = urlDefaults[i];
    const std::string value = url == "undefined" ? url : "\"" + escaped(url) + "\"";
    const std::string preview = url == "undefined" ? url : "\"" + escaped(url + "_prv") + "\"";
    page += "{\"infoList\":[{\"imageScene\":\"WB_PRV\",\"url\":" + preview +
            "},{\"imageScene\":\"WB_DFT\",\"url\":" + value + "}],\"traceId\":\"" +
            (i < traceIds.size() ? traceIds[i] : "") + "\",\"urlPre\":" + preview + ",\"urlDefault\":" + value +
            ",\"livePhoto\":false,\"fileId\":\"\",\"height\":1440,\"width\":1080,\"url\":\"\",\"stream\":{}}";
  }
  return page + "]}}}},\"feed\":undefined}</script></body></html>";
}

std::string HtmlEscaped(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '&') {
      out += "&amp;";
    } else if (c == '"') {
      out += "&quot;";
    } else {
      out += c;
    }
  }
  return out;
}

std::string ShortLinkBody(const std::string& target) {
  return "<a href=\"" + HtmlEscaped(target) + "\">Temporary Redirect</a>.";
}

}  // namespace xhs::test
