// Runs a piece of a test in a child process: for limits that must not touch
// the test runner (a file-size limit, a dropped user), for a process that is
// to be killed, and for memory figures of one call alone. Fork before any
// thread is started in the parent; the child may start its own.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

namespace xhs::test {

struct ChildResult {
  bool exited = false;  // ended by _exit rather than by a signal
  int code = -1;
  int signal = 0;       // the signal that ended it, when one did
  std::string output;   // what the child wrote to its report
};

// body runs in a forked child and returns its report (a short text); the
// child then ends with code 0, or 99 when body threw.
inline ChildResult RunInChild(const std::function<std::string()>& body) {
  int pipeEnds[2];
  if (::pipe(pipeEnds) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(pipeEnds[0]);
    int code = 0;
    std::string report;
    try {
      report = body();
    } catch (...) {
      code = 99;
    }
    for (std::size_t done = 0; done < report.size();) {
      const ssize_t n = ::write(pipeEnds[1], report.data() + done, report.size() - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    ::_exit(code);
  }
  ::close(pipeEnds[1]);
  ChildResult result;
  char buffer[4096];
  for (ssize_t n; (n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;) result.output.append(buffer, n);
  ::close(pipeEnds[0]);
  int status = 0;
  if (pid > 0 && ::waitpid(pid, &status, 0) == pid) {
    if (WIFEXITED(status)) {
      result.exited = true;
      result.code = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
      result.signal = WTERMSIG(status);
    }
  }
  return result;
}

}  // namespace xhs::test
