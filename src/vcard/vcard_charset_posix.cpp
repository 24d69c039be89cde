// The platform's charset converter on POSIX systems: iconv, to UTF-16LE.
#include "vcard/vcard_charset.h"

#include <iconv.h>

#include <array>
#include <cerrno>

namespace vcard::platform_charset {
namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);
constexpr char kTarget[] = "UTF-16LE";
constexpr char16_t kReplacement = u'\uFFFD';

// The converters one thread opened, one per slot, kept until the thread
// ends: the reader decodes on two threads, and an iconv_t holds the state
// of one conversion at a time.
struct Converter {
  std::string name;
  iconv_t cd = kNoConverter;
};

struct Converters {
  std::array<Converter, kSlots> slots;
  ~Converters() {
    for (Converter& c : slots) {
      if (c.cd != kNoConverter) iconv_close(c.cd);
    }
  }
};

iconv_t ConverterFor(std::size_t slot, const std::string& name) {
  thread_local Converters converters;
  Converter& c = converters.slots[slot];
  // A slot whose name turned out unusable is given to the next name.
  if (c.cd != kNoConverter && c.name == name) return c.cd;
  if (c.cd != kNoConverter) iconv_close(c.cd);
  c.cd = iconv_open(kTarget, name.c_str());
  c.name = name;
  return c.cd;
}

void AppendUnits(const char* bytes, std::size_t size, std::u16string& out) {
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    out.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                        static_cast<unsigned char>(bytes[i + 1]) << 8));
  }
}

}  // namespace

bool Knows(const std::string& name) {
  const iconv_t cd = iconv_open(kTarget, name.c_str());
  if (cd == kNoConverter) return false;
  iconv_close(cd);
  return true;
}

void Append(std::size_t slot, const std::string& name, std::string_view bytes, std::u16string& out) {
  const iconv_t cd = ConverterFor(slot, name);
  if (cd == kNoConverter) {
    out.append(bytes.size(), kReplacement);
    return;
  }
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // the initial shift state
  char* in = const_cast<char*>(bytes.data());
  std::size_t in_left = bytes.size();
  std::array<char, 4096> buffer;
  while (in_left > 0) {
    char* w = buffer.data();
    std::size_t w_left = buffer.size();
    const std::size_t done = iconv(cd, &in, &in_left, &w, &w_left);
    const int error = errno;
    AppendUnits(buffer.data(), static_cast<std::size_t>(w - buffer.data()), out);
    if (done != static_cast<std::size_t>(-1) || error == E2BIG) continue;
    // A byte that starts no character is one U+FFFD, as in the built-in
    // charsets; a character cut off at the end is one more.
    out.push_back(kReplacement);
    if (error != EILSEQ) break;
    ++in;
    --in_left;
  }
  char* w = buffer.data();
  std::size_t w_left = buffer.size();
  iconv(cd, nullptr, nullptr, &w, &w_left);  // back to the initial state
  AppendUnits(buffer.data(), static_cast<std::size_t>(w - buffer.data()), out);
}

}  // namespace vcard::platform_charset
