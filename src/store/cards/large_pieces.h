// The budget of large pieces of cards in memory at once, shared by the card
// decoder's threads and the index.
#pragma once

#include <cstddef>

namespace store {

// Large pieces of cards (a card's bytes read to be decoded, taking up to
// kDecodeFactor times as much while decoded; a window of a file read whole)
// are in memory together up to a budget, and a larger one alone, so that two
// threads on two large cards never need twice the memory of one. Holding
// waits for room; smaller pieces are not counted.
inline constexpr std::size_t kLargePiece = std::size_t{16} << 20;
inline constexpr std::size_t kDecodeFactor = 8;
void HoldLargePiece(std::size_t bytes);
void LetGoLargePiece(std::size_t bytes);
inline void HoldLargeBytes(std::size_t bytes) {
  if (bytes >= kLargePiece) HoldLargePiece(bytes);
}
inline void LetGoLargeBytes(std::size_t bytes) {
  if (bytes >= kLargePiece) LetGoLargePiece(bytes);
}

}  // namespace store
