// End-to-end benchmark: a fake service on loopback, then, interleaved, the
// console front end saving a note, one curl process fetching the same
// pictures over reused connections (the floor) and one curl process per
// picture (the naive way). Prints medians and ratios to the floor.
//
//   xhs_bench_e2e [--runs N] [--delay MS] [--console PATH] [--curl PATH] [--all]
//   xhs_bench_e2e --serve SECONDS [--delay MS]   (only the fake service, for profiling)
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "fake_service.h"
#include "note_page.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using xhs::bench::FakeService;
using xhs::bench::Response;

#ifndef XHS_BENCH_CONSOLE
#define XHS_BENCH_CONSOLE "xhs-saver"
#endif

struct Options {
  int runs = 7;
  int delayMs = 20;
  bool all = false;
  int serveSeconds = 0;  // --serve S: only serve for S seconds (for profiling by hand)
  std::vector<std::string> consoles;  // --console, repeatable; none: this build's xhs-saver
  bool naive = true;
  std::string curl = "curl";
};

struct Scenario {
  std::string name;
  std::string note;
  int pictures;
  std::size_t pictureBytes;
  int delayMs;  // per new connection and per TLS handshake
};

struct Child {
  double ms = 0;
  double cpuMs = 0;  // user + system time of the child
  long maxRssKiB = 0;
  int status = -1;
};

std::vector<std::string> ChildEnvironment(const std::string& caFile, const std::string& config) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    // Nothing may go through a proxy, nor read the user's own cookie file.
    if (lower == "http_proxy" || lower == "https_proxy" || lower == "all_proxy" ||
        name == "CURL_CA_BUNDLE" || name == "SSL_CERT_FILE" || name == "XDG_CONFIG_HOME" ||
        name == "CURL_HOME" || name == "HOME") {
      continue;
    }
    env.push_back(entry);
  }
  env.push_back("CURL_CA_BUNDLE=" + caFile);
  env.push_back("SSL_CERT_FILE=" + caFile);
  env.push_back("XDG_CONFIG_HOME=" + config);
  env.push_back("HOME=" + config);  // no ~/.curlrc either
  env.push_back("no_proxy=*");
  return env;
}

