// The pcap layout: a classic libpcap file (microsecond time stamps) of link type 202,
// LINKTYPE_AX25_KISS. Each record holds one un-escaped KISS frame from its type byte on, as
// Wireshark's KISS dissector expects:
//
//   file header   24 bytes, written by libpcap (magic, version 2.4, snaplen, link type 202)
//   per frame     16-byte record header: seconds, microseconds, captured length, length
//                 FrameBytes positions 1 .. FrameLength
//
// The record time is the time the frame carries (StampClock), or 0 when it carries none. Empty
// frames give records of length 0, so record n is the n-th frame that is not a timestamp frame.
//
// libpcap writes to a FILE*; that stream is a fopencookie() stream whose writes go to the
// command's OutputFile, so the pcap file, too, is written whole or not at all.
#include <pcap/pcap.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <limits>

#include "capture/errors.h"
#include "commands/frame_text.h"
#include "commands/layouts.h"

namespace packscope {
namespace {

static_assert(kMaxFrameLength <= 262144, "pcap records of this link type hold 256 KiB at most");

class PcapWriter : public FrameWriter {
 public:
  explicit PcapWriter(LineSink& out) : out_(out) {
    pcap_ = ::pcap_open_dead(DLT_AX25_KISS, kMaxFrameLength);
    if (pcap_ == nullptr) throw CommandError("libpcap cannot set up a pcap file of AX.25 frames.");
    cookie_io_functions_t io{};
    io.write = &PcapWriter::StreamWrite;
    FILE* stream = ::fopencookie(this, "w", io);
    if (stream == nullptr) {
      const int e = errno;
      Close();
      throw CommandError(ErrnoMessage("Cannot set up the pcap output", e));
    }
    // OutputFile buffers already; every libpcap write goes straight through.
    std::setvbuf(stream, nullptr, _IONBF, 0);
    dumper_ = ::pcap_dump_fopen(pcap_, stream);
    if (dumper_ == nullptr) {
      const std::string why = ::pcap_geterr(pcap_);
      std::fclose(stream);
      Close();
      RethrowWriteError();
      throw CommandError("libpcap cannot start the pcap file: " + why);
    }
    try {
      RethrowWriteError();
    } catch (...) {
      Close();
      throw;
    }
  }
  ~PcapWriter() override { Close(); }
  PcapWriter(const PcapWriter&) = delete;
  PcapWriter& operator=(const PcapWriter&) = delete;

  void OnFrame(const DecoderState& state, const FrameInfo& info) override {
    if (info.timestamp) {
      clock_.Update(state);
      return;
    }
    const std::span<const std::uint8_t> frame = KissFrame(state);
    pcap_pkthdr header{};
    const std::optional<std::int64_t>& millis = clock_.Millis();
    // The file holds 32-bit unsigned seconds: times before 1970 or after 2106 become 0.
    if (millis && *millis >= 0 && *millis / 1000 <= std::numeric_limits<std::uint32_t>::max()) {
      header.ts.tv_sec = static_cast<time_t>(*millis / 1000);
      header.ts.tv_usec = static_cast<suseconds_t>(*millis % 1000 * 1000);
    }
    header.caplen = static_cast<bpf_u_int32>(frame.size());
    header.len = header.caplen;
    ::pcap_dump(reinterpret_cast<u_char*>(dumper_), &header, frame.data());
    RethrowWriteError();
  }

  // The frame's bytes and the stamp clock only.
  FrameTexts Reads() const override { return FrameTexts::None(); }

  void Finish(const DecoderState& state) override {
    (void)state;
    if (::pcap_dump_flush(dumper_) != 0) {
      RethrowWriteError();
      throw CommandError("libpcap could not finish the pcap file.");
    }
    Close();
    RethrowWriteError();
  }

 private:
  // The stream's write function. It must not throw through libpcap and stdio: a failure is kept
  // and rethrown once libpcap has returned, and the stream sees an error (0 bytes written).
  static ssize_t StreamWrite(void* cookie, const char* data, std::size_t size) {
    auto* self = static_cast<PcapWriter*>(cookie);
    if (self->write_error_) return 0;
    try {
      self->out_.Write(std::string_view(data, size));
      return static_cast<ssize_t>(size);
    } catch (...) {
      self->write_error_ = std::current_exception();
      return 0;
    }
  }

  void RethrowWriteError() {
    if (write_error_) std::rethrow_exception(write_error_);
  }

  void Close() {
    if (dumper_ != nullptr) ::pcap_dump_close(dumper_);  // closes the stream
    dumper_ = nullptr;
    if (pcap_ != nullptr) ::pcap_close(pcap_);
    pcap_ = nullptr;
  }

  LineSink& out_;
  pcap_t* pcap_ = nullptr;
  pcap_dumper_t* dumper_ = nullptr;
  std::exception_ptr write_error_;
  StampClock clock_;
};

}  // namespace

std::unique_ptr<FrameWriter> MakePcapWriter(LineSink& out) {
  return std::make_unique<PcapWriter>(out);
}

}  // namespace packscope
