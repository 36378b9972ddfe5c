#pragma once

// A fresh directory under the system's temporary directory, open to its owner
// only, removed with everything in it when the object goes. Shared by every
// test that needs files of its own; Ok() tells whether it could be made.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

class CTempDir {
 public:
  // szTag starts the directory's name, so that a left-over directory tells
  // which test made it.
  explicit CTempDir(const char* szTag = "tolvan-test") {
    static std::atomic<std::uint64_t> s_nNext{0};
    std::random_device rd;
    std::mt19937_64 gen(rd() ^ static_cast<std::uint64_t>(
                                   std::chrono::steady_clock::now().time_since_epoch().count()));
    std::error_code ec;
    const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) return;
    for (int nTry = 0; nTry < 100; ++nTry) {
      std::filesystem::path candidate = base / (std::string(szTag) + "-" + std::to_string(gen()) +
                                                "-" + std::to_string(s_nNext++));
      if (std::filesystem::create_directory(candidate, ec)) {
        std::filesystem::permissions(candidate, std::filesystem::perms::owner_all, ec);
        m_path = candidate;
        return;
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
  // Empty when the directory could not be made.
  const std::filesystem::path& Path() const { return m_path; }
  // The directory as text, in the platform's own form (native separators).
  std::string Str() const { return m_path.string(); }
  // A path inside the directory, joined with the platform's separator.
  std::string Join(const std::string& strName) const { return (m_path / strName).string(); }

 private:
  std::filesystem::path m_path;
};
