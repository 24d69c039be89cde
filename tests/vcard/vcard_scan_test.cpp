// Each bulk scanner against its byte-at-a-time twin on the same inputs:
// lengths on both sides of the 16-byte block edges, the searched bytes (and
// pairs of them) at every position, on fillers that are and are not found,
// with high bytes among them.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "vcard/vcard_scan.h"

namespace {

// Bytes every scanner looks at, or could take for one it looks at.
constexpr std::string_view kBytes(
    "\r\n \t qQbBaAeE;:\".+/=09azAZ@[`{x\x80\xEF\xCF\xFF\x00\x7F",
    35);
// Bytes put after the one placed, for the scanners that look at two.
constexpr std::string_view kSecond("\n\r \tbE", 6);
// What the rest of the bytes are: found by none, or by some of the scanners.
constexpr std::string_view kFillers("x \n\xEF", 4);
constexpr std::size_t kMaxLength = 50;
// Bytes after the end that a scanner reading up to `readable` may see;
// they hold marks the scanner must not report.
constexpr std::size_t kPadding = 16;

// Calls check(bytes, length) with `length` bytes (the first being the byte
// before the searched range) followed by kPadding readable bytes of ';'.
template <class Check>
void ForEachInput(Check&& check) {
  std::string bytes;
  for (const char filler : kFillers) {
    for (std::size_t length = 1; length <= kMaxLength; ++length) {
      for (std::size_t at = 0; at < length; ++at) {
        for (const char first : kBytes) {
          for (std::size_t second = 0; second <= kSecond.size(); ++second) {
            bytes.assign(length, filler);
            bytes[at] = first;
            if (second < kSecond.size() && at + 1 < length) bytes[at + 1] = kSecond[second];
            bytes.append(kPadding, ';');
            check(bytes, length);
            if (::testing::Test::HasFailure()) return;
          }
        }
      }
    }
  }
}

TEST(VcardScanTest, BulkScannersAnswerAsTheirPlainTwins) {
  ForEachInput([](const std::string& bytes, std::size_t length) {
    // A copy of exactly `length` bytes, so that a sanitizer sees a read past them.
    const std::unique_ptr<char[]> exact(new char[length]);
    std::memcpy(exact.get(), bytes.data(), length);
    const char* const begin = exact.get() + 1;  // exact[0] is the byte before
    const char* const end = exact.get() + length;
    const auto shown = [&] { return ::testing::PrintToString(bytes.substr(0, length)); };
    EXPECT_EQ(vcard::FindLineBreak(begin, end), vcard::plain::FindLineBreak(begin, end)) << shown();
    EXPECT_EQ(vcard::FindUnfoldingBreak(begin, end), vcard::plain::FindUnfoldingBreak(begin, end)) << shown();
    const std::string_view range(begin, static_cast<std::size_t>(end - begin));
    EXPECT_EQ(vcard::HasQOrB(range), vcard::plain::HasQOrB(range)) << shown();
    EXPECT_EQ(vcard::FindHeaderMark(begin, end, end), vcard::plain::FindHeaderMark(begin, end)) << shown();
    EXPECT_EQ(vcard::FindNonBase64(begin, end), vcard::plain::FindNonBase64(begin, end)) << shown();
    EXPECT_EQ(vcard::FindLineStartingWithABE(begin, end), vcard::plain::FindLineStartingWithABE(begin, end))
        << shown();
    // Bytes past the end that may be read hold marks that are not reported.
    const char* const padded = bytes.data();
    EXPECT_EQ(vcard::FindHeaderMark(padded + 1, padded + length, padded + length + kPadding) - padded,
              vcard::plain::FindHeaderMark(begin, end) - exact.get())
        << shown();
  });
}

TEST(VcardScanTest, UnitScannerAnswersAsItsPlainTwin) {
  // Units whose low or high byte alone is a searched one must not be found.
  const char16_t kUnits[] = {u'\\', u';', 0x5C5C, 0x3B00, 0x005B, 0xFF3B, u'あ', 0xFFFF};
  std::u16string text;
  for (std::size_t length = 0; length <= kMaxLength / 2; ++length) {
    for (std::size_t at = 0; at < length; ++at) {
      for (const char16_t first : kUnits) {
        for (const char16_t second : kUnits) {
          text.assign(length, u'x');
          text[at] = first;
          if (at + 3 < length) text[at + 3] = second;
          const char16_t* const begin = text.data();
          const char16_t* const end = begin + length;
          for (const auto& [a, b] : {std::pair{u';', u'\\'}, std::pair{u'\\', u'\\'}}) {
            ASSERT_EQ(vcard::FindEitherUnit(begin, end, a, b), vcard::plain::FindEitherUnit(begin, end, a, b))
                << "at " << at << " of " << length;
          }
        }
      }
    }
  }
}

}  // namespace
