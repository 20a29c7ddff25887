// JSON text written value by value into one buffer that is kept from value to value: RapidJSON's
// Writer puts the commas, colons and brackets and writes the integers; texts and fractions are
// written as render/json_text.h writes them. Nothing allocates once the buffer has grown to the
// longest text written.
//
//   JsonWriter w;                      {"frame":3,"call":"QQ0QQ-1","lat":48.1505,"hex":"00 41"}
//   w.StartObject(); w.Key("frame"); w.Int(3); w.Key("call"); w.String(call); ...
//   w.EndObject(); w.Text().push_back('\n'); sink.Write(w.Text()); w.Clear(); w.Next();
#ifndef PACKSCOPE_RENDER_JSON_WRITER_H_
#define PACKSCOPE_RENDER_JSON_WRITER_H_

#include <rapidjson/writer.h>

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "render/json_text.h"

namespace packscope {
// Names the Writer's level stack below; allocates nothing itself.
struct JsonLevelAllocator {};
}  // namespace packscope

namespace rapidjson::internal {
// The Writer's stack of open objects and arrays, holding room for its levels from the start:
// RapidJSON 1.1.0's own adds an offset to a null pointer before its first allocation (undefined
// behaviour, which the sanitizers stop at).
template <>
class Stack<packscope::JsonLevelAllocator> {
 public:
  Stack(packscope::JsonLevelAllocator*, std::size_t capacity)
      : bytes_(capacity / sizeof(std::max_align_t) + 1) {}

  template <typename T>
  T* Push(std::size_t count = 1) {
    const std::size_t end = top_ + sizeof(T) * count;
    if (end > bytes_.size() * sizeof(std::max_align_t)) {
      bytes_.resize(2 * (end / sizeof(std::max_align_t) + 1));
    }
    T* at = reinterpret_cast<T*>(Base() + top_);
    top_ = end;
    return at;
  }
  template <typename T>
  T* Pop(std::size_t count) {
    top_ -= sizeof(T) * count;
    return reinterpret_cast<T*>(Base() + top_);
  }
  template <typename T>
  T* Top() {
    return reinterpret_cast<T*>(Base() + top_ - sizeof(T));
  }
  void Clear() { top_ = 0; }
  bool Empty() const { return top_ == 0; }
  std::size_t GetSize() const { return top_; }

 private:
  char* Base() { return reinterpret_cast<char*>(bytes_.data()); }

  std::vector<std::max_align_t> bytes_;
  std::size_t top_ = 0;
};
}  // namespace rapidjson::internal

namespace packscope {

class JsonWriter {
 public:
  JsonWriter() : writer_(stream_) {}

  // The text written; Clear() empties it.
  std::string& Text() { return stream_.text; }
  void Clear() { stream_.text.clear(); }
  // Starts the next value behind the text written (a line of JSON Lines after the last).
  void Next() { writer_.Reset(stream_); }

  void StartObject() { writer_.StartObject(); }
  void EndObject() { writer_.EndObject(); }
  void StartArray() { writer_.StartArray(); }
  void EndArray() { writer_.EndArray(); }
  // The Writer places these; their text goes in at once rather than a character at a time.
  void Null() { Raw().append("null", 4); }
  void Bool(bool b) {
    if (b) {
      Raw().append("true", 4);
    } else {
      Raw().append("false", 5);
    }
  }
  void Int(std::int64_t n) { AppendInteger(Raw(), n); }
  void Uint(std::uint64_t n) { AppendInteger(Raw(), n); }
  void Fraction(double v, FractionDigits digits = FractionDigits::kJson) {
    AppendJsonFraction(Raw(), v, digits);
  }
  void String(std::string_view utf8) { AppendJsonString(Raw(), utf8); }
  // A key written in the program's text: a literal that needs no escapes.
  // Quoted once, when the program is compiled.
  class Literal {
   public:
    template <std::size_t N>
    consteval Literal(const char (&key)[N]) {  // NOLINT: literals convert
      static_assert(N + 1 <= sizeof quoted_, "a key this long needs a longer Literal");
      quoted_[0] = '"';
      for (std::size_t i = 0; i + 1 < N; ++i) {
        const char c = key[i];
        if (c < 0x20 || c == '"' || c == '\\' || static_cast<unsigned char>(c) >= 0x7F) {
          throw "a key the writer would have to escape";
        }
        quoted_[i + 1] = c;
      }
      quoted_[N] = '"';
      size_ = static_cast<std::uint8_t>(N + 1);
    }
    std::string_view Quoted() const { return {quoted_, size_}; }

   private:
    char quoted_[31] = {};
    std::uint8_t size_ = 0;
  };
  void Key(const Literal& key) {
    writer_.Prefix(rapidjson::kStringType);
    stream_.text.append(key.Quoted());
  }
  // Any other key: UTF-8, escaped as String escapes texts.
  void TextKey(std::string_view utf8) {
    writer_.Prefix(rapidjson::kStringType);
    AppendJsonString(stream_.text, utf8);
  }
  // The hex text of bytes without its final blank, "00 41 42", as a JSON text.
  void Hex(std::span<const std::uint8_t> bytes);

  // The text to append one value's JSON to, after the comma or colon before it.
  std::string& Raw() {
    writer_.Prefix(rapidjson::kNumberType);
    return stream_.text;
  }

 private:
  template <typename T>
  static void AppendInteger(std::string& out, T n) {
    char buf[24];
    const auto end = std::to_chars(buf, buf + sizeof buf, n).ptr;  // 24 hold every 64-bit integer
    out.append(buf, end);
  }

  struct Stream {
    using Ch = char;
    void Put(char c) { text.push_back(c); }
    void Flush() {}
    std::string text;
  };
  using Base = rapidjson::Writer<Stream, rapidjson::UTF8<>, rapidjson::UTF8<>, JsonLevelAllocator>;
  struct Writer : Base {
    using Base::Base;
    using Base::Prefix;
  };

  Stream stream_;
  Writer writer_;
};

}  // namespace packscope

#endif  // PACKSCOPE_RENDER_JSON_WRITER_H_
