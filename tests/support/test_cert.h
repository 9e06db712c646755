// A certificate made for one test run, and environment settings that point
// the HTTP client at it.
#pragma once

#include <optional>
#include <string>

namespace xhs::test {

// A fresh self-signed certificate for "localhost" and 127.0.0.1 (EC P-256,
// valid from an hour ago for a week) with its private key, written as PEM
// files into a new temporary folder that the destructor removes. Throws
// std::runtime_error when OpenSSL or the file system fails.
class TestCert {
 public:
  TestCert();
  ~TestCert();
  TestCert(const TestCert&) = delete;
  TestCert& operator=(const TestCert&) = delete;

  const std::string& CertFile() const { return certFile_; }
  const std::string& KeyFile() const { return keyFile_; }

 private:
  std::string folder_;
  std::string certFile_;
  std::string keyFile_;
};

// Sets an environment variable (or removes it, with nullopt) for the life
// of the object and restores the old state afterwards.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::optional<std::string>& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

}  // namespace xhs::test
