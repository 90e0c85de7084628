#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

#include <emmintrin.h>

#include "estimator/frontier_keys.h"
#include "estimator/frontier_memory.h"

// The tables of one step of the frontier engine's sweep (frontier_engine.h): states beside their
// values, built through open-addressing indexes. Internal to the engine.
namespace frontier_detail {

// Room for `count` elements in a cleared array that is filled afresh each step. A step with
// more states than any before takes half as much again, so that the array is not given up for
// a slightly larger one on every step of a growing run: each new block's pages are cleared by
// the kernel as they are first touched, and on the larger grids that was a tenth of the work.
//
// A block more than twice the room needed is given up, lest its pages stay resident: a step's
// partitions each hold a share of its states, and the shares halve when their number doubles.
template <typename Vector>
void reserveGrowing(Vector& array, std::size_t count) {
  if (array.capacity() > 2 * count + 4096)
    Vector().swap(array);
  if (array.capacity() < count)
    array.reserve(count + count / 2);
}

// Bytes a new state takes besides its values while a vertex's pass runs: its key and two to four
// index slots. Half the cap is left for the table read and the lists.
inline constexpr double kNewStateBytes = 8.0 + 64.0;

// The states of one step beside their values, `width` cells a state, found through an
// open-addressing index of positions into the arrays.
template <typename Cell>
struct StateTable {
  HugePageVector<Key> keys;
  HugePageVector<Cell> cells;
  std::size_t width = 0;
};

// Builds the next step's table: an open-addressing index whose slots hold the key beside its
// position, so that a probe touches one cache line before the state's cells.
template <typename Cell>
class StateBuilder {
 public:
  void start(StateTable<Cell>& table, std::size_t width, std::size_t expected) {
    table_ = &table;
    table.keys.clear();
    table.cells.clear();
    table.width = width;
    reserveGrowing(table.keys, expected);
    reserveGrowing(table.cells, expected * width);
    resize(std::bit_ceil(std::max<std::size_t>(16, 2 * expected)));
  }

  void prefetch(Key key) const { __builtin_prefetch(&slots_[hashOf(key, shift_)]); }
  // Every cache line of the state's cells: with a few primes they straddle two lines, with
  // many they span three.
  void prefetchCells(std::size_t position) const {
    if (table_->width == 0)
      return;
    const char* first = reinterpret_cast<const char*>(cellsAt(position));
    const char* last = reinterpret_cast<const char*>(cellsAt(position) + table_->width) - 1;
    const auto line = [](const char* at) { return reinterpret_cast<std::uintptr_t>(at) >> 6; };
    for (const char* at = first; line(at) <= line(last); at += 64)
      __builtin_prefetch(at, 1);
  }

  // The position of state `key`, added with zero cells when new.
  std::size_t positionOf(Key key) {
    std::size_t slot = hashOf(key, shift_);
    while (slots_[slot].position >= 0) {
      if (slots_[slot].key == key)
        return static_cast<std::size_t>(slots_[slot].position);
      slot = (slot + 1) & mask_;
    }
    const std::size_t position = table_->keys.size();
    slots_[slot] = {key, static_cast<std::int64_t>(position)};
    table_->keys.push_back(key);
    table_->cells.insert(table_->cells.end(), table_->width, Cell{});
    if (2 * table_->keys.size() > slots_.size())
      grow();
    return position;
  }

  Cell* cellsAt(std::size_t position) const {
    return table_->cells.data() + position * table_->width;
  }

 private:
  struct Slot {
    Key key;
    std::int64_t position;  // -1: empty
  };

  void resize(std::size_t capacity) {
    if (2 * slots_.capacity() > 3 * capacity)
      std::vector<Slot>().swap(slots_);
    slots_.assign(capacity, Slot{0, -1});
    shift_ = 64 - std::countr_zero(capacity);
    mask_ = capacity - 1;
  }

  void grow() {
    resize(2 * slots_.size());
    for (std::size_t position = 0; position < table_->keys.size(); ++position) {
      std::size_t slot = hashOf(table_->keys[position], shift_);
      while (slots_[slot].position >= 0)
        slot = (slot + 1) & mask_;
      slots_[slot] = {table_->keys[position], static_cast<std::int64_t>(position)};
    }
  }

