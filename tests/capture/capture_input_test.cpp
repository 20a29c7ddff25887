// The capture readers: the reader chosen by content, the KISS stream each one yields (frames
// behind stamps of their times) and the damage it reports in its own terms, at its place in the
// stream.
#include "capture/capture_input.h"

#include <archive.h>
#include <archive_entry.h>
#include <gtest/gtest.h>
#include <pcap/pcap.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "capture/errors.h"
#include "support/ax25_frames.h"
#include "support/test_files.h"

namespace packscope {
namespace {

using testing::Address;
using testing::Ax25Frame;
using testing::BinaryStamp;
using testing::Kiss;

struct WholeRead {
  InputKind kind;
  std::string stream;
  std::vector<InputDamage> damage;
};

// Reads in small pieces: damage must be met in its place however the stream is cut.
WholeRead ReadAll(const std::string& bytes) {
  const std::unique_ptr<CaptureInput> input = OpenCaptureBytes(bytes, "test");
  WholeRead read{input->Kind(), {}, {}};
  std::uint8_t buffer[7];
  for (;;) {
    const std::size_t n = input->Read(buffer, sizeof buffer);
    read.stream.append(reinterpret_cast<const char*>(buffer), n);
    const std::size_t had = read.damage.size();
    input->TakeDamage(read.damage);
    for (std::size_t i = had; i < read.damage.size(); ++i) {
      EXPECT_LE(read.damage[i].offset, static_cast<std::int64_t>(read.stream.size()));
    }
    if (n == 0) break;
  }
  return read;
}

std::string Ui(const std::string& source, const std::string& info, std::uint8_t type = 0) {
  return Ax25Frame({"APRS", 0, true}, {source}, {}, 0x03, 0xF0, info, type);
}

struct Packet {
  std::string data;
  long seconds = 0;
  long fraction = 0;         // micro- or nanoseconds, as the file's precision
  std::uint32_t length = 0;  // on the wire; 0: the data's
};

std::string Pcap(int link_type, const std::vector<Packet>& packets, bool nano = false) {
  pcap_t* pcap = ::pcap_open_dead_with_tstamp_precision(
      link_type, 65535, nano ? PCAP_TSTAMP_PRECISION_NANO : PCAP_TSTAMP_PRECISION_MICRO);
  char* bytes = nullptr;
  std::size_t size = 0;
  FILE* file = ::open_memstream(&bytes, &size);
  pcap_dumper_t* dumper = ::pcap_dump_fopen(pcap, file);
  for (const Packet& p : packets) {
    pcap_pkthdr header{};
    header.ts.tv_sec = p.seconds;
    header.ts.tv_usec = p.fraction;
    header.caplen = static_cast<bpf_u_int32>(p.data.size());
    header.len = p.length != 0 ? p.length : header.caplen;
    ::pcap_dump(reinterpret_cast<u_char*>(dumper), &header,
                reinterpret_cast<const u_char*>(p.data.data()));
  }
  ::pcap_dump_close(dumper);
  ::pcap_close(pcap);
  std::string out(bytes, size);
  std::free(bytes);
  return out;
}

std::string Compressed(const std::string& data, int filter) {
  archive* a = ::archive_write_new();
  ::archive_write_add_filter(a, filter);
  ::archive_write_set_format_raw(a);
  std::string out(data.size() + (1 << 16), '\0');
  std::size_t used = 0;
  ::archive_write_open_memory(a, out.data(), out.size(), &used);
  archive_entry* entry = ::archive_entry_new();
  ::archive_entry_set_filetype(entry, AE_IFREG);
  ::archive_write_header(a, entry);
  ::archive_write_data(a, data.data(), data.size());
  ::archive_write_close(a);
  ::archive_write_free(a);
  ::archive_entry_free(entry);
  out.resize(used);
  return out;
}

TEST(CaptureInputTest, TheReaderIsChosenByContent) {
  const std::string kiss = Kiss(Ui("QQ1", "x"));
  struct Case {
    std::string bytes;
    InputFormat format;
  } cases[] = {
      {"", InputFormat::kKiss},
      {kiss, InputFormat::kKiss},
      {"noise" + kiss, InputFormat::kKiss},
      {"hello world\nN0CALL>APRS:x\n", InputFormat::kKiss},  // the first line is no frame
      {"N0CALL>APRS:x" + kiss + "\n", InputFormat::kKiss},   // a KISS frame in the first line
      {"N0CALL>APRS:x\n", InputFormat::kTnc2},
      {"N0CALL>APRS:x", InputFormat::kTnc2},
      {"# aprsc 2.1\r\n\r\n \t\nN0CALL>APRS:x\n" + kiss, InputFormat::kTnc2},
      {"2024-05-01 12:00:00 N0CALL>APRS:x\n", InputFormat::kTnc2},
      {"[0] N0CALL>APRS:x\n", InputFormat::kTnc2},
      {Pcap(DLT_AX25_KISS, {}), InputFormat::kPcap},
      {Pcap(DLT_AX25_KISS, {}, /*nano=*/true), InputFormat::kPcap},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReadAll(c.bytes).kind, (InputKind{c.format, InputCompression::kNone})) << c.bytes;
  }
  EXPECT_EQ(ReadAll(kiss).stream, kiss);
}

TEST(CaptureInputTest, Tnc2LinesBecomeFramesBehindTheStampsOfTheirTimes) {
  const std::int64_t t1 = 1714566896789;  // 2024-05-01 12:34:56.789 UTC
  const std::string file =
      "# aprsc 2.1.10\n"
      "2024-05-01 12:34:56.789 QQ1>APRS:a\r\n"
      "QQ2>APRS:b\n"
      "\n"
      "2024-05-01T12:34:56.789123Z QQ3>APRS:c\r"
      "2024-05-01 14:34:57+02:00 QQ4>APRS:d\n"
      "2024-05-01 12:34:58 UTC: QQ5>APRS:e\n"
      "[1] QQ6>APRS:f\n"
      "[2 12:00:00] QQ7>APRS:g\n"
      "not a frame at all\n"
      "[0 2024-05-01 12:35:00] QQ8>APRS:h\n"
      "2024-13-01 12:00:00 QQ9>APRS:i\n"
      "[16] QQ9>APRS:j\n"
      "2024-05-01 12:35:01QQ9>APRS:k\n"
      "QQ9>APRS:last";
  const std::string before_11 =
      Kiss(BinaryStamp(t1)) + Kiss(Ui("QQ1", "a")) + Kiss(Ui("QQ2", "b")) + Kiss(Ui("QQ3", "c")) +
      Kiss(BinaryStamp(t1 + 211)) + Kiss(Ui("QQ4", "d")) + Kiss(BinaryStamp(t1 + 1211)) +
      Kiss(Ui("QQ5", "e")) + Kiss(Ui("QQ6", "f", 0x10)) + Kiss(Ui("QQ7", "g", 0x20));
  const std::string before_13 = before_11 + Kiss(BinaryStamp(t1 + 3211)) + Kiss(Ui("QQ8", "h"));
  const WholeRead read = ReadAll(file);
  EXPECT_EQ(read.kind.format, InputFormat::kTnc2);
  EXPECT_EQ(read.stream, before_13 + Kiss(Ui("QQ9", "last")));
  ASSERT_EQ(read.damage.size(), 4u);
  const auto expect = [&](std::size_t i, std::size_t offset, const std::string& text) {
    EXPECT_EQ(read.damage[i].kind, InputDamageKind::kTnc2Line);
    EXPECT_EQ(read.damage[i].offset, static_cast<std::int64_t>(offset));
    EXPECT_EQ(read.damage[i].text, text);
  };
  expect(0, before_11.size(),
         "line 10 is no TNC2 frame: no \":\" in front of the information field");
  expect(1, before_13.size(), "line 12 is no TNC2 frame: no \">\" behind the source");
  expect(2, before_13.size(),
         "line 13 is no TNC2 frame: a \"[\" that opens no KISS port 0..15 (\"[0]\", \"[0 time]\")");
  expect(3, before_13.size(), "line 14 is no TNC2 frame: no blank behind the time in front");
}

TEST(CaptureInputTest, PcapPacketsBecomeFramesBehindTheStampsOfTheirTimes) {
  const std::string port0(1, '\0');
  const std::string ax25 = Ui("QQ1", "one").substr(1);  // without the KISS type byte
  const std::string f2 = Ui("QQ2", "two", 0x10);
  const std::string f3 = Ui("QQ3", "three");
  const std::string f4 = Ui("QQ4", "four");
  const std::string kiss_pcap = Pcap(DLT_AX25_KISS, {{port0 + ax25, 1451651696, 789000},
                                                     {f2, 1451651696, 789999},
                                                     {f3, 0, 0},  // no time
                                                     {f4, 1451651700, 5000, 400},
                                                     {f4, 1451651701, 0}});
  const std::string first =
      Kiss(BinaryStamp(1451651696789)) + Kiss(port0 + ax25) + Kiss(f2) + Kiss(f3);
  const std::string whole = first + Kiss(BinaryStamp(1451651700005)) + Kiss(f4);
  // The last packet cut off by the end of the file.
  WholeRead read = ReadAll(kiss_pcap.substr(0, kiss_pcap.size() - 5));
  EXPECT_EQ(read.kind.format, InputFormat::kPcap);
  EXPECT_EQ(read.stream, whole);
  ASSERT_EQ(read.damage.size(), 2u);
  EXPECT_EQ(read.damage[0].kind, InputDamageKind::kPcapRecord);
  EXPECT_EQ(read.damage[0].offset, static_cast<std::int64_t>(first.size()));
  EXPECT_EQ(read.damage[0].text, "packet 4 holds " + std::to_string(f4.size()) +
                                     " of its 400 bytes (cut at the "
                                     "snapshot length)");
  EXPECT_EQ(read.damage[1].offset, static_cast<std::int64_t>(whole.size()));
  EXPECT_EQ(read.damage[1].text.rfind("packet 5 cannot be read (truncated dump file", 0), 0u)
      << read.damage[1].text;

  // Link type 3 holds the AX.25 frame alone; nanoseconds are cut to milliseconds.
  read = ReadAll(Pcap(DLT_AX25, {{ax25, 1451651696, 789999999}}, /*nano=*/true));
  EXPECT_EQ(read.stream, Kiss(BinaryStamp(1451651696789)) + Kiss(port0 + ax25));
  EXPECT_TRUE(read.damage.empty());

  try {
    ReadAll(Pcap(DLT_EN10MB, {}));
    ADD_FAILURE() << "an Ethernet capture was read";
  } catch (const CaptureUnreadable& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot read the capture \"test\": its packets are of link type 1 (EN10MB); "
              "Packscope reads link types 202 (AX.25 with a KISS type byte) and 3 (AX.25).");
  }
}

