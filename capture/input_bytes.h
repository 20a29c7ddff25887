// The pieces the capture readers are built from (capture/capture_input.h): the bytes of an input
// as they come (a file, a stream, memory, or what libarchive makes of them), the bytes read ahead
// to tell the format, and the base of the readers that decode a format into the KISS stream.
// Internal to the readers.
#ifndef PACKSCOPE_CAPTURE_INPUT_BYTES_H_
#define PACKSCOPE_CAPTURE_INPUT_BYTES_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "capture/capture_input.h"

namespace packscope::input_internal {

// Bytes as they come.
class InputBytes {
 public:
  virtual ~InputBytes() = default;
  // Up to size bytes, at least one unless the bytes have ended (0). Throws CaptureUnreadable and
  // PassCancelled.
  virtual std::size_t Read(std::uint8_t* buffer, std::size_t size) = 0;
};

// Bytes read ahead, handed out again before the rest of inner's; small reads are served from a
// block read ahead. A file (fill) fills a large read whole also behind bytes held; a stream
// hands out what it holds at once.
class PeekedBytes : public InputBytes {
 public:
  PeekedBytes(InputBytes& inner, bool fill) : inner_(inner), fill_(fill) {}
  // Reads ahead until more than held bytes are held or inner has ended; the bytes held. False
  // once inner has ended.
  bool PeekMore();
  std::string_view Held() const { return std::string_view(held_).substr(at_); }
  bool Ended() const { return ended_; }
  std::size_t Read(std::uint8_t* buffer, std::size_t size) override;

 private:
  InputBytes& inner_;
  bool fill_;
  std::string held_;
  std::size_t at_ = 0;
  bool ended_ = false;
};

// What a reader reads from: the input's bytes, and the layers on them.
struct InputChain {
  std::string name;  // CaptureName of the capture, for messages
  InputCompression compression = InputCompression::kNone;
  std::int64_t size = -1;
  const std::int64_t* consumed = nullptr;  // bytes taken from the input itself
  std::vector<std::unique_ptr<InputBytes>> layers;
  InputBytes* top = nullptr;  // where the reader reads
  // Why compressed data ended early, once it did (what came before it was read).
  std::string compression_damage;
};

// The libarchive layer over inner: the data of a compressed stream (any filter libarchive knows),
// read as it streams. Its damage goes to chain.compression_damage.
std::unique_ptr<InputBytes> MakeArchiveBytes(InputBytes& inner, InputChain& chain);

// A reader that decodes a format into the KISS stream a piece at a time (a packet, a line).
class DecodingInput : public CaptureInput {
 public:
  explicit DecodingInput(std::unique_ptr<InputChain> chain, InputFormat format)
      : chain_(std::move(chain)), format_(format) {}
  std::size_t Read(std::uint8_t* buffer, std::size_t size) final;
  std::int64_t Size() const final { return chain_->size; }
  std::int64_t Consumed() const final { return *chain_->consumed; }
  InputKind Kind() const final { return {format_, chain_->compression}; }
  void TakeDamage(std::vector<InputDamage>& out) final;

 protected:
  // Appends the next piece of the stream to out; false at its end (out may have grown still).
  virtual bool Produce(std::vector<std::uint8_t>& out) = 0;
  // Damage at the place of the stream reached so far (behind what Produce appended).
  void Damage(InputDamageKind kind, std::string text);
  // Appends a frame (un-escaped, type byte first) as stored, and a binary stamp of millis before
  // it when that differs from the last stamp appended (none for millis < 0: no time).
  void AppendFrame(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> frame,
                   std::int64_t millis);
  InputChain& Chain() { return *chain_; }

 private:
  std::unique_ptr<InputChain> chain_;
  InputFormat format_;
  std::vector<std::uint8_t> out_;
  std::size_t out_at_ = 0;
  std::int64_t handed_ = 0;  // bytes of the stream handed out
  std::int64_t stream_ = 0;  // bytes of the stream before out_
  bool ended_ = false;
  std::int64_t last_stamp_ = -1;
  std::vector<InputDamage> damage_;
  std::size_t damage_taken_ = 0;
};

std::unique_ptr<CaptureInput> MakePcapInput(std::unique_ptr<InputChain> chain, InputFormat format);
std::unique_ptr<CaptureInput> MakeTnc2Input(std::unique_ptr<InputChain> chain);

// Whether the bytes peeked so far tell a file of TNC2 lines (capture/capture_input.h): true or
// false once they tell, nothing while more bytes are needed. at_end: no more will come.
enum class Tnc2Guess { kYes, kNo, kMore };
Tnc2Guess GuessTnc2(std::string_view peeked, bool at_end);

}  // namespace packscope::input_internal

#endif  // PACKSCOPE_CAPTURE_INPUT_BYTES_H_