// Starts the measured programs from a small helper process forked before
// the benchmark holds any picture in memory: a child's peak memory as the
// kernel reports it includes what it shared with its parent before exec, so
// spawning from the benchmark itself would charge the pictures to it.
class Spawner {
 public:
  Spawner() {
    int down[2], up[2];
    if (pipe2(down, O_CLOEXEC) != 0 || pipe2(up, O_CLOEXEC) != 0) std::exit(1);
    pid_ = fork();
    if (pid_ < 0) std::exit(1);
    if (pid_ == 0) {
      ::close(down[1]);
      ::close(up[0]);
      Serve(down[0], up[1]);
      _exit(0);
    }
    ::close(down[0]);
    ::close(up[1]);
    to_ = down[1];
    from_ = up[0];
  }
  ~Spawner() {
    ::close(to_);
    ::close(from_);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  Spawner(const Spawner&) = delete;
  Spawner& operator=(const Spawner&) = delete;

  // Runs argv to its end with standard output and error going to the file
  // out, timing it from just before the spawn.
  Child Run(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            const std::string& out = "/dev/null", Clock::time_point* started = nullptr) {
    std::vector<std::string> message = {out};
    message.push_back(std::to_string(argv.size()));
    message.insert(message.end(), argv.begin(), argv.end());
    message.insert(message.end(), env.begin(), env.end());
    WriteStrings(to_, message);
    Result result{};
    if (!ReadAll(from_, &result, sizeof result)) std::exit(1);
    if (result.status == -1) {
      std::cerr << "cannot start " << argv[0] << "\n";
      std::exit(1);
    }
    if (started) *started = Clock::time_point(Clock::duration(result.startedNs));
    return {result.ms, result.cpuMs, result.maxRssKiB, result.status};
  }

 private:
  struct Result {
    std::int64_t startedNs;
    double ms;
    double cpuMs;
    long maxRssKiB;
    int status;
  };

  static bool ReadAll(int fd, void* data, std::size_t n) {
    auto* p = static_cast<char*>(data);
    while (n > 0) {
      const ssize_t got = ::read(fd, p, n);
      if (got <= 0) {
        if (got < 0 && errno == EINTR) continue;
        return false;
      }
      p += got;
      n -= static_cast<std::size_t>(got);
    }
    return true;
  }
  static void WriteAll(int fd, const void* data, std::size_t n) {
    const auto* p = static_cast<const char*>(data);
    while (n > 0) {
      const ssize_t put = ::write(fd, p, n);
      if (put <= 0) {
        if (put < 0 && errno == EINTR) continue;
        std::exit(1);
      }
      p += put;
      n -= static_cast<std::size_t>(put);
    }
  }
  static void WriteStrings(int fd, const std::vector<std::string>& strings) {
    std::string packed;
    const std::uint32_t count = static_cast<std::uint32_t>(strings.size());
    packed.append(reinterpret_cast<const char*>(&count), sizeof count);
    for (const auto& s : strings) {
      const std::uint32_t n = static_cast<std::uint32_t>(s.size());
      packed.append(reinterpret_cast<const char*>(&n), sizeof n);
      packed += s;
    }
    WriteAll(fd, packed.data(), packed.size());
  }
  static bool ReadStrings(int fd, std::vector<std::string>& strings) {
    std::uint32_t count = 0;
    if (!ReadAll(fd, &count, sizeof count)) return false;
    strings.assign(count, {});
    for (auto& s : strings) {
      std::uint32_t n = 0;
      if (!ReadAll(fd, &n, sizeof n)) return false;
      s.resize(n);
      if (n > 0 && !ReadAll(fd, s.data(), n)) return false;
    }
    return true;
  }

  static void Serve(int in, int out) {
    std::vector<std::string> message;
    while (ReadStrings(in, message)) {
      const std::size_t argc = static_cast<std::size_t>(std::stoul(message[1]));
      std::vector<char*> args, envs;
      for (std::size_t i = 0; i < argc; ++i) args.push_back(message[2 + i].data());
      args.push_back(nullptr);
      for (std::size_t i = 2 + argc; i < message.size(); ++i) envs.push_back(message[i].data());
      envs.push_back(nullptr);
      posix_spawn_file_actions_t actions;
      posix_spawn_file_actions_init(&actions);
      posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
      posix_spawn_file_actions_addopen(&actions, 1, message[0].c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      posix_spawn_file_actions_adddup2(&actions, 1, 2);
      Result result{};
      const auto t0 = Clock::now();
      pid_t pid = 0;
      const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envs.data());
      posix_spawn_file_actions_destroy(&actions);
      result.startedNs = t0.time_since_epoch().count();
      if (spawned != 0) {
        result.status = -1;
      } else {
        int status = 0;
        rusage usage{};
        while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
        }
        result.ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        result.maxRssKiB = usage.ru_maxrss;
        auto ms = [](const timeval& t) { return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3; };
        result.cpuMs = ms(usage.ru_utime) + ms(usage.ru_stime);
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      WriteAll(out, &result, sizeof result);
    }
  }

  pid_t pid_ = -1;
  int to_ = -1;
  int from_ = -1;
};

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void EmptyFolder(const fs::path& dir) {
  for (const auto& entry : fs::directory_iterator(dir)) fs::remove_all(entry.path());
}

// True when dir holds exactly the pictures, each of the size served.
bool HoldsPictures(const fs::path& dir, const std::vector<std::string>& names, std::size_t bytes) {
  std::size_t files = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    (void)entry;
    ++files;
  }
  if (files != names.size()) return false;
  for (const auto& name : names) {
    std::error_code error;
    if (fs::file_size(dir / name, error) != bytes || error) return false;
  }
  return true;
}

std::shared_ptr<const std::string> PictureBody(std::size_t bytes, unsigned seed) {
  std::string body(bytes, '\0');
  std::mt19937 random(seed);
  for (auto& c : body) c = static_cast<char>(random());
  const unsigned char header[] = {0xFF, 0xD8, 0xFF, 0xE0};  // looks like a JPEG
  std::memcpy(body.data(), header, std::min(bytes, sizeof header));
  return std::make_shared<const std::string>(std::move(body));
}

std::string Format(double v, int decimals = 1) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, v);
  return buffer;
}

struct Series {
  explicit Series(std::string name) : label(std::move(name)) {}
  std::string label;
  std::vector<double> ms;
  std::vector<double> cpuMs;
  std::vector<double> firstMs;  // from the spawn to the first request the service saw
};

