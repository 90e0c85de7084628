#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>

#include <emmintrin.h>

// The frontier engine's states (frontier_engine.h): a partition of the frontier packed four bits a
// vertex into one word, its blocks numbered by first appearance, and the relabelling of a
// state's blocks as edges merge them and vertices leave, in SSE2 byte operations. Internal to
// the engine.
namespace frontier_detail {

using Key = std::uint64_t;
__extension__ using DoubleWord = unsigned __int128;

inline int labelAt(Key key, int position) {
  return static_cast<int>((key >> (4 * position)) & 15);
}

// The sixteen labels of a key, one a byte, and back: relabelling then takes a few vector
// operations instead of a loop over the positions.
inline __m128i unpacked(Key key) {
  const __m128i nibbles = _mm_cvtsi64_si128(static_cast<long long>(key));
  const __m128i low = _mm_set1_epi8(0x0F);
  return _mm_unpacklo_epi8(_mm_and_si128(nibbles, low),
                           _mm_and_si128(_mm_srli_epi16(nibbles, 4), low));
}

inline Key packed(__m128i labels) {
  const __m128i even = _mm_and_si128(labels, _mm_set1_epi16(0x00FF));
  const __m128i odd = _mm_srli_epi16(labels, 8);
  const __m128i pairs = _mm_or_si128(even, _mm_slli_epi16(odd, 4));
  return static_cast<Key>(_mm_cvtsi128_si64(_mm_packus_epi16(pairs, pairs)));
}

// The key with a vertex appended at `size` in a block of its own, numbered after the others:
// one more than the highest label, found in a few vector operations.
inline Key withNewBlock(Key key, int size) {
  if (size == 0)
    return key;
  const __m128i positions = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  __m128i highest = _mm_and_si128(
      unpacked(key), _mm_cmpgt_epi8(_mm_set1_epi8(static_cast<char>(size)), positions));
  highest = _mm_max_epu8(highest, _mm_srli_si128(highest, 8));
  highest = _mm_max_epu8(highest, _mm_srli_si128(highest, 4));
  highest = _mm_max_epu8(highest, _mm_srli_si128(highest, 2));
  highest = _mm_max_epu8(highest, _mm_srli_si128(highest, 1));
  const Key blocks = static_cast<Key>(_mm_cvtsi128_si32(highest) & 0xFF) + 1;
  return key | (blocks << (4 * size));
}

// The labels above `label` moved down by one: what keeps a key canonical when the block of that
// label vanishes without changing the order in which the others first appear.
inline __m128i closingGap(__m128i labels, int label) {
  const __m128i above = _mm_cmpgt_epi8(labels, _mm_set1_epi8(static_cast<char>(label)));
  return _mm_add_epi8(labels, above);  // -1 where above
}

// The label at a position of unpacked labels.
inline int labelIn(__m128i labels, int position) {
  const auto low = static_cast<std::uint64_t>(_mm_cvtsi128_si64(labels));
  const auto high =
      static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(labels, labels)));
  return static_cast<int>(((position < 8 ? low : high) >> (8 * (position & 7))) & 0xFF);
}

inline __m128i positionsBelow(int limit) {
  const __m128i positions = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  return _mm_cmpgt_epi8(_mm_set1_epi8(static_cast<char>(limit)), positions);
}

// Merging two blocks joins the later-numbered into the earlier, whose first position comes
// first: the others keep their order.
inline __m128i merged(__m128i labels, int keep, int gone) {
  const __m128i isGone = _mm_cmpeq_epi8(labels, _mm_set1_epi8(static_cast<char>(gone)));
  labels = _mm_or_si128(_mm_andnot_si128(isGone, labels),
                        _mm_and_si128(isGone, _mm_set1_epi8(static_cast<char>(keep))));
  return closingGap(labels, gone);
}

// Canonical labels but for the block of `label`, which now first appears at position `first`
// rather than before the blocks first met between: those move down by one label, and it takes
// the highest of theirs. Blocks of labels above `label` first appear after its old first
// position, so the highest label before `first` tells how many came between. The same as
// renumbering the blocks by first appearance, in a few vector operations instead of a loop
// with a branch a position.
inline __m128i withBlockMovedBack(__m128i labels, int size, int label, int first) {
  __m128i highest = _mm_and_si128(labels, positionsBelow(first));
  highest = _mm_max_epu8(highest, _mm_srli_si128(highest, 8));
  highest = _mm_max_epu8(highest, _mm_srli_si128(highest, 4));
  highest = _mm_max_epu8(highest, _mm_srli_si128(highest, 2));
  highest = _mm_max_epu8(highest, _mm_srli_si128(highest, 1));
  const int top = _mm_cvtsi128_si32(highest) & 0xFF;
  if (top <= label)
    return labels;
  const __m128i isLabel = _mm_and_si128(
      positionsBelow(size), _mm_cmpeq_epi8(labels, _mm_set1_epi8(static_cast<char>(label))));
  const __m128i between =
      _mm_and_si128(_mm_cmpgt_epi8(labels, _mm_set1_epi8(static_cast<char>(label))),
                    _mm_cmpgt_epi8(_mm_set1_epi8(static_cast<char>(top + 1)), labels));
  const __m128i moved = _mm_add_epi8(labels, between);  // -1 where between
  return _mm_or_si128(_mm_andnot_si128(isLabel, moved),
                      _mm_and_si128(isLabel, _mm_set1_epi8(static_cast<char>(top))));
}

// The labels without `position` (those above move down one place, a zero comes in at the top),
// and whether its vertex was the last of its block.
inline __m128i without(__m128i labels, int size, int position, bool& lastOfBlock) {
  const int label = labelIn(labels, position);
  const unsigned inFrontier = (1u << size) - 1;
  const unsigned sameBlock = static_cast<unsigned>(_mm_movemask_epi8(
                                 _mm_cmpeq_epi8(labels, _mm_set1_epi8(static_cast<char>(label))))) &
                             inFrontier;
  lastOfBlock = sameBlock == (1u << position);
  const __m128i below = positionsBelow(position);
  const __m128i rest = _mm_or_si128(_mm_and_si128(below, labels),
                                    _mm_andnot_si128(below, _mm_srli_si128(labels, 1)));
  if (lastOfBlock)
    return closingGap(rest, label);
  // The block's first position moves on when the vertex leaving was it, which can put the block
  // behind others.
  if (std::countr_zero(sameBlock) == position)
    return withBlockMovedBack(rest, size - 1, label,
                              std::countr_zero(sameBlock & ~(1u << position)) - 1);
  return rest;
}

inline Key mixed(Key key) {
  key ^= key >> 31;
  key *= 0xbf58476d1ce4e5b9ULL;
  key ^= key >> 29;
  return key * 0x94d049bb133111ebULL;
}

// The index slot: the top bits of the mixed key.
inline std::size_t hashOf(Key key, int shift) {
  return static_cast<std::size_t>(mixed(key) >> shift);
}

// The states are shared out among partitions by bits of the mixed key that no index of fewer
// than 2^32 slots uses, so that the partitions' tables are built side by side, and in the same
// way on any number of cores. A step takes as many partitions (a power of two) as keep each
// partition's table within a core's own cache.
inline constexpr std::size_t kMinPartitions = 8, kMaxPartitions = 4096;

inline std::size_t partitionOf(Key key, std::size_t partitions) {
  return static_cast<std::size_t>(mixed(key) >> 20) & (partitions - 1);
}

}  // namespace frontier_detail
