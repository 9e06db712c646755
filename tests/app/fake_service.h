// An in-process fake of the note service on a free loopback port: short
// links, the second redirect hop, note pages that check the Cookie header,
// and an image host. Every request is recorded.
#pragma once

#include <httplib.h>

#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/service.h"

namespace xhs::test {

struct SeenRequest {
  std::string path;     // as sent, query excluded
  std::string target;   // path and query as sent
  std::string version;  // "HTTP/1.0", "HTTP/1.1"
  std::string cookie;
  std::string userAgent;
  std::string accept;
  std::string pragma;
  std::string cacheControl;
  std::string connection;
  int remotePort = 0;
};

struct FakePicture {
  int status = 200;
  std::string body;
};

class FakeService {
 public:
  FakeService();
  ~FakeService();
  FakeService(const FakeService&) = delete;
  FakeService& operator=(const FakeService&) = delete;

  // "http://127.0.0.1:PORT/".
  std::string Origin() const;
  // Web origin = Origin(), image origin = Origin() + "img/", the note cookie
  // the note pages expect.
  ServiceEndpoints Endpoints() const;

  // /s/CODE answers 307 towards /discovery/item/NOTE, which answers 302
  // towards /explore/NOTE, whose page is page (UTF-8) when the request
  // carries Endpoints().noteCookie, else a page without identifiers.
  void AddNote(const std::string& code, const std::string& note, const std::string& page);
  // The share text the app copies for CODE, UTF-8.
  std::string ShareText(const std::string& code) const;
  std::string ShortLink(const std::string& code) const;

  // Today's service: /a/CODE and /o/CODE answer 307 towards DiscoveryUrl(note)
  // with a Location header and the target in the body, "&" written "&amp;";
  // /discovery/item/NOTE answers 302 towards /explore/NOTE with the query it
  // was given, as a relative Location and in a "Redirecting to" body;
  // /explore/NOTE answers page when the request carries the note cookie and
  // the query holds "xsec_token=" + XsecToken(note), its final "=" included.
  void AddTodayNote(const std::string& code, const std::string& note, const std::string& page);
  static std::string XsecToken(const std::string& note);
  std::string DiscoveryUrl(const std::string& note) const;
  // The link a note's share text carries on a computer: the note's address.
  std::string WebShareUrl(const std::string& note) const;

  // What /img/KEY (or /KEY, where a "../" took the request out of /img/)
  // answers. Unset keys answer 200 with PictureBytes(key).
  void SetPicture(const std::string& key, FakePicture picture);
  static std::string PictureBytes(const std::string& key);

  // A body served at /PATH: status and body, with an optional Location.
  void SetPage(const std::string& path, int status, const std::string& body,
               const std::string& location = "");

  // Whether connections stay open after an answer (default: no, so that
  // stopping the service never waits for a client's idle connection).
  void KeepConnectionsOpen(bool keep);

  std::vector<SeenRequest> Requests() const;
  std::vector<SeenRequest> RequestsUnder(const std::string& prefix) const;
  void ClearRequests();

 private:
  void Handle(const httplib::Request& req, httplib::Response& res);

  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;
  std::string cookie_;
  mutable std::mutex mutex_;
  std::map<std::string, std::string> notesByCode_;
  std::map<std::string, std::string> pages_;
  std::map<std::string, std::string> todayByCode_;
  std::map<std::string, std::string> todayPages_;
  std::map<std::string, FakePicture> pictures_;
  std::map<std::string, std::pair<int, std::pair<std::string, std::string>>> raw_;
  std::vector<SeenRequest> requests_;
  bool keepAlive_ = false;
};

// A page holding the picture identifiers in the shape the service uses.
std::string NotePage(const std::vector<std::string>& identifiers);

// Today's note page: window.__INITIAL_STATE__ with an imageList whose entries
// carry traceId (default "") and urlDefault, every "/" of the URL written
// \u002F; a urlDefault of "undefined" is written as a bare undefined.
std::string TodayNotePage(const std::vector<std::string>& urlDefaults,
                          const std::vector<std::string>& traceIds = {});

// A short link's 307 body: <a href="target">Temporary Redirect</a>. with
// "&" written "&amp;".
std::string ShortLinkBody(const std::string& target);
std::string HtmlEscaped(const std::string& text);

}  // namespace xhs::test
