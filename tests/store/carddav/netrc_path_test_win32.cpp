// Where the netrc file is looked for on Windows.
#include <windows.h>

#include <gtest/gtest.h>

#include "store/carddav/netrc.h"

namespace {

TEST(NetrcPathWin32Test, NetrcThenProfileThenHome) {
  const wchar_t* names[] = {L"NETRC", L"USERPROFILE", L"HOME"};
  struct Case {
    const wchar_t* values[3];  // nullptr: unset
    const char* path;          // nullptr: none
  } cases[] = {
      {{L"D:\\keys\\my.netrc", L"C:\\Users\\eve", L"H:\\"}, "D:\\keys\\my.netrc"},
      {{L"", L"C:\\Users\\eve", L"H:\\"}, "C:\\Users\\eve\\_netrc"},  // empty is unset
      {{nullptr, nullptr, L"H:\\home\\eve"}, "H:\\home\\eve\\_netrc"},
      {{nullptr, nullptr, nullptr}, nullptr},
  };
  wchar_t saved[3][512];
  bool had[3];
  for (int i = 0; i < 3; ++i) had[i] = GetEnvironmentVariableW(names[i], saved[i], 512) > 0;
  for (const Case& c : cases) {
    for (int i = 0; i < 3; ++i) SetEnvironmentVariableW(names[i], c.values[i]);
    const std::optional<std::string> path = carddav::NetrcPath();
    EXPECT_EQ(path.value_or("(none)"), c.path ? c.path : "(none)");
  }
  for (int i = 0; i < 3; ++i) SetEnvironmentVariableW(names[i], had[i] ? saved[i] : nullptr);
}

}  // namespace
