// pcap and pcapng captures of AX.25, through libpcap (pcap_fopen_offline reads both, from a
// stdio stream whose reads come from the input's bytes, so that a compressed file or a pipe is
// read as it streams). Each packet becomes one KISS frame:
//
//   link type 202 (LINKTYPE_AX25_KISS)   the packet is the frame: KISS type byte, AX.25 frame
//   link type 3   (LINKTYPE_AX25)        the AX.25 frame alone: type byte 00 (port 0) in front
//
// behind a binary stamp of the packet's time in milliseconds (nanoseconds read, the rest cut)
// whenever that differs from the stamp before. Damage, as "packet N: ...": a packet captured in
// part only (its frame holds what was captured), one longer than a frame may be (left out), and
// one libpcap cannot read (the file is read no further; the packets before it stay).
#include <pcap/pcap.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <string>
#include <utility>

#include "capture/decoder_state.h"
#include "capture/errors.h"
#include "capture/input_bytes.h"

namespace packscope::input_internal {
namespace {

class PcapInput : public DecodingInput {
 public:
  PcapInput(std::unique_ptr<InputChain> chain, InputFormat format)
      : DecodingInput(std::move(chain), format) {
    const std::string& name = Chain().name;
    cookie_io_functions_t io{};
    io.read = &PcapInput::StreamRead;
    FILE* stream = ::fopencookie(this, "r", io);
    if (stream == nullptr) {
      throw CaptureUnreadable(ErrnoMessage("Cannot read the capture " + name, errno));
    }
    char error[PCAP_ERRBUF_SIZE] = {};
    pcap_ = ::pcap_fopen_offline_with_tstamp_precision(stream, PCAP_TSTAMP_PRECISION_NANO, error);
    if (pcap_ == nullptr) {
      std::fclose(stream);
      RethrowReadError();
      throw CaptureUnreadable("Cannot read the capture " + name + ": " + error + ".");
    }
    link_type_ = ::pcap_datalink(pcap_);
    if (link_type_ != DLT_AX25_KISS && link_type_ != DLT_AX25) {
      const char* link_name = ::pcap_datalink_val_to_name(link_type_);
      const std::string message =
          "Cannot read the capture " + name + ": its packets are of link type " +
          std::to_string(link_type_) +
          (link_name != nullptr ? std::string(" (") + link_name + ")" : "") +
          "; Packscope reads link types 202 (AX.25 with a KISS type byte) and 3 (AX.25).";
      ::pcap_close(pcap_);
      throw CaptureUnreadable(message);
    }
  }
  ~PcapInput() override { ::pcap_close(pcap_); }
  PcapInput(const PcapInput&) = delete;
  PcapInput& operator=(const PcapInput&) = delete;

 protected:
  bool Produce(std::vector<std::uint8_t>& out) override {
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    const int r = ::pcap_next_ex(pcap_, &header, &data);
    RethrowReadError();
    if (r == PCAP_ERROR_BREAK) return false;
    const std::string packet = "packet " + std::to_string(packets_ + 1);
    if (r != 1) {
      Damage(InputDamageKind::kPcapRecord, packet + " cannot be read (" + ::pcap_geterr(pcap_) +
                                               "); the file is read no further");
      return false;
    }
    ++packets_;
    frame_.clear();
    if (link_type_ == DLT_AX25) frame_.push_back(0x00);
    frame_.insert(frame_.end(), data, data + header->caplen);
    if (frame_.size() > static_cast<std::size_t>(kMaxFrameLength)) {
      Damage(InputDamageKind::kPcapRecord,
             packet + " holds a frame of " + std::to_string(frame_.size()) +
                 " bytes, longer than " + std::to_string(kMaxFrameLength) + "; it is left out");
      return true;
    }
    if (header->caplen < header->len) {
      Damage(InputDamageKind::kPcapRecord, packet + " holds " + std::to_string(header->caplen) +
                                               " of its " + std::to_string(header->len) +
                                               " bytes (cut at the snapshot length)");
    }
    // Nanoseconds: the precision asked for above.
    const std::int64_t millis =
        header->ts.tv_sec < 0 || (header->ts.tv_sec == 0 && header->ts.tv_usec == 0)
            ? -1
            : static_cast<std::int64_t>(header->ts.tv_sec) * 1000 + header->ts.tv_usec / 1000000;
    AppendFrame(out, frame_, millis);
    return true;
  }

 private:
  // The stream's read function. It must not throw through libpcap and stdio: a failure is kept
  // and rethrown once libpcap has returned, and the stream sees an error.
  static ssize_t StreamRead(void* cookie, char* buffer, std::size_t size) {
    auto* self = static_cast<PcapInput*>(cookie);
    if (self->read_error_) return -1;
    try {
      return static_cast<ssize_t>(
          self->Chain().top->Read(reinterpret_cast<std::uint8_t*>(buffer), size));
    } catch (...) {
      self->read_error_ = std::current_exception();
      return -1;
    }
  }

  void RethrowReadError() {
    if (read_error_) std::rethrow_exception(std::exchange(read_error_, nullptr));
  }

  pcap_t* pcap_ = nullptr;
  int link_type_ = 0;
  std::int64_t packets_ = 0;
  std::vector<std::uint8_t> frame_;
  std::exception_ptr read_error_;
};

}  // namespace

std::unique_ptr<CaptureInput> MakePcapInput(std::unique_ptr<InputChain> chain, InputFormat format) {
  return std::make_unique<PcapInput>(std::move(chain), format);
}

}  // namespace packscope::input_internal
