#include "support/test_files.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <random>

namespace testfiles {

TempDir::TempDir(bool inMemory) {
  std::random_device random;
  std::error_code error;
  if (inMemory && std::filesystem::is_directory("/dev/shm", error)) {
    path_ = std::filesystem::path("/dev/shm") / ("contact-export-test-" + std::to_string(random()));
    if (std::filesystem::create_directory(path_, error)) return;
  }
  const auto base = std::filesystem::temp_directory_path();
  for (;;) {
    path_ = base / ("contact-export-test-" + std::to_string(random()));
    if (std::filesystem::create_directory(path_)) break;
  }
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string RecordLine(const std::vector<std::string>& leading) {
  std::string line;
  for (std::size_t i = 0; i < 55; ++i) {
    if (i != 0) line += ',';
    line += '"';
    if (i < leading.size()) line += leading[i];
    line += '"';
  }
  return line + "\r\n";
}

std::filesystem::path DataDir(const std::string& sub) {
  const std::filesystem::path dir = std::filesystem::path(CONTACT_EXPORT_DATA_DIR) / sub;
  if (std::filesystem::is_directory(dir)) return dir;
  ADD_FAILURE() << "test data missing: " << dir.string();
  return {};
}

}  // namespace testfiles
