// A fresh folder per test, removed afterwards.
#pragma once

#ifdef _WIN32
#include <process.h>
#define VARDIS_TEST_PID ::_getpid
#else
#include <unistd.h>
#define VARDIS_TEST_PID ::getpid
#endif

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace vardis::test {

class TempDir {
 public:
  TempDir() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("vardis-test-" + std::to_string(VARDIS_TEST_PID()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline std::string readFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace vardis::test