  StateTable<Cell>* table_ = nullptr;
  std::vector<Slot> slots_;
  int shift_ = 60;
  std::size_t mask_ = 0;
};

// Builds the next step's table with each state's cells beside its key in the slots of an
// open-addressing table, so that a lookup touches one or two cache lines instead of a slot and
// then the state's cells elsewhere, and the lines can be prefetched from the key's hash alone.
// For values of a few words (points, and the dry run's keys alone); a polynomial's tables are
// too wide to leave a third of the slots empty. The slots are copied into the table in slot
// order when the pass is done, which is the same order on any number of cores.
template <typename Cell>
class RecordBuilder {
 public:
  // Cells held in the record's words: a few residues, or none (the dry run's keys).
  static bool suits(std::size_t width) {
    return std::is_same_v<Cell, std::uint64_t> ? width <= 15 : std::is_empty_v<Cell> && width == 0;
  }

  // Slots for `expected` states and a fifth more; the table grows at 70% full, which the share
  // it is given (a quarter above an even part) reaches only past 1.05 even parts. The capacity is
  // not rounded to a power of two: a partition's share rounded up left as much as two thirds of a
  // step's records empty.
  void start(std::size_t width, std::size_t expected) {
    width_ = width;
    stride_ = width + 1;
    count_ = 0;
    resize(std::max<std::size_t>(16, expected + expected / 5));
  }

  // The first slot of `key`, whose record's lines (at most three for sixteen words) are
  // fetched meanwhile.
  std::size_t prefetch(Key key) const {
    const std::size_t slot = slotOf(key);
    const Key* record = records_.data() + slot * stride_;
    _mm_prefetch(reinterpret_cast<const char*>(record), _MM_HINT_T0);
    _mm_prefetch(reinterpret_cast<const char*>(record + width_ / 2), _MM_HINT_T0);
    _mm_prefetch(reinterpret_cast<const char*>(record + width_), _MM_HINT_T0);
    return slot;
  }

  // The cells of state `key`, added with zero cells when new; `slot` is its first slot from
  // prefetch, unless the table has grown since. Valid until the next call.
  Cell* cellsOf(Key key, std::size_t slot, std::size_t capacity) {
    if (capacity != capacity_)
      slot = slotOf(key);
    while (true) {
      Key* record = &records_[slot * stride_];
      if (record[0] == key)
        return cellsIn(record);
      if (record[0] == kEmpty)
        break;
      if (++slot == capacity_)
        slot = 0;
    }
    if (10 * (count_ + 1) > 7 * capacity_) {
      grow();
      return cellsOf(key, 0, 0);
    }
    ++count_;
    Key* record = &records_[slot * stride_];
    record[0] = key;
    std::fill(record + 1, record + stride_, Key{0});
    return cellsIn(record);
  }

  std::size_t size() const { return count_; }
  std::size_t capacity() const { return capacity_; }

  // The states into `keys` and `cells`, which have room for size() of them, in slot order.
  void finish(Key* keys, Cell* cells) const {
    for (std::size_t slot = 0; slot < capacity_; ++slot) {
      const Key* record = &records_[slot * stride_];
      if (record[0] == kEmpty)
        continue;
      *keys++ = record[0];
      if constexpr (std::is_same_v<Cell, std::uint64_t>)
        cells = std::copy(record + 1, record + stride_, cells);
    }
  }

 private:
  // No canonical key: its first position is always in block 0.
  static constexpr Key kEmpty = ~Key{0};

  static Cell* cellsIn(Key* record) {
    if constexpr (std::is_same_v<Cell, std::uint64_t>)
      return record + 1;
    else
      return nullptr;  // no cells: nothing is read or written through it
  }

  // The key's first slot: the high word of its mixed key times the capacity, which spreads
  // the keys over any number of slots.
  std::size_t slotOf(Key key) const {
    return static_cast<std::size_t>((DoubleWord{mixed(key)} * capacity_) >> 64);
  }

  // A block kept from a larger step is given up when it is half as large again as needed.
  void resize(std::size_t capacity) {
    capacity_ = capacity;
    if (records_.capacity() > 3 * capacity * stride_ / 2)
      std::vector<Key>().swap(records_);
    records_.assign(capacity * stride_, kEmpty);
  }

  void grow() {
    std::vector<Key> old;
    old.swap(records_);
    resize(2 * capacity_);
    for (std::size_t at = 0; at < old.size(); at += stride_) {
      if (old[at] == kEmpty)
        continue;
      std::size_t slot = slotOf(old[at]);
      while (records_[slot * stride_] != kEmpty)
        if (++slot == capacity_)
          slot = 0;
      std::copy(old.begin() + at, old.begin() + at + stride_, records_.begin() + slot * stride_);
    }
  }

  std::vector<Key> records_;  // key, then width_ cells; kEmpty: a free slot
  std::size_t width_ = 0, stride_ = 1, count_ = 0, capacity_ = 16;
};

}  // namespace frontier_detail
