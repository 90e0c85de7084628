#pragma once

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

// Plain values written as bytes and read back in the order they were written, for what the
// processes of a run send one another. Every process runs the same build on the same kind of
// machine, so the bytes are the values' own.
class BytePacker {
 public:
  template <typename Value>
  void put(const Value& value) {
    static_assert(std::is_trivially_copyable_v<Value>);
    append(&value, sizeof(Value));
  }
  template <typename Value>
  void putAll(const std::vector<Value>& values) {
    static_assert(std::is_trivially_copyable_v<Value>);
    put(static_cast<std::uint64_t>(values.size()));
    append(values.data(), values.size() * sizeof(Value));
  }
  void putText(const std::string& text) {
    put(static_cast<std::uint64_t>(text.size()));
    append(text.data(), text.size());
  }
  std::string& bytes() { return bytes_; }

 private:
  void append(const void* data, std::size_t size) {
    if (size > 0)
      bytes_.append(static_cast<const char*>(data), size);
  }

  std::string bytes_;
};

// Reads what a BytePacker wrote; throws std::runtime_error when the bytes run out.
class ByteUnpacker {
 public:
  // The bytes must outlive the reader.
  explicit ByteUnpacker(const std::string& bytes) : bytes_(bytes) {}
  explicit ByteUnpacker(std::string&&) = delete;
  template <typename Value>
  Value get() {
    static_assert(std::is_trivially_copyable_v<Value>);
    Value value;
    copy(&value, sizeof(Value));
    return value;
  }
  template <typename Value>
  void getAll(std::vector<Value>& values) {
    const auto count = get<std::uint64_t>();
    if (count > (bytes_.size() - at_) / sizeof(Value))
      throw std::runtime_error("a process sent fewer bytes than it announced");
    const std::size_t start = values.size();
    values.resize(start + count);
    copy(values.data() + start, count * sizeof(Value));
  }
  std::string getText() {
    const auto size = get<std::uint64_t>();
    if (size > bytes_.size() - at_)
      throw std::runtime_error("a process sent fewer bytes than it announced");
    std::string text = bytes_.substr(at_, size);
    at_ += size;
    return text;
  }
  bool done() const { return at_ == bytes_.size(); }

 private:
  void copy(void* to, std::size_t size) {
    if (size > bytes_.size() - at_)
      throw std::runtime_error("a process sent fewer bytes than it announced");
    if (size > 0)
      std::memcpy(to, bytes_.data() + at_, size);
    at_ += size;
  }

  const std::string& bytes_;
  std::size_t at_ = 0;
};
