// The pace a CardDAV transfer must keep, fed the byte counts a transfer
// reports at chosen moments (no clock, no server).
#include <gtest/gtest.h>

#include <vector>

#include "store/carddav/carddav_http.h"

namespace {

using std::chrono::milliseconds;

struct Sample {
  long ms;              // since the transfer started
  std::uint64_t moved;  // bytes sent and received in all
};

// The moment (ms) of the first sample at which the transfer fails, under a
// limit of 1 KiB a minute; -1 if none.
long FirstFailure(const std::vector<Sample>& samples) {
  const carddav::PaceLimit limit{std::chrono::seconds(60), 1024};
  const auto start = std::chrono::steady_clock::time_point() + std::chrono::hours(1);
  carddav::Pace pace{start};
  for (const Sample& sample : samples) {
    if (carddav::FallenBehind(pace, limit, start + milliseconds(sample.ms), sample.moved)) {
      return sample.ms;
    }
  }
  return -1;
}

// `bytesPerSecond` for `seconds`, seen every `stepMs`.
std::vector<Sample> Steady(double bytesPerSecond, long seconds, long stepMs) {
  std::vector<Sample> samples;
  for (long ms = 0; ms <= seconds * 1000; ms += stepMs) {
    samples.push_back({ms, static_cast<std::uint64_t>(bytesPerSecond * static_cast<double>(ms) / 1000)});
  }
  return samples;
}

TEST(CarddavPaceTest, EndsWhatMovesTooLittleForTooLong) {
  struct Case {
    const char* what;
    std::vector<Sample> samples;
    long failsAt;
  } cases[] = {
      {"nothing at all", {{0, 0}, {59999, 0}, {60000, 0}}, 60000},
      {"a byte a second, for ever", Steady(1, 600, 1000), 60000},
      {"1,023 bytes a minute", Steady(1023.0 / 60, 600, 1000), 60000},
      {"18 bytes a second: a KiB each 57 s", Steady(18, 600, 1000), -1},
      {"50 KiB a second", Steady(50 * 1024, 600, 250), -1},
      {"a burst, then silence", {{0, 0}, {1000, 50000}, {60999, 50000}, {61000, 50000}}, 61000},
      {"a window started by a KiB", {{0, 0}, {30000, 1100}, {60000, 1500}, {89999, 2000}, {90000, 2100}}, 90000},
      {"a count that starts again (a redirect)", {{0, 0}, {1000, 3000}, {2000, 10}, {30000, 1100}, {89999, 1200}}, -1},
      {"and one that then stalls", {{0, 0}, {1000, 3000}, {2000, 10}, {60999, 900}, {61000, 900}}, 61000},
  };
  for (const Case& c : cases) EXPECT_EQ(FirstFailure(c.samples), c.failsAt) << c.what;
}

}  // namespace