void PrintSeries(const std::vector<Series>& rows, double floor, double floorCpu) {
  std::printf("  %-38s %9s %9s %9s %7s | %9s %7s | %9s\n", "wall time", "median", "min", "max", "/floor",
              "CPU", "/floor", "1st req");
  for (const auto& row : rows) {
    const auto [lo, hi] = std::minmax_element(row.ms.begin(), row.ms.end());
    std::printf("  %-38s %6s ms %6s ms %6s ms %6sx | %6s ms %6sx | %6s ms\n", row.label.c_str(),
                Format(Median(row.ms)).c_str(), Format(*lo).c_str(), Format(*hi).c_str(),
                Format(Median(row.ms) / floor, 2).c_str(), Format(Median(row.cpuMs)).c_str(),
                Format(Median(row.cpuMs) / floorCpu, 2).c_str(),
                row.firstMs.empty() ? "-" : Format(Median(row.firstMs)).c_str());
  }
}

int Main(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) {
        std::cerr << arg << " needs a value\n";
        std::exit(2);
      }
      return argv[++i];
    };
    if (arg == "--runs") {
      options.runs = std::max(1, std::atoi(value().c_str()));
    } else if (arg == "--delay") {
      options.delayMs = std::max(0, std::atoi(value().c_str()));
    } else if (arg == "--console") {
      options.consoles.push_back(value());
    } else if (arg == "--skip-naive") {
      options.naive = false;
    } else if (arg == "--curl") {
      options.curl = value();
    } else if (arg == "--all") {
      options.all = true;
    } else if (arg == "--serve") {
      options.serveSeconds = std::max(1, std::atoi(value().c_str()));
    } else {
      std::cerr << "usage: xhs_bench_e2e [--runs N] [--delay MS] [--console PATH] [--curl PATH] [--all] [--skip-naive]\n"
                   "       xhs_bench_e2e --serve SECONDS [--delay MS]\n";
      return 2;
    }
  }

  Spawner spawner;  // first, while this process is still small
  if (options.consoles.empty()) options.consoles.push_back(XHS_BENCH_CONSOLE);
  char work[] = "/tmp/xhs-bench-XXXXXX";
  if (!mkdtemp(work)) return 1;
  const fs::path root = work;
  fs::create_directories(root / "out");
  fs::create_directories(root / "config");
  const fs::path out = root / "out";

  const auto certificate = xhs::bench::MakeSelfSignedCertificate();
  const std::string caFile = (root / "ca.pem").string();
  std::ofstream(caFile) << certificate.certPem;
  const auto env = ChildEnvironment(caFile, (root / "config").string());

  FakeService service(certificate);
  const int shortPort = service.Listen(false);  // the short-link host is plain HTTP
  const int webPort = service.Listen(true);
  const int imagePort = service.Listen(true);
  const std::string shortOrigin = "http://127.0.0.1:" + std::to_string(shortPort) + "/";
  const std::string webOrigin = "https://127.0.0.1:" + std::to_string(webPort) + "/";
  const std::string imageOrigin = "https://127.0.0.1:" + std::to_string(imagePort) + "/";
  const std::string query = "?imageView2/2/w/1200/format/webp";

  std::vector<Scenario> scenarios = {
      {"9 pictures of 1 MiB, HTTPS, no added delay", "n9", 9, 1 << 20, 0},
      {"50 pictures of 200 KiB, HTTPS, +" + std::to_string(options.delayMs) + " ms per connection and per handshake",
       "n50", 50, 200 * 1024, options.delayMs},
  };
  if (options.all) {
    scenarios.push_back({"50 pictures of 200 KiB, HTTPS, no added delay", "n50", 50, 200 * 1024, 0});
    scenarios.push_back({"9 pictures of 1 MiB, HTTPS, +" + std::to_string(options.delayMs) +
                             " ms per connection and per handshake",
                         "n9", 9, 1 << 20, options.delayMs});
  }

  // Each note: the short link's redirect page, the redirect to the note, the
  // note page and its pictures.
  std::map<std::string, std::vector<std::string>> noteIds;
  for (const auto& [note, count, bytes, seed] :
       std::vector<std::tuple<std::string, int, std::size_t, unsigned>>{{"n9", 9, 1 << 20, 9},
                                                                          {"n50", 50, 200 * 1024, 50}}) {
    const std::string path = "/explore/6571c0de000000003c01" + note;
    service.Route("/" + note, {302, "Found", "text/html; charset=utf-8",
                               "Location: " + webOrigin + "discovery/item/" + note + "\r\n",
                               std::make_shared<const std::string>(
                                   "<html><body><a href=\"" + webOrigin + "discovery/item/" + note +
                                   "?app_platform=ios&share_from_user_hidden=true\">Temporary Redirect</a>."
                                   "</body></html>")});
    service.Route("/discovery/item/" + note,
                  {302, "Found", "text/html; charset=utf-8", "Location: " + path + "?xsec_token=AB1x\r\n",
                   std::make_shared<const std::string>("<a href=\"" + path + "?xsec_token=AB1x\">" + path +
                                                       "?xsec_token=AB1x</a>.")});
    auto page = xhs::bench::MakeNotePage(400 * 1024, count, seed);
    service.Route(path, {200, "OK", "text/html", "", std::make_shared<const std::string>(std::move(page.bytes))});
    const auto body = PictureBody(bytes, seed);
    for (const auto& id : page.identifiers) service.Route("/" + id, {200, "OK", "image/webp", "", body});
    noteIds[note] = page.identifiers;
  }

  if (options.serveSeconds > 0) {
    service.SetDelays(std::chrono::milliseconds(options.delayMs), std::chrono::milliseconds(options.delayMs));
    std::printf("serving for %d s (+%d ms per connection and handshake)\nexport CURL_CA_BUNDLE=%s\n"
                "%s --web-origin %s --image-origin %s -o DIR %sn9   (or n50)\n",
                options.serveSeconds, options.delayMs, caFile.c_str(), options.consoles[0].c_str(),
                webOrigin.c_str(), imageOrigin.c_str(), shortOrigin.c_str());
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::seconds(options.serveSeconds));
    service.Stop();
    fs::remove_all(root);
    return 0;
  }

  std::printf("xhs-saver end-to-end benchmark: %d interleaved runs per scenario\n", options.runs);
  for (std::size_t i = 0; i < options.consoles.size(); ++i) {
    std::printf("console %zu: %s\n", i + 1, options.consoles[i].c_str());
  }
  std::printf("curl:      %s\n\n", options.curl.c_str());

  bool allGood = true;
  for (const auto& scenario : scenarios) {
    service.SetDelays(std::chrono::milliseconds(scenario.delayMs), std::chrono::milliseconds(scenario.delayMs));
    const auto& ids = noteIds[scenario.note];
    std::vector<std::string> names, urls;
    for (const auto& id : ids) {
      names.push_back(id + ".jpg");
      urls.push_back(imageOrigin + id + query);
    }
    const std::string link = shortOrigin + scenario.note;

    const std::vector<std::string> consoleArgs = {"--web-origin", webOrigin, "--image-origin", imageOrigin,
                                                  "-o",           out.string(), link};
    std::vector<std::string> floorArgs = {options.curl, "-s", "--fail"};
    for (std::size_t i = 0; i < urls.size(); ++i) {
      floorArgs.push_back(urls[i]);
      floorArgs.push_back("-o");
      floorArgs.push_back((out / names[i]).string());
    }
    // The same requests as the run makes (the two redirect pages and the note
    // page first), in one curl process.
    std::vector<std::string> allArgs = {options.curl, "-s", link, "-o", (root / "p1").string(),
                                        webOrigin + "discovery/item/" + scenario.note, "-o",
                                        (root / "p2").string(),
                                        webOrigin + "explore/6571c0de000000003c01" + scenario.note, "-o",
                                        (root / "p3").string()};
    allArgs.insert(allArgs.end(), floorArgs.begin() + 3, floorArgs.end());

    struct ConsoleStats {
      explicit ConsoleStats(std::string label) : row(std::move(label)) {}
      Series row;
      std::vector<double> rss, connections, handshakes, resumed;
    };
    std::vector<ConsoleStats> consoles;
    for (std::size_t i = 0; i < options.consoles.size(); ++i) {
      std::string label = "xhs-saver (console front end)";
      if (options.consoles.size() > 1) {
        const std::string& path = options.consoles[i];
        label = std::to_string(i + 1) + ": " + (path.size() > 33 ? "..." + path.substr(path.size() - 30) : path);
      }
      consoles.emplace_back(label);
    }
    Series floorRow{"floor: one curl, reused connections"};
    Series naiveRow{"naive: one curl process per picture"};
    Series allRow{"one curl, also the 3 page requests"};
    auto firstOf = [](const xhs::bench::ServiceCounters& counters, Clock::time_point started,
                      std::vector<double>& into) {
      if (counters.requests > 0) {
        into.push_back(std::chrono::duration<double, std::milli>(counters.firstRequest - started).count());
      }
    };

    auto check = [&](bool ok, const std::string& what) {
      if (!ok) {
        std::printf("  !! %s did not save the pictures\n", what.c_str());
        allGood = false;
      }
    };
    for (int run = 0; run < options.runs; ++run) {
      // Rotate the order so that drift of the machine falls on every method alike.
      const int methods = static_cast<int>(consoles.size()) + 3;
      for (int k = 0; k < methods; ++k) {
        const int which = (k + run) % methods;
        const int console = static_cast<int>(consoles.size());
        if (which == console + 1 && !options.naive) continue;
        EmptyFolder(out);
        service.TakeCounters();
        if (which < console) {
          ConsoleStats& stats = consoles[static_cast<std::size_t>(which)];
          std::vector<std::string> args = {options.consoles[static_cast<std::size_t>(which)]};
          args.insert(args.end(), consoleArgs.begin(), consoleArgs.end());
          Clock::time_point started;
          const Child c = spawner.Run(args, env, (root / "console.log").string(), &started);
          const auto counters = service.TakeCounters();
          stats.row.ms.push_back(c.ms);
          stats.row.cpuMs.push_back(c.cpuMs);
          firstOf(counters, started, stats.row.firstMs);
          stats.rss.push_back(static_cast<double>(c.maxRssKiB) / 1024.0);
          stats.connections.push_back(counters.connections);
          stats.handshakes.push_back(counters.handshakes);
          stats.resumed.push_back(counters.resumed);
          check(c.status == 0 && HoldsPictures(out, names, scenario.pictureBytes), stats.row.label);
        } else if (which == console) {
          Clock::time_point started;
          const Child c = spawner.Run(floorArgs, env, "/dev/null", &started);
          floorRow.ms.push_back(c.ms);
          floorRow.cpuMs.push_back(c.cpuMs);
          firstOf(service.TakeCounters(), started, floorRow.firstMs);
          check(c.status == 0 && HoldsPictures(out, names, scenario.pictureBytes), "the floor's curl");
        } else if (which == console + 1) {
          double total = 0, cpu = 0;
          bool ok = true;
          for (std::size_t i = 0; i < urls.size(); ++i) {
            const Child c = spawner.Run({options.curl, "-s", "--fail", urls[i], "-o", (out / names[i]).string()}, env);
            total += c.ms;
            cpu += c.cpuMs;
            ok = ok && c.status == 0;
          }
          naiveRow.ms.push_back(total);
          naiveRow.cpuMs.push_back(cpu);
          check(ok && HoldsPictures(out, names, scenario.pictureBytes), "the naive curls");
        } else {
          Clock::time_point started;
          const Child c = spawner.Run(allArgs, env, "/dev/null", &started);
          allRow.ms.push_back(c.ms);
          allRow.cpuMs.push_back(c.cpuMs);
          firstOf(service.TakeCounters(), started, allRow.firstMs);
          check(c.status == 0 && HoldsPictures(out, names, scenario.pictureBytes), "curl with the pages");
        }
      }
    }
    const double floor = Median(floorRow.ms);
    std::printf("%s\n", scenario.name.c_str());
    std::vector<Series> rows;
    for (const auto& stats : consoles) rows.push_back(stats.row);
    rows.push_back(floorRow);
    if (options.naive) rows.push_back(naiveRow);
    rows.push_back(allRow);
    PrintSeries(rows, floor, Median(floorRow.cpuMs));
    std::printf("  memory bound: 40 MiB + 2 x largest picture = %s MiB\n",
                Format(40.0 + 2.0 * static_cast<double>(scenario.pictureBytes) / (1 << 20)).c_str());
    for (std::size_t i = 0; i < consoles.size(); ++i) {
      const ConsoleStats& stats = consoles[i];
      const auto [rssLo, rssHi] = std::minmax_element(stats.rss.begin(), stats.rss.end());
      std::printf("  console %zu: peak memory (max RSS) median %s MiB (%s-%s)", i + 1,
                  Format(Median(stats.rss)).c_str(), Format(*rssLo).c_str(), Format(*rssHi).c_str());
      if (!stats.row.firstMs.empty()) {
        const auto [lo, hi] = std::minmax_element(stats.row.firstMs.begin(), stats.row.firstMs.end());
        std::printf("; first request %s-%s ms", Format(*lo, 1).c_str(), Format(*hi, 1).c_str());
      }
      std::printf("; %s connections, %s TLS handshakes (%s resumed)", Format(Median(stats.connections), 0).c_str(),
                  Format(Median(stats.handshakes), 0).c_str(), Format(Median(stats.resumed), 0).c_str());
      if (options.naive) {
        std::printf("; %sx the naive way", Format(Median(stats.row.ms) / Median(naiveRow.ms), 2).c_str());
      }
      std::printf("\n");
    }
    std::printf("\n");
    std::fflush(stdout);
  }

  service.Stop();
  fs::remove_all(root);
  return allGood ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) { return Main(argc, argv); }
