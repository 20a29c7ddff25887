// PcapStream: a recording written as a pcap stream of link type 202 (LINKTYPE_AX25_KISS), batch
// by batch as the frames arrive, for Wireshark reading the FIFO of an extcap (packscope-record
// --capture) or any program reading a pipe:
//
//   file header   24 bytes: magic A1B2C3D4 (microseconds), version 2.4, zone 0, accuracy 0,
//                 snapshot length 65535, link type 202; in the host's byte order, as libpcap
//                 writes it
//   per frame     16-byte record header: seconds, microseconds (of the time of reception),
//                 captured length, length; then the KISS frame from its type byte on
//
// Timestamp frames a source sends are not written: the record carries the time.
#ifndef PACKSCOPE_LIVE_PCAP_STREAM_H_
#define PACKSCOPE_LIVE_PCAP_STREAM_H_

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "live/record_sink.h"

namespace packscope {

class PcapStream : public RecordSink {
 public:
  // Opens path for writing (a FIFO: waits for its reader, or until *stop is set) and writes the
  // file header. Throws CommandError.
  PcapStream(const std::string& path, const std::atomic<bool>& stop);
  ~PcapStream() override;
  PcapStream(const PcapStream&) = delete;
  PcapStream& operator=(const PcapStream&) = delete;

  void Add(std::span<const std::uint8_t> kiss_frame,
           std::optional<std::int64_t> stamp_millis) override;
  bool HasBatch() const override { return !batch_.empty(); }
  void Write() override;
  void Sync() override {}
  std::int64_t FramesWritten() const override { return frames_written_; }

  // The reader has closed its end (the last Write failed with EPIPE): the capture was stopped.
  bool ReaderGone() const { return reader_gone_; }

 private:
  // Writes bytes whole; CommandError when that fails, with how many it wrote in written.
  void WriteAll(const std::vector<std::uint8_t>& bytes, std::size_t& written);

  std::string path_;
  int fd_ = -1;
  std::vector<std::uint8_t> batch_;
  std::vector<std::size_t> record_ends_;  // where each record of the batch ends
  std::int64_t frames_written_ = 0;
  bool reader_gone_ = false;
};

}  // namespace packscope

#endif  // PACKSCOPE_LIVE_PCAP_STREAM_H_
