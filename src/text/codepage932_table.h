// The code page 932 records generated from Microsoft's bestfit932.txt
// (codepage932_table.cpp, made by tools/gen_codepage932.py). Internal to
// codepage932.cpp and its test; everyone else uses codepage932.h.
#pragma once

#include <cstdint>
#include <span>

namespace cp932::table {

struct Pair {
  std::uint16_t key;
  std::uint16_t value;
};

// Each view is sorted by key and has no duplicate keys.
extern const std::span<const Pair> kSingleByte;      // byte -> UTF-16 (MBTABLE)
extern const std::span<const Pair> kLeadByteRanges;  // first -> last lead byte
extern const std::span<const Pair> kDoubleByte;      // lead << 8 | trail -> UTF-16
// UTF-16 code unit -> code (WCTABLE); a value above 0xFF is lead << 8 | trail.
extern const std::span<const Pair> kWideChar;

}  // namespace cp932::table