TEST(CaptureInputTest, CompressedCapturesAreReadAsTheyStream) {
  std::mt19937 random(25);
  std::string noise(60000, ' ');
  for (char& c : noise) c = static_cast<char>(random());
  std::string kiss = Kiss(BinaryStamp(1451651696789));
  for (int i = 0; i < 5; ++i) kiss += Kiss(Ui("QQ1", noise));
  const std::string pcap = Pcap(DLT_AX25_KISS, {{Ui("QQ2", "p"), 1451651696, 0}});
  const std::string tnc2 = "QQ3>APRS:t\n";
  struct Case {
    int filter;
    InputCompression compression;
  } cases[] = {
      {ARCHIVE_FILTER_GZIP, InputCompression::kGzip},
      {ARCHIVE_FILTER_XZ, InputCompression::kXz},
      {ARCHIVE_FILTER_ZSTD, InputCompression::kZstd},
      {ARCHIVE_FILTER_BZIP2, InputCompression::kBzip2},
  };
  for (const Case& c : cases) {
    for (const auto& [plain, format] :
         {std::pair{kiss, InputFormat::kKiss}, std::pair{pcap, InputFormat::kPcap},
          std::pair{tnc2, InputFormat::kTnc2}}) {
      const WholeRead read = ReadAll(Compressed(plain, c.filter));
      EXPECT_EQ(read.kind, (InputKind{format, c.compression})) << c.filter;
      EXPECT_EQ(read.stream, ReadAll(plain).stream) << c.filter;
      EXPECT_TRUE(read.damage.empty()) << c.filter;
    }
  }
  // Data that ends early: what came before it in whole blocks, and the damage at its end; also
  // when the first block is cut already.
  const std::string gzip = Compressed(kiss, ARCHIVE_FILTER_GZIP);
  for (const std::size_t keep : {gzip.size() / 2, std::size_t{100}}) {
    const WholeRead cut = ReadAll(gzip.substr(0, keep));
    EXPECT_EQ(cut.stream, kiss.substr(0, cut.stream.size()));
    EXPECT_GT(cut.stream.size() + (1 << 16), kiss.size() * keep / gzip.size());
    ASSERT_EQ(cut.damage.size(), 1u);
    EXPECT_EQ(cut.damage[0].kind, InputDamageKind::kCompressed);
    EXPECT_EQ(cut.damage[0].text, "the compressed data cannot be read on (truncated gzip input)");
    EXPECT_EQ(cut.damage[0].offset, static_cast<std::int64_t>(cut.stream.size()));
  }
}

}  // namespace
}  // namespace packscope
