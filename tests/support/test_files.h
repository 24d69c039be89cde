// Files for tests: a temporary folder removed afterwards, whole-file reads
// and writes, and the expected bytes of output records.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace testfiles {

class TempDir {
 public:
  // With `inMemory`, in /dev/shm where that exists: for servers that sync
  // every file they write, which costs seconds per thousand files on a disk.
  explicit TempDir(bool inMemory = false);
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

// The folder `sub` of the public test data kept in the repository
// (tests/data/third_party): "cp932", "pst", "vcard-samples". A folder that is
// not there fails the calling test, and the result is then "".
std::filesystem::path DataDir(const std::string& sub);

}  // namespace testfiles

// Declares `var` as the test data folder `sub`; the test fails and ends here
// when the folder is missing (the data is part of every clone).
#define REQUIRE_DATA_DIR(var, sub)                             \
  const std::filesystem::path var = ::testfiles::DataDir(sub); \
  if (var.empty()) FAIL() << "test data missing: " << (sub)
