// Files for tests: a temporary folder removed afterwards, whole-file reads
// and writes, and the expected bytes of output records.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace testfiles {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

std::string ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::string& bytes);

// The bytes of one output record whose first fields are `leading` (already in
// code page 932, no quotes or commas inside) and whose other fields, up to 55,
// are empty.
std::string RecordLine(const std::vector<std::string>& leading);

// The folder `sub` of the shared reference data, or "" when it is absent.
std::filesystem::path DataDir(const std::string& sub);

}  // namespace testfiles

// Declares `var` as the reference data folder `sub`; skips the test when the
// data is absent, except under CI, where that is a failure.
#define REQUIRE_DATA_DIR(var, sub)                                           \
  const std::filesystem::path var = ::testfiles::DataDir(sub);               \
  if (var.empty()) {                                                         \
    if (std::getenv("CI")) FAIL() << "reference data missing: " << (sub);    \
    GTEST_SKIP() << "reference data missing: " << (sub);                     \
  }
