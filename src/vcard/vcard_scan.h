// Searching a vCard's bytes in bulk: 16 bytes at a time where the processor
// has SSE2 (text/simd.h), a byte at a time elsewhere. Each scanner has a
// plain twin in vcard::plain that answers the same question with the
// byte-at-a-time loop alone; the scanner runs that loop on the bytes after
// its last block, and the tests hold the two to the same answers.
#pragma once

#include <string_view>

namespace vcard {

// The first CR or LF in [p, end); end when there is none.
const char* FindLineBreak(const char* p, const char* end);

inline bool HasLineBreak(std::string_view bytes) {
  return FindLineBreak(bytes.data(), bytes.data() + bytes.size()) != bytes.data() + bytes.size();
}

// The first CR or LF at some i in [p, end - 1) after which comes neither a
// space nor a tab, nor (for a CR) an LF: where a run of folded lines may
// end. end when there is none.
const char* FindUnfoldingBreak(const char* p, const char* end);

// Whether `bytes` hold a Q or a B, in either case.
bool HasQOrB(std::string_view bytes);

// The first ';', ':', '"' or '.' in [p, end): the bytes that shape a
// content line's name and parameters. Bytes up to `readable` (at or after
// end) may be read in blocks.
const char* FindHeaderMark(const char* p, const char* end, const char* readable);

// The first unit in [p, end) that is `a` or `b`; end when there is none.
const char16_t* FindEitherUnit(const char16_t* p, const char16_t* end, char16_t a, char16_t b);

// The first byte in [p, end) that is neither a base64 character
// (A-Z a-z 0-9 + / =), a space, a tab, CR nor LF; end when there is none.
const char* FindNonBase64(const char* p, const char* end);

// The first x in [p, end) whose byte before is CR or LF and whose own byte
// is A, B or E in either case: where a BEGIN, END or AGENT line may start,
// also behind a byte-order mark, so 0xEF (and 0xCF) stops it too.
// p[-1] must be readable.
const char* FindLineStartingWithABE(const char* p, const char* end);

// The same searches a byte (or unit) at a time.
namespace plain {
const char* FindLineBreak(const char* p, const char* end);
const char* FindUnfoldingBreak(const char* p, const char* end);
bool HasQOrB(std::string_view bytes);
const char* FindHeaderMark(const char* p, const char* end);
const char16_t* FindEitherUnit(const char16_t* p, const char16_t* end, char16_t a, char16_t b);
const char* FindNonBase64(const char* p, const char* end);
const char* FindLineStartingWithABE(const char* p, const char* end);
}  // namespace plain

}  // namespace vcard
