// Where the cards of a vCard file lie: the one scanner of BEGIN:VCARD and
// END:VCARD lines. FindCards follows a whole file (or a window of it) line
// by line, nested AGENT cards and cards cut off included; the boundary
// searches find where a large file may be cut into windows so that no card
// is split, looking only at the lines around each cut.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace vcard {

// The bytes of one card in its file: from its BEGIN:VCARD line to the end of
// its END:VCARD line (or to the end of the file for a card cut off there).
struct CardExtent {
  std::size_t offset = 0;
  std::size_t length = 0;
};

// The cards of a whole file, in file order. The file's own encoding (UTF-8,
// code page 932, UTF-16 with a byte-order mark) is taken into account.
std::vector<CardExtent> FindCards(std::string_view file);

// A card boundary in bytes (not UTF-16) is the start of a line "BEGIN:VCARD"
// (any case, ended by CR or LF) whose previous non-blank line is "END:VCARD",
// so that a card nested inside another is never cut from it.

// The last card boundary in `window`, or 0 when there is none: where a file
// of `window` bytes may be cut.
std::size_t LastCardBoundary(std::string_view window);

// The first card boundary at or after `from` in `text`, or npos.
std::size_t FirstCardBoundary(std::string_view text, std::size_t from);

}  // namespace vcard
