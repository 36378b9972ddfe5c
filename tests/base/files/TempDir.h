#pragma once

// A fresh directory under the system's temporary directory, removed with all
// its contents when the object goes. Shared by the file and logging tests.

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

class CTempDir {
 public:
  explicit CTempDir(const char* szTag = "tolvan") {
    std::random_device rd;
    std::mt19937_64 gen(rd() ^ static_cast<uint64_t>(
                                   std::chrono::steady_clock::now().time_since_epoch().count()));
    std::filesystem::path base = std::filesystem::temp_directory_path();
    for (int i = 0; i < 100; ++i) {
      std::filesystem::path p = base / (std::string(szTag) + "-" + std::to_string(gen()));
      std::error_code ec;
      if (std::filesystem::create_directory(p, ec)) {
        m_path = p;
        break;
      }
    }
  }
  ~CTempDir() {
    std::error_code ec;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
  }
  CTempDir(const CTempDir&) = delete;
  CTempDir& operator=(const CTempDir&) = delete;

  bool Ok() const { return !m_path.empty(); }
  // The directory in the platform's own form (native separators).
  std::string Path() const { return m_path.string(); }
  // A path inside the directory, joined with the platform's separator.
  std::string Join(const std::string& strName) const { return (m_path / strName).string(); }

 private:
  std::filesystem::path m_path;
};
