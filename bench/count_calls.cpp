// count_calls OUTPUT.csv: runs the whole export (the run sequence, without its
// 500 ms pause) through the counting object model and reports object-model
// calls per exported contact, the calls by member, and the time the export
// took inside the process. The profile is found as the program finds it
// (CONTACT_EXPORT_PROFILE).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/run_sequence.h"
#include "counting_object_model.h"

namespace {

std::u16string Widen(const std::string& path) { return std::u16string(path.begin(), path.end()); }

// Records in the output: its CR LF line ends (a record never holds one).
std::uint64_t CountLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return static_cast<std::uint64_t>(
      std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n'));
}

void NoPause(unsigned) {}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: count_calls OUTPUT.csv  (profile from CONTACT_EXPORT_PROFILE)\n");
    return 2;
  }
  const std::string output = argv[1];
  for (unsigned char c : output) {
    if (c >= 0x80) {
      std::fprintf(stderr, "count_calls: give an ASCII output path\n");
      return 2;
    }
  }
  bench::InstallCountingFactory();
  app::SetSleepFunction(NoPause);
  const auto start = std::chrono::steady_clock::now();
  const int result = app::RunSequence(Widen(output));
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  const bench::CallCounts& counts = bench::Counts();
  const std::uint64_t contacts = CountLines(output);
  std::printf("result %d\ncontacts %llu\nseconds %.3f\ncalls %llu\nfailed_calls %llu\n", result,
              static_cast<unsigned long long>(contacts), seconds,
              static_cast<unsigned long long>(counts.total), static_cast<unsigned long long>(counts.failed));
  std::printf("calls_per_contact %.2f\n",
              contacts ? static_cast<double>(counts.total) / static_cast<double>(contacts) : 0.0);
  std::vector<std::pair<std::string, std::uint64_t>> members(counts.byMember.begin(), counts.byMember.end());
  std::sort(members.begin(), members.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
  for (const auto& [name, calls] : members) {
    std::printf("  %-28s %llu\n", name.c_str(), static_cast<unsigned long long>(calls));
  }
  return result;
}
