// The data of a compressed capture, through libarchive: every filter it knows (gzip, xz, zstd,
// bzip2, ... and several of them one inside the other), the raw format (the data as one entry,
// whatever it holds), read as the compressed bytes stream in. Data that ends early or is damaged
// ends the data; libarchive hands out what it decompressed in whole blocks (64 KiB) only, so the
// bytes of the last block before the fault are lost.
#include <archive.h>
#include <archive_entry.h>

#include <cerrno>
#include <exception>
#include <memory>

#include "capture/errors.h"
#include "capture/input_bytes.h"

namespace packscope::input_internal {
namespace {

constexpr std::size_t kBlock = 1 << 16;

class ArchiveBytes : public InputBytes {
 public:
  ArchiveBytes(InputBytes& inner, InputChain& chain)
      : inner_(inner),
        chain_(chain),
        block_(new std::uint8_t[kBlock]),
        owned_(::archive_read_new(), &::archive_read_free),
        archive_(owned_.get()) {
    if (archive_ == nullptr) throw CaptureUnreadable("libarchive cannot start reading.");
    ::archive_read_support_filter_all(archive_);
    ::archive_read_support_format_raw(archive_);
    // Opening and reading the header decompress the first block already: data damaged or cut
    // off within it is damage, as further on.
    archive_entry* entry = nullptr;
    int r = ::archive_read_open(archive_, this, nullptr, &ArchiveBytes::ReadBlock, nullptr);
    if (r == ARCHIVE_OK) r = ::archive_read_next_header(archive_, &entry);
    if (r != ARCHIVE_OK && r != ARCHIVE_WARN) {
      ended_ = true;
      RethrowInner();
      if (r != ARCHIVE_EOF) chain_.compression_damage = Why();
    }
  }
  ArchiveBytes(const ArchiveBytes&) = delete;
  ArchiveBytes& operator=(const ArchiveBytes&) = delete;

  std::size_t Read(std::uint8_t* buffer, std::size_t size) override {
    if (ended_) return 0;
    const la_ssize_t n = ::archive_read_data(archive_, buffer, size);
    if (n > 0) return static_cast<std::size_t>(n);
    ended_ = true;
    if (n < 0) {
      RethrowInner();
      // What came before is the capture's; the rest is lost.
      chain_.compression_damage = Why();
    }
    return 0;
  }

 private:
  static la_ssize_t ReadBlock(archive* a, void* cookie, const void** block) {
    auto* self = static_cast<ArchiveBytes*>(cookie);
    try {
      *block = self->block_.get();
      return static_cast<la_ssize_t>(self->inner_.Read(self->block_.get(), kBlock));
    } catch (...) {
      self->inner_error_ = std::current_exception();
      ::archive_set_error(a, EIO, "the compressed bytes could not be read");
      return -1;
    }
  }

  void RethrowInner() {
    if (inner_error_) std::rethrow_exception(inner_error_);
  }

  std::string Why() const {
    const char* why = ::archive_error_string(archive_);
    return std::string("the compressed data cannot be read on (") +
           (why != nullptr ? why : "libarchive gives no reason") + ")";
  }

  InputBytes& inner_;
  InputChain& chain_;
  std::unique_ptr<std::uint8_t[]> block_;
  std::unique_ptr<archive, int (*)(archive*)> owned_;
  archive* archive_;
  std::exception_ptr inner_error_;
  bool ended_ = false;
};

}  // namespace

std::unique_ptr<InputBytes> MakeArchiveBytes(InputBytes& inner, InputChain& chain) {
  return std::make_unique<ArchiveBytes>(inner, chain);
}

}  // namespace packscope::input_internal
