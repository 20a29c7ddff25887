#include "gencapture/capture_generator.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <deque>
#include <limits>
#include <memory>
#include <queue>
#include <random>
#include <unordered_set>
#include <utility>

#include "capture/frame_loop.h"
#include "gencapture/connected_session.h"
#include "gencapture/random.h"
#include "render/civil_time.h"

namespace packscope::gen {
namespace {

constexpr std::size_t kWriteBlock = 1 << 20;
constexpr std::uint8_t kDataFrameType = 0x00;
constexpr int kPidNoLayer3 = 0xF0;
// Latest time a stamp may show: 9999-12-31 23:59:59.999 UTC.
constexpr std::int64_t kLastMillis = 253402300799999;

// Control bytes. P/F (0x10) is added where the exchange asks for it.
constexpr std::uint8_t kUi = 0x03;
constexpr std::uint8_t kSabm = 0x2F;
constexpr std::uint8_t kDisc = 0x43;
constexpr std::uint8_t kUa = 0x63;
constexpr std::uint8_t kDm = 0x0F;
constexpr std::uint8_t kRr = 0x01;
constexpr std::uint8_t kRnr = 0x05;
constexpr std::uint8_t kRej = 0x09;
constexpr std::uint8_t kPollFinal = 0x10;

// --- Numbers and times as text ---

void AppendNumber(std::string& out, std::int64_t value, int width) {
  char digits[24];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
  (void)ec;
  for (auto n = static_cast<int>(end - digits); n < width; ++n) out.push_back('0');
  out.append(digits, end);
}

// --- The made-up stations ---

// Positions in hundredths of a minute of arc, north and east positive.
struct Station {
  std::string_view call;
  int ssid;
  int lat;
  int lon;
  char table;
  char symbol;
  bool moving;
  std::string_view comment;
};

constexpr int Angle(int degrees, int minutes, int hundredths) {
  return (degrees * 60 + minutes) * 100 + hundredths;
}

constexpr std::array<Station, 11> kStations = {{
    {"QQ0QQ", 0, Angle(48, 7, 52), Angle(11, 34, 18), '/', '-', false, "QRV 144.800 and 438.925"},
    {"QQ1ABC", 9, Angle(48, 9, 3), Angle(11, 29, 77), '/', '>', true, "mobile, 73"},
    {"QQ2XY", 7, Angle(48, 5, 40), Angle(11, 37, 2), '/', '[', true, "handheld, walking"},
    {"QQ3DEF", 0, Angle(48, 11, 25), Angle(11, 41, 90), '/', '_', false, "weather station"},
    {"QQ4GHI", 10, Angle(48, 8, 66), Angle(11, 33, 11), 'I', '&', false, "RX igate"},
    {"QQ5BBS", 1, Angle(48, 6, 5), Angle(11, 38, 47), '/', 'B', false, "mailbox, connect QQ5BBS-1"},
    {"QQ6LMN", 5, Angle(48, 14, 80), Angle(11, 20, 33), '/', 'k', true, "truck on the A9"},
    {"QQ7OP", 15, Angle(48, 1, 12), Angle(11, 45, 6), '\\', 'n', false, "portable, low power"},
    {"QQ8RST", 2, Angle(48, 10, 58), Angle(11, 26, 40), '/', 'y', false, "yagi to the north"},
    {"QQ9UV", 0, Angle(48, 4, 29), Angle(11, 31, 95), '/', 'b', true, "bike tour"},
    {"QQ0DIG", 1, Angle(48, 12, 3), Angle(11, 36, 74), '/', '#', false, "digi WIDE1-1 fill-in"},
}};
constexpr std::size_t kWeatherStation = 3;
constexpr std::size_t kNodeStation = 5;
constexpr std::size_t kDigiStation = 10;

// NET/ROM nodes: the mailbox node and two more; remote nodes heard in their NODES broadcasts.
struct Node {
  std::string_view call;
  int ssid;
  std::string_view alias;
};
constexpr std::array<Node, 3> kNodes = {{
    {"QQ5BBS", 1, "BBSQQ5"},
    {"QQ1NOD", 2, "NODE1"},
    {"QQ9NOD", 4, "HILL"},
}};
constexpr std::array<Node, 6> kRemoteNodes = {{
    {"QQ2FAR", 2, "FAR"},
    {"QQ4MTN", 3, "MTN"},
    {"QQ6LAK", 2, "LAKE"},
    {"QQ7BAY", 1, "BAY"},
    {"QQ8TWN", 2, "TOWN"},
    {"QQ3VLY", 5, "VALLEY"},
}};
constexpr int kPidNetRom = 0xCF;

constexpr std::array<std::string_view, 3> kAprsDestinations = {"APRS", "APZ001", "APZ002"};
constexpr std::array<std::string_view, 3> kBeaconDestinations = {"BEACON", "ID", "CQ"};

// First digipeater of a path, and the ones behind it.
constexpr std::array<std::pair<std::string_view, int>, 5> kFirstDigis = {
    {{"WIDE1", 1}, {"WIDE1", 1}, {"WIDE2", 2}, {"RELAY", 0}, {"QQ0DIG", 1}}};
constexpr std::array<std::pair<std::string_view, int>, 5> kLaterDigis = {
    {{"WIDE2", 1}, {"WIDE2", 2}, {"WIDE", 0}, {"QQ3RPT", 3}, {"TRACE3", 3}}};

// Comment sentences: a frame longer than its report carries some of them, in this order from
// a random one on.
constexpr std::array<std::string_view, 12> kCommentSentences = {
    " Monitoring 144.800 MHz.",
    " Club net Fridays 20:00 on 438.925 MHz.",
    " Solar powered, battery 12.6 V.",
    " Antenna X50 at 10 m above ground.",
    " 9600 bd port coming soon.",
    " QSL via the club.",
    " Tnx fer all the reports, 73!",
    " QTH on the hill, 450 m asl.",
    " Digi path WIDE1-1,WIDE2-1 please.",
    " Test of the new TNC firmware.",
    " Igate to the internet every 10 min.",
    " Weather data every 5 min.",
};

// Status texts; some carry Windows-1252 letters.
constexpr std::array<std::string_view, 10> kStatusTexts = {
    "Monitoring 144.800 MHz",
    "QRV on 438.925 MHz, 73",
    "Net tonight 20:00 local on the 2 m repeater",
    "Temp 21\xB0"
    "C, sunny",
    "Gr\xFC\xDF"
    "e aus dem Shack",
    "Battery 12.6 V, solar 0.8 A",
    "On the road, back at 18:00",
    "Testing new TNC firmware",
    "Caf\xE9 meet-up Saturday 10:00",
    "Antenna work, expect outages",
};

// What a station's telemetry channels are (--telemetry): names, units, a*x^2 + b*x + c of the five
// analog values (battery 0 to 15.3 V, two temperatures -40 to 87.5 degC, pressure 950 to 1052
// hPa, humidity 0 to 102 %), the digital bits' sense and the project.
constexpr std::array<std::string_view, 4> kTelemetryDefinitions = {
    "PARM.Battery,Inside,Outside,Pressure,Humidity,Door,Alarm,Heater,Fan",
    "UNIT.V,degC,degC,hPa,%,open,on,on,on",
    "EQNS.0,0.06,0,0,0.5,-40,0,0.5,-40,0,0.4,950,0,0.4,0",
    "BITS.11111111,Weather box",
};

constexpr std::array<std::string_view, 8> kMessageTexts = {
    "Hello, are you QRV tonight?",  "See you on the net",
    "Thanks for the signal report", "QSL, 73",
    "Battery low, QRT soon",        "Meet at the club at 19:00",
    "Can you relay to QQ5BBS?",     "Test message, please ack"};

// Lines of the text beacons (to BEACON, ID or CQ); a long beacon has several.
constexpr std::array<std::string_view, 8> kBeaconLines = {
    "QQ0DIG-1 digipeater, 144.800 MHz, WIDE1-1 fill-in\r",
    "QQ5BBS-1 mailbox: connect QQ5BBS-1 for your messages\r",
    "CQ CQ CQ de QQ2XY-7, QRV\r",
    "QQ4GHI-10 igate, RX only\r\n",
    "Club station QQ0QQ, meetings every Friday\r",
    "Beacon\tQQ8RST-2\t1200 bd\r",
    "Sysop QQ0QQ, QTH on the hill\r",
    "Node commands: C, B, H, I, J, L, N, P, R, S\r",
};

// What a node sends in a connected session, in this order after its greeting, and what its
// user types.
constexpr std::array<std::string_view, 8> kNodeLines = {
    "[QQBBS-2.1-BFHM$]\r",
    "You have 2 new messages.\r",
    "Msg#  St Size To     From   Date  Subject\r",
    "1024  PN  512 QQ1ABC QQ2XY  0101  Club meeting\r",
    "1025  B  1830 ALL    QQ3DEF 0101  WX report for the week\r",
    "The meeting is on Friday at 19:00 in the club house.\r",
    "(#1025) >\r",
    "73 and good bye.\r",
};
constexpr std::array<std::string_view, 9> kUserLines = {
    "L\r", "R 1024\r", "LM\r", "B\r", "K 1024\r", "I\r", "H\r", "SP QQ2XY\r", "Thanks, 73\r"};

// --- Frames ---

void AppendCallsign(std::string& ax, const Address& a, bool last) {
  for (std::size_t i = 0; i < 6; ++i) {
    const auto c = static_cast<std::uint8_t>(i < a.call.size() ? a.call[i] : ' ');
    ax.push_back(static_cast<char>(c << 1));
  }
  const int ssid_byte = 0x60 | (a.ssid << 1) | (last ? 0x01 : 0) | (a.high_bit ? 0x80 : 0);
  ax.push_back(static_cast<char>(ssid_byte));
}

// The digipeaters of a station's path: count of them, the first `repeated` with the H bit set.
std::vector<Address> DigiPath(Random& random, int count) {
  std::vector<Address> path;
  for (int i = 0; i < count; ++i) {
    const auto& [call, ssid] = i == 0 ? random.Pick(kFirstDigis) : random.Pick(kLaterDigis);
    path.push_back(Address{std::string(call), ssid, false});
  }
  const int repeated = count == 0 ? 0 : random.Between(0, count);
  for (int i = 0; i < repeated; ++i) path[static_cast<std::size_t>(i)].high_bit = true;
  return path;
}

Address StationAddress(const Station& s) { return Address{std::string(s.call), s.ssid, false}; }

// A frame as AX.25 bytes: the address field, control, PID, information.
void EncodeAx25(const GeneratedFrame& frame, std::string& ax) {
  ax.clear();
  AppendCallsign(ax, frame.destination, false);
  AppendCallsign(ax, frame.source, frame.digipeaters.empty());
  for (std::size_t i = 0; i < frame.digipeaters.size(); ++i) {
    AppendCallsign(ax, frame.digipeaters[i], i + 1 == frame.digipeaters.size());
  }
  ax.push_back(static_cast<char>(frame.control));
  if (frame.control2 >= 0) ax.push_back(static_cast<char>(frame.control2));
  if (frame.pid >= 0) ax.push_back(static_cast<char>(frame.pid));
  ax.append(frame.info);
}

// C0, the type byte, data KISS-escaped, C0 into out; returns the bytes escaped.
std::int64_t AppendKissFrame(std::string& out, std::uint8_t type, std::string_view data) {
  std::int64_t escapes = 0;
  out.push_back(static_cast<char>(kFend));
  out.push_back(static_cast<char>(type));
  for (const char ch : data) {
    const auto b = static_cast<std::uint8_t>(ch);
    if (b == kFend || b == kFesc) {
      out.push_back(static_cast<char>(kFesc));
      out.push_back(static_cast<char>(b == kFend ? kTfend : kTfesc));
      ++escapes;
    } else {
      out.push_back(ch);
    }
  }
  out.push_back(static_cast<char>(kFend));
  return escapes;
}

// The timestamp frame of millis in the form asked for (not kNone).
void AppendStampFrame(std::string& out, StampForm form, std::int64_t millis) {
  if (form == StampForm::kBinary) {
    char bytes[8];
    for (int i = 0; i < 8; ++i) {
      bytes[i] = static_cast<char>((static_cast<std::uint64_t>(millis) >> (56 - 8 * i)) & 0xFF);
    }
    AppendKissFrame(out, kTimestampType, std::string_view(bytes, 8));
  } else {
    AppendKissFrame(out, kTimestampType, StampText(millis));
  }
}

// "QQ1ABC-9"; "QQ0QQ" for SSID 0.
std::string CallText(const Station& s) {
  std::string text(s.call);
  if (s.ssid != 0) {
    text.push_back('-');
    AppendNumber(text, s.ssid, 1);
  }
  return text;
}

// Station n of --stations: Q and n in five base-36 digits.
Address NumberedStation(std::int64_t n) {
  static constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  std::string call = "Q00000";
  for (std::size_t i = call.size(); i-- > 1 && n > 0; n /= 36) call[i] = kDigits[n % 36];
  return Address{call, 0, false};
}

// Connected session between a user and the mailbox node: SABM, UA (or DM), I frames with their
// RR, RNR and REJ answers, DISC, UA.
struct Session {
  enum Phase { kIdle, kConnect, kConnectReply, kTransfer, kDisconnect, kDisconnectReply };
  Phase phase = kIdle;
  Address user;
  Address node;
  std::vector<Address> path;  // user to node; the node answers along the reversed path
  int frames_left = 0;        // I frames still to send
  int sent[2] = {0, 0};       // V(S) of the user (0) and the node (1)
  int unacked_from = -1;      // who sent the last unanswered I frame
  int busy_side = -1;         // who sent an RNR that still waits for its RR
  bool retransmit = false;    // a REJ asks for the last I frame again
  int last_sender = 0;
  int last_ns = 0;
  std::string last_info;
  std::size_t node_line = 0;  // the node's next line of kNodeLines
};

class Generator {
 public:
  Generator(const Options& options, const std::function<void(std::string_view)>& write,
            std::vector<GeneratedFrame>* record, std::vector<GeneratedSession>* sessions = nullptr)
      : options_(options),
        write_(write),
        record_(record),
        sessions_record_(sessions),
        random_(options.seed) {
    out_.reserve(kWriteBlock + 2 * static_cast<std::size_t>(kLongestFrame) + 64);
  }

  // A session of --sessions being played.
  struct Playing {
    std::vector<Transmission> frames;
    std::size_t next = 0;
    GeneratedSession truth;
    std::int64_t recorded = -1;  // its place in sessions_record_ once a frame of it is heard
    std::int64_t Millis() const { return frames[next].millis; }
  };

  // Traffic for several receivers (TrafficGenerator): the traffic's next frame, a gap after the
  // one before (none before the first), and another frame at the same time. Nothing is written.
  const GeneratedFrame& Step() {
    if (stepped_) now_ = std::min(now_ + Gap(), kLastMillis);
    stepped_ = true;
    return Again();
  }
  const GeneratedFrame& Again() {
    NextFrame();
    frame_.stamp_millis = now_;
    return frame_;
  }

  Summary Run() {
    now_ = options_.start_millis;
    if (options_.sessions) return RunSessions();
    for (;;) {
      if (options_.frames >= 0 && summary_.frames >= options_.frames) break;
      if (options_.size >= 0 &&
          summary_.bytes + static_cast<std::int64_t>(out_.size()) >= options_.size) {
        break;
      }
      if (summary_.frames > 0) now_ = std::min(now_ + Gap(), kLastMillis);
      WriteStamp();
      NextFrame();
      WriteFrame();
      if (out_.size() >= kWriteBlock) Flush();
    }
    Flush();
    return summary_;
  }

 private:
  // Quiet radio most of the time, busy bursts now and then.
  std::int64_t Gap() {
    if (random_.Percent(80)) return random_.Between(150, 3000);
    return random_.Between(3000, 30000);
  }

  void Flush() {
    if (out_.empty()) return;
    summary_.bytes += static_cast<std::int64_t>(out_.size());
    write_(out_);
    out_.clear();
  }

  std::int64_t Offset() const { return summary_.bytes + static_cast<std::int64_t>(out_.size()); }

  void AppendKiss(std::uint8_t type, std::string_view data) {
    summary_.escapes += AppendKissFrame(out_, type, data);
  }

  void WriteStamp() {
    stamp_ = -1;
    if (options_.stamps == StampForm::kNone) return;
    stamp_ = now_;
    AppendStampFrame(out_, options_.stamps, now_);
    ++summary_.stamps;
  }

  void WriteFrame() {
    EncodeAx25(frame_, ax_);
    AppendKiss(kDataFrameType, ax_);
    ++summary_.frames;
    switch (frame_.kind) {
      case FrameKind::kUi:
        ++summary_.ui_frames;
        break;
      case FrameKind::kI:
        ++summary_.i_frames;
        break;
      case FrameKind::kS:
        ++summary_.s_frames;
        break;
      case FrameKind::kU:
        ++summary_.u_frames;
        break;
    }
    if (record_ != nullptr) {
      frame_.stamp_millis = stamp_;
      frame_.end_offset = Offset();
      frame_.length = static_cast<int>(ax_.size());
      frame_.number = summary_.frames + summary_.stamps;
      record_->push_back(frame_);
    }
  }

  void NextFrame() {
    if (options_.mix) {
      if (session_.phase != Session::kIdle && random_.Percent(45)) {
        SessionFrame();
        return;
      }
      if (session_.phase == Session::kIdle && random_.Percent(8)) {
        StartSession();
        SessionFrame();
        return;
      }
    }
    UiFrame();
  }

  // Frame length for frames with an information field behind `digis` digipeaters.
  int HeaderLength(int digis) const { return 16 + 7 * digis; }
  int DigisThatFit(int length) const {
    return std::min(options_.max_digis, (length - kShortestFrame) / 7);
  }

  void Begin(FrameKind kind, Address destination, Address source, std::vector<Address> digis,
             std::uint8_t control, int pid) {
    frame_.kind = kind;
    frame_.destination = std::move(destination);
    frame_.source = std::move(source);
    frame_.digipeaters = std::move(digis);
    frame_.control = control;
    frame_.control2 = -1;
    frame_.pid = pid;
    frame_.info.clear();
  }

  // Brings the information field to exactly `length` bytes: comment sentences appended, or cut.
  void FitInfo(std::size_t length) {
    std::string& info = frame_.info;
    if (info.size() < length) {
      auto next = static_cast<std::size_t>(random_.Below(kCommentSentences.size()));
      while (info.size() < length) {
        info.append(kCommentSentences[next]);
        next = (next + 1) % kCommentSentences.size();
      }
    }
    info.resize(length);
  }

  // --- APRS in UI frames ---

  void UiFrame() {
    const int length = random_.Between(options_.min_length, options_.max_length);
    const int digis = random_.Between(0, DigisThatFit(length));
    const auto info_length = static_cast<std::size_t>(length - HeaderLength(digis));
    const auto station_index = static_cast<std::size_t>(random_.Below(kStations.size()));
    const Station& station = kStations[station_index];
    Address source = StationAddress(station);
    if (options_.stations > 0) source = NumberedStation(numbered_++ % options_.stations);
    Address destination{std::string(random_.Pick(kAprsDestinations)), 0, true};
    std::vector<Address> path = DigiPath(random_, digis);

    const auto kind = random_.Below(100);
    std::string& info = frame_.info;
    if (kind < 10) {
      destination.call = random_.Pick(kBeaconDestinations);
      Begin(FrameKind::kUi, destination, source, path, kUi, kPidNoLayer3);
      auto next = static_cast<std::size_t>(random_.Below(kBeaconLines.size()));
      while (info.size() < info_length) {
        info.append(kBeaconLines[next]);
        next = (next + 1) % kBeaconLines.size();
      }
      info.resize(info_length);
      return;
    }
    Begin(FrameKind::kUi, destination, source, path, kUi, kPidNoLayer3);
    // A report is cut only in its comment; one that does not fit becomes a status text.
    std::size_t report = 0;
    if (kind < 35) {
      info.push_back(random_.Percent(50) ? '!' : '=');
      AppendPosition(station);
      report = info.size();
      info.push_back(' ');
      info.append(station.comment);
    } else if (kind < 50) {
      info.push_back('@');
      AppendDayTime();
      AppendPosition(station);
      AppendNumber(info, random_.Between(1, 360), 3);
      info.push_back('/');
      AppendNumber(info, station.moving ? random_.Between(0, 70) : 0, 3);
      info.append("/A=");
      AppendNumber(info, random_.Between(1400, 2100), 6);
      report = info.size();
      info.push_back(' ');
      info.append(station.comment);
    } else if (kind < 62) {
      AppendStatus();
    } else if (kind < 72) {
      // Now and then a station tells how to read its reports instead: often until it has
      // sent each definition once, seldom after.
      if (options_.telemetry && random_.Percent(definition_rounds_[station_index] == 0 ? 50 : 5) &&
          AppendDefinition(station_index, info_length, digis)) {
        return;
      }
      AppendTelemetry();
      report = info.size();
    } else if (kind < 82) {
      report = AppendMessage(station_index, info_length) ? info.size() : info_length + 1;
    } else if (kind < 90) {
      if (options_.stations == 0) frame_.source = StationAddress(kStations[kWeatherStation]);
      AppendWeather();
      report = info.size();
    } else {
      AppendBinary(info_length);
    }
    if (report > info_length) {
      info.clear();
      AppendStatus();
    }
    FitInfo(info_length);
  }

  void AppendStatus() {
    frame_.info.push_back('>');
    frame_.info.append(random_.Pick(kStatusTexts));
  }

  void AppendPosition(const Station& s) {
    const int jitter = s.moving ? 150 : 0;
    const int lat = s.lat + random_.Between(-jitter, jitter);
    const int lon = s.lon + random_.Between(-jitter, jitter);
    std::string& info = frame_.info;
    AppendNumber(info, lat / 6000, 2);
    AppendNumber(info, lat / 100 % 60, 2);
    info.push_back('.');
    AppendNumber(info, lat % 100, 2);
    info.push_back('N');
    info.push_back(s.table);
    AppendNumber(info, lon / 6000, 3);
    AppendNumber(info, lon / 100 % 60, 2);
    info.push_back('.');
    AppendNumber(info, lon % 100, 2);
    info.push_back('E');
    info.push_back(s.symbol);
  }

  // APRS day-hours-minutes zulu of the current stamp: "011234z".
  void AppendDayTime() {
    const UtcTime t = UtcFromMillis(now_);
    AppendNumber(frame_.info, t.day, 2);
    AppendNumber(frame_.info, t.hour, 2);
    AppendNumber(frame_.info, t.minute, 2);
    frame_.info.push_back('z');
  }

  void AppendTelemetry() {
    std::string& info = frame_.info;
    info.append("T#");
    AppendNumber(info, telemetry_sequence_, 3);
    telemetry_sequence_ = (telemetry_sequence_ + 1) % 1000;
    for (int i = 0; i < 5; ++i) {
      info.push_back(',');
      AppendNumber(info, random_.Between(0, 255), 3);
    }
    info.push_back(',');
    for (int i = 0; i < 8; ++i) info.push_back(random_.Percent(50) ? '1' : '0');
  }

  // The station's next telemetry definition, a message to itself, in the order of
  // kTelemetryDefinitions and round again. It is not padded to the length drawn (the text must
  // stay as it is): false, and nothing written, when it does not fit the length range.
  bool AppendDefinition(std::size_t station_index, std::size_t info_length, int digis) {
    std::size_t& next = definitions_sent_[station_index];
    const std::string_view text = kTelemetryDefinitions[next];
    // To the frame's own source (a numbered station with --stations).
    std::string name = frame_.source.call;
    if (frame_.source.ssid != 0) {
      name.push_back('-');
      AppendNumber(name, frame_.source.ssid, 1);
    }
    name.resize(9, ' ');
    const std::size_t size = 2 + name.size() + text.size();
    if (size > info_length || HeaderLength(digis) + static_cast<int>(size) < options_.min_length) {
      return false;
    }
    next = (next + 1) % kTelemetryDefinitions.size();
    if (next == 0) ++definition_rounds_[station_index];
    std::string& info = frame_.info;
    info.push_back(':');
    info.append(name);
    info.push_back(':');
    info.append(text);
    return true;
  }

  // ":ADDRESSEE:text{number"; the text takes what the length leaves. False, and nothing
  // written, when the length is too short for it.
  bool AppendMessage(std::size_t from, std::size_t info_length) {
    std::size_t to = static_cast<std::size_t>(random_.Below(kStations.size() - 1));
    if (to >= from) ++to;
    std::string name = CallText(kStations[to]);
    name.resize(9, ' ');
    std::string number = "{";
    AppendNumber(number, random_.Between(1, 99), 1);
    std::string text(random_.Pick(kMessageTexts));
    const std::size_t frame = 2 + name.size() + number.size();
    if (info_length <= frame) return false;
    auto next = static_cast<std::size_t>(random_.Below(kCommentSentences.size()));
    while (text.size() < info_length - frame) {
      text.append(kCommentSentences[next]);
      next = (next + 1) % kCommentSentences.size();
    }
    text.resize(info_length - frame);
    std::string& info = frame_.info;
    info.push_back(':');
    info.append(name);
    info.push_back(':');
    info.append(text);
    info.append(number);
    return true;
  }

  // Positionless weather report: wind, gust, temperature (F), rain, humidity, pressure.
  void AppendWeather() {
    const UtcTime t = UtcFromMillis(now_);
    std::string& info = frame_.info;
    info.push_back('_');
    AppendNumber(info, t.month, 2);
    AppendNumber(info, t.day, 2);
    AppendNumber(info, t.hour, 2);
    AppendNumber(info, t.minute, 2);
    info.push_back('c');
    AppendNumber(info, random_.Between(0, 359), 3);
    info.push_back('s');
    const int wind = random_.Between(0, 25);
    AppendNumber(info, wind, 3);
    info.push_back('g');
    AppendNumber(info, wind + random_.Between(0, 12), 3);
    info.push_back('t');
    AppendNumber(info, random_.Between(28, 75), 3);
    info.append("r000p000P000h");
    AppendNumber(info, random_.Between(35, 99), 2);
    info.push_back('b');
    AppendNumber(info, random_.Between(9850, 10350), 5);
  }

  // User-defined APRS data "{Q" and a type letter, then raw sensor bytes; about half of them
  // carry a C0 or DB so that the KISS escapes get their share.
  void AppendBinary(std::size_t info_length) {
    std::string& info = frame_.info;
    info.push_back('{');
    info.push_back('Q');
    info.push_back("BRT"[random_.Below(3)]);
    while (info.size() < info_length) info.push_back(random_.Byte());
    info.resize(info_length);
    if (info_length > 3 && random_.Percent(50)) {
      const auto at = 3 + static_cast<std::size_t>(random_.Below(info_length - 3));
      info[at] = static_cast<char>(random_.Percent(50) ? kFend : kFesc);
    }
  }

  // --- Connected sessions played out in full (--sessions) ---

  bool Done() const {
    if (options_.frames >= 0 && summary_.frames >= options_.frames) return true;
    return options_.size >= 0 &&
           summary_.bytes + static_cast<std::int64_t>(out_.size()) >= options_.size;
  }

  // UI traffic as without --sessions, and connected sessions beside it, at most three at once;
  // the frames of all go out in the order of their times.
  Summary RunSessions() {
    std::int64_t ui_at = now_;
    std::int64_t session_at = now_ + random_.Between(500, 5000);
    while (!Done()) {
      Playing* first = nullptr;
      for (const auto& p : playing_) {
        if (first == nullptr || p->Millis() < first->Millis()) first = p.get();
      }
      if (session_at <= ui_at && (first == nullptr || session_at <= first->Millis())) {
        now_ = session_at;
        if (playing_.size() < 3) StartPlay();
        session_at = now_ + random_.Between(1000, 30000);
        continue;
      }
      if (first != nullptr && first->Millis() <= ui_at) {
        PlayFrame(*first);
        continue;
      }
      now_ = std::min(ui_at, kLastMillis);
      if (random_.Percent(4)) {
        NodesBroadcast();
      } else {
        UiFrame();
      }
      WriteStamp();
      WriteFrame();
      if (out_.size() >= kWriteBlock) Flush();
      ui_at = now_ + Gap();
    }
    Flush();
    return summary_;
  }

  void PlayFrame(Playing& p) {
    const Transmission& t = p.frames[p.next++];
    if (t.heard) {
      now_ = std::min(t.millis, kLastMillis);
      frame_ = t.frame;
      WriteStamp();
      WriteFrame();
      if (sessions_record_ != nullptr && record_ != nullptr) {
        if (p.recorded < 0) {
          p.recorded = static_cast<std::int64_t>(sessions_record_->size());
          sessions_record_->push_back(p.truth);
        }
        gen::SessionFrame heard;
        heard.record = record_->size() - 1;
        heard.direction = t.direction;
        heard.kind = t.frame.kind;
        heard.ns = t.ns;
        heard.nr = t.nr;
        (*sessions_record_)[static_cast<std::size_t>(p.recorded)].heard.push_back(heard);
      }
      if (out_.size() >= kWriteBlock) Flush();
    }
    if (p.next == p.frames.size()) {
      std::erase_if(playing_, [&p](const auto& q) { return q.get() == &p; });
    }
  }

  static bool SamePair(const GeneratedSession& s, const Address& a, const Address& b) {
    return (s.initiator == a && s.responder == b) || (s.initiator == b && s.responder == a);
  }

  void StartPlay() {
    SessionPlan plan;
    const bool between_nodes = random_.Percent(20);
    const Node& node = random_.Pick(kNodes);
    plan.responder = Address{std::string(node.call), node.ssid, false};
    if (between_nodes) {
      const Node& other = random_.Pick(kNodes);
      if (&other == &node) return;
      plan.initiator = Address{std::string(other.call), other.ssid, false};
      plan.netrom = true;
    } else {
      static_assert(kNodeStation < kDigiStation);
      std::size_t user = static_cast<std::size_t>(random_.Below(kStations.size() - 2));
      if (user >= kNodeStation) ++user;
      if (user >= kDigiStation) ++user;
      plan.initiator = StationAddress(kStations[user]);
    }
    for (const auto& p : playing_) {
      if (SamePair(p->truth, plan.initiator, plan.responder)) return;  // that link is busy
    }
    if (options_.max_digis > 0 && random_.Percent(30)) {
      plan.path.push_back(StationAddress(kStations[kDigiStation]));
    }
    plan.sabme = random_.Percent(options_.mod128);
    plan.xid = plan.sabme && random_.Percent(50);
    plan.window = plan.sabme ? 32 : (random_.Percent(70) ? 4 : 7);
    plan.loss = options_.loss;
    plan.monitor_loss = options_.monitor_loss;
    const int header =
        16 + 7 * static_cast<int>(plan.path.size()) + (plan.sabme ? 1 : 0) + (plan.netrom ? 20 : 0);
    plan.max_info = std::max(1, options_.max_length - header);
    plan.min_info = std::clamp(options_.min_length - header, 1, plan.max_info);
    plan.start_millis = now_;
    // A node of the older protocol answers a SABME with DM; the caller tries SABM next.
    const bool fallback = plan.sabme && random_.Percent(10);
    plan.refuse = fallback || random_.Percent(5);
    auto play = std::make_unique<Playing>();
    play->frames = PlaySession(plan, random_, play->truth);
    if (fallback) {
      auto second = std::make_unique<Playing>();
      plan.sabme = false;
      plan.xid = false;
      plan.refuse = false;
      plan.window = 4;
      plan.start_millis = play->frames.back().millis + 1500;
      second->frames = PlaySession(plan, random_, second->truth);
      if (!second->frames.empty()) playing_.push_back(std::move(second));
    }
    if (!play->frames.empty()) playing_.push_back(std::move(play));
  }

  // A NET/ROM routing broadcast: FF, the node's alias, then per route the destination, its
  // alias, the best neighbour and the route's quality (21 bytes each).
  void NodesBroadcast() {
    const std::size_t index = static_cast<std::size_t>(random_.Below(kNodes.size()));
    const Node& node = kNodes[index];
    Address source{std::string(node.call), node.ssid, false};
    Address destination{"NODES", 0, true};
    Begin(FrameKind::kUi, destination, source, {}, kUi, kPidNetRom);
    std::string& info = frame_.info;
    info.push_back('\xFF');
    info.append(node.alias);
    info.resize(7, ' ');
    const int room = (options_.max_length - 16 - 7) / 21;
    const int routes = std::min(random_.Between(1, 8), room);
    for (int i = 0; i < routes; ++i) {
      // The other two nodes are neighbours; the rest lie further away.
      const Node& to = i < 2 ? kNodes[(index + 1 + static_cast<std::size_t>(i)) % kNodes.size()]
                             : random_.Pick(kRemoteNodes);
      const Node& via = i < 2 ? to : kNodes[random_.Below(kNodes.size())];
      std::string block;
      AppendCallsign(block, Address{std::string(to.call), to.ssid, false}, false);
      info.append(block.substr(0, 7));
      std::string alias(to.alias);
      alias.resize(6, ' ');
      info.append(alias);
      block.clear();
      AppendCallsign(block, Address{std::string(via.call), via.ssid, false}, false);
      info.append(block);
      info.push_back(
          static_cast<char>(i < 2 ? random_.Between(150, 255) : random_.Between(20, 180)));
    }
  }

  // --- Connected sessions ---

  void StartSession() {
    session_ = Session{};
    session_.phase = Session::kConnect;
    // Anyone but the node and the digipeater.
    static_assert(kNodeStation < kDigiStation);
    std::size_t user = static_cast<std::size_t>(random_.Below(kStations.size() - 2));
    if (user >= kNodeStation) ++user;
    if (user >= kDigiStation) ++user;
    session_.user = StationAddress(kStations[user]);
    session_.node = StationAddress(kStations[kNodeStation]);
    const int most = std::min(1, DigisThatFit(options_.max_length));
    session_.path.clear();
    if (random_.Between(0, most) == 1) {
      session_.path.push_back(StationAddress(kStations[kDigiStation]));
    }
    session_.frames_left = random_.Between(2, 8);
  }

  // side 0: user to node, 1: node to user. Commands carry the C bit on the destination,
  // responses on the source. The digipeaters seen are those that have repeated it.
  void SessionBegin(FrameKind kind, int side, bool command, std::uint8_t control, int pid) {
    Address from = side == 0 ? session_.user : session_.node;
    Address to = side == 0 ? session_.node : session_.user;
    to.high_bit = command;
    from.high_bit = !command;
    std::vector<Address> path = session_.path;
    if (side == 1) std::reverse(path.begin(), path.end());
    for (Address& digi : path) digi.high_bit = true;
    Begin(kind, to, from, path, control, pid);
  }

  void SessionFrame() {
    Session& s = session_;
    switch (s.phase) {
      case Session::kIdle:
        UiFrame();
        return;
      case Session::kConnect:
        SessionBegin(FrameKind::kU, 0, true, kSabm | kPollFinal, -1);
        s.phase = Session::kConnectReply;
        return;
      case Session::kConnectReply:
        if (random_.Percent(15)) {
          SessionBegin(FrameKind::kU, 1, false, kDm | kPollFinal, -1);  // node busy
          s.phase = Session::kIdle;
        } else {
          SessionBegin(FrameKind::kU, 1, false, kUa | kPollFinal, -1);
          s.phase = Session::kTransfer;
        }
        return;
      case Session::kTransfer:
        TransferFrame();
        return;
      case Session::kDisconnect:
        SessionBegin(FrameKind::kU, 0, true, kDisc | kPollFinal, -1);
        s.phase = Session::kDisconnectReply;
        return;
      case Session::kDisconnectReply:
        SessionBegin(FrameKind::kU, 1, false, kUa | kPollFinal, -1);
        s.phase = Session::kIdle;
        return;
    }
  }

  void TransferFrame() {
    Session& s = session_;
    if (s.retransmit) {
      s.retransmit = false;
      IFrame(s.last_sender, s.last_ns, s.last_info);
      return;
    }
    if (s.unacked_from >= 0 || s.busy_side >= 0) {
      const int receiver = s.busy_side >= 0 ? s.busy_side : 1 - s.unacked_from;
      const int nr = s.sent[1 - receiver] % 8;
      if (s.busy_side >= 0) {
        // Ready again.
        SessionBegin(FrameKind::kS, receiver, false, static_cast<std::uint8_t>(nr << 5 | kRr), -1);
        s.busy_side = -1;
      } else {
        const auto answer = random_.Below(100);
        if (answer < 12) {
          SessionBegin(FrameKind::kS, receiver, false, static_cast<std::uint8_t>(nr << 5 | kRnr),
                       -1);
          s.busy_side = receiver;
        } else if (answer < 24) {
          // The frame came in damaged: ask for it again from its N(S).
          SessionBegin(FrameKind::kS, receiver, false,
                       static_cast<std::uint8_t>(s.last_ns << 5 | kRej), -1);
          s.retransmit = true;
        } else {
          SessionBegin(FrameKind::kS, receiver, false, static_cast<std::uint8_t>(nr << 5 | kRr),
                       -1);
        }
        s.unacked_from = -1;
      }
      if (s.frames_left == 0 && s.busy_side < 0 && !s.retransmit) s.phase = Session::kDisconnect;
      return;
    }
    // The node greets first; then mostly the node, now and then the user.
    const int sender = s.sent[1] == 0 || random_.Percent(65) ? 1 : 0;
    --s.frames_left;
    const int ns = s.sent[sender] % 8;
    ++s.sent[sender];
    s.last_sender = sender;
    s.last_ns = ns;
    s.last_info = SessionText(sender);
    IFrame(sender, ns, s.last_info);
  }

  void IFrame(int sender, int ns, const std::string& info) {
    Session& s = session_;
    const int nr = s.sent[1 - sender] % 8;
    const auto control = static_cast<std::uint8_t>(nr << 5 | ns << 1);
    SessionBegin(FrameKind::kI, sender, true, control, kPidNoLayer3);
    frame_.info = info;
    s.unacked_from = sender;
  }

  // Lines of a mailbox dialogue (or a block of a binary download) fitted to the length range.
  std::string SessionText(int sender) {
    const int header = HeaderLength(static_cast<int>(session_.path.size()));
    const int lo = std::max(options_.min_length, header + 1);
    const int hi = options_.max_length;
    std::string text;
    if (sender == 0) {
      text.append(random_.Pick(kUserLines));
      const int length = std::clamp(header + static_cast<int>(text.size()), lo, hi);
      const auto info_length = static_cast<std::size_t>(length - header);
      while (text.size() < info_length) text.append(random_.Pick(kUserLines));
      text.resize(info_length);
      return text;
    }
    const auto info_length = static_cast<std::size_t>(random_.Between(lo, hi) - header);
    if (session_.sent[1] > 1 && random_.Percent(15)) {
      // A block of a file download: STX, length, data.
      text.push_back('\x02');
      text.push_back(
          static_cast<char>(std::min<std::size_t>(info_length > 2 ? info_length - 2 : 0, 255)));
      while (text.size() < info_length) text.push_back(random_.Byte());
    } else if (session_.sent[1] == 1) {
      text =
          "Hello " + session_.user.call + ", welcome to the " + session_.node.call + " mailbox.\r";
    }
    while (text.size() < info_length) {
      text.append(kNodeLines[session_.node_line]);
      session_.node_line = (session_.node_line + 1) % kNodeLines.size();
    }
    text.resize(info_length);
    return text;
  }

  const Options& options_;
  const std::function<void(std::string_view)>& write_;
  std::vector<GeneratedFrame>* record_;
  std::vector<GeneratedSession>* sessions_record_;
  Random random_;
  Summary summary_;
  std::string out_;
  std::string ax_;
  GeneratedFrame frame_;
  Session session_;
  std::int64_t now_ = options_.start_millis;  // time of the frame being written, ms since 1970
  bool stepped_ = false;
  std::int64_t stamp_ = -1;  // the stamp written in front of it, -1 for none
  int telemetry_sequence_ = 0;
  std::vector<std::unique_ptr<Playing>> playing_;
  // Per station: its next of kTelemetryDefinitions, and how often it has sent them all.
  std::array<std::size_t, kStations.size()> definitions_sent_{};
  std::array<int, kStations.size()> definition_rounds_{};
  std::int64_t numbered_ = 0;  // --stations: the UI frames written so far
};

// --- Several receivers of one traffic ---

// The traffic is the frames of the Generator, held unique within kUniqueMillis under the APRS
// duplicate rule (source, destination without SSID, control, PID, information without trailing
// blanks), so that every copy of a packet is known; the beacons are the only packets repeated,
// ten minutes apart.
constexpr std::int64_t kUniqueMillis = 120000;
constexpr std::int64_t kBeaconMillis = 600000;
constexpr std::int64_t kBeaconSpacing = 37000;
constexpr int kDirectPercent = 70;

std::string AprsKey(const GeneratedFrame& f) {
  std::string key = f.source.call + '-' + std::to_string(f.source.ssid) + '>' + f.destination.call +
                    '|' + static_cast<char>(f.control) + static_cast<char>(f.pid & 0xFF) + '|';
  std::size_t n = f.info.size();
  while (n > 0 && (f.info[n - 1] == ' ' || f.info[n - 1] == '\r' || f.info[n - 1] == '\n')) --n;
  key.append(f.info, 0, n);
  return key;
}

std::string Shown(const Address& a) {
  return a.ssid == 0 ? a.call : a.call + "-" + std::to_string(a.ssid);
}

class TrafficGenerator {
 public:
  TrafficGenerator(const Options& options,
                   const std::vector<std::function<void(std::string_view)>>& writes,
                   std::vector<TrafficPacket>* record)
      : options_(options),
        writes_(writes),
        record_(record),
        frames_(options, discard_, nullptr),
        random_(options.seed ^ 0x5EC0DE5EC0DE5EC0ULL),
        receivers_(options.receivers.size()) {
    for (int b = 0; b < options.beacon_stations; ++b) {
      next_beacon_.push_back(options.start_millis + kBeaconSpacing * (b + 1));
    }
  }

  std::vector<Summary> Run() {
    for (std::int64_t n = 0; n < options_.frames; ++n) {
      const GeneratedFrame* f = &frames_.Step();
      const std::int64_t now = f->stamp_millis;
      // Beacons due by now go first.
      for (std::size_t b = 0; b < next_beacon_.size() && n < options_.frames; ++b) {
        if (next_beacon_[b] > now) continue;
        Send(Beacon(b, next_beacon_[b]), next_beacon_[b], TrafficPacket::kBeacon);
        next_beacon_[b] += kBeaconMillis;
        ++n;
      }
      if (n >= options_.frames) break;
      if (options_.satellite_percent > 0 && random_.Percent(options_.satellite_percent)) {
        Send(Satellite(now), now, TrafficPacket::kSatellite);
        continue;
      }
      Forget(now);
      while (recent_.count(AprsKey(*f)) > 0) f = &frames_.Again();
      GeneratedFrame sent = *f;
      for (Address& digi : sent.digipeaters) digi.high_bit = false;
      Send(sent, now, TrafficPacket::kTerrestrial);
    }
    std::vector<Summary> out;
    for (std::size_t r = 0; r < receivers_.size(); ++r) {
      Flush(r, std::numeric_limits<std::int64_t>::max());
      Write(r);
      out.push_back(receivers_[r].summary);
    }
    return out;
  }

 private:
  struct Reception {
    std::int64_t millis;
    std::uint64_t seq;
    std::string ax25;
    bool operator>(const Reception& o) const {
      return millis != o.millis ? millis > o.millis : seq > o.seq;
    }
  };
  struct ReceiverState {
    // Receptions not yet written: a copy through a digipeater comes in after later packets.
    std::priority_queue<Reception, std::vector<Reception>, std::greater<>> waiting;
    std::string out;
    Summary summary;
  };

  GeneratedFrame Beacon(std::size_t b, std::int64_t millis) {
    const Station& s = kStations[b == 0 ? kDigiStation : 0];
    GeneratedFrame f;
    f.kind = FrameKind::kUi;
    f.destination = Address{"APRS", 0, true};
    f.source = StationAddress(s);
    if (b == 1) f.digipeaters = {Address{"WIDE2", 2, false}};
    f.control = kUi;
    f.pid = kPidNoLayer3;
    f.info = "!4812.03N/01136.74E#PHG5360 beacon every 10 min";
    f.stamp_millis = millis;
    return f;
  }

  // A satellite's downlink: no digipeaters, every station hears the same bytes.
  GeneratedFrame Satellite(std::int64_t millis) {
    GeneratedFrame f;
    f.kind = FrameKind::kUi;
    f.destination = Address{"CQ", 0, true};
    f.source = Address{"QQ9SAT", 1, false};
    f.control = kUi;
    f.pid = kPidNoLayer3;
    // User-defined APRS data ("{Q", type T) as the generator's binary frames: a frame number,
    // then raw telemetry bytes.
    f.info = "{QT";
    f.info += std::to_string(satellite_sequence_++);
    f.info.push_back(' ');
    for (int i = 0; i < 24; ++i) f.info.push_back(random_.Byte());
    f.stamp_millis = millis;
    return f;
  }

  void Forget(std::int64_t now) {
    while (!recent_order_.empty() && recent_order_.front().first < now - kUniqueMillis) {
      const auto found = recent_.find(recent_order_.front().second);
      if (found != recent_.end()) recent_.erase(found);
      recent_order_.pop_front();
    }
  }

  void Send(const GeneratedFrame& f, std::int64_t millis, TrafficPacket::Kind kind) {
    const std::string key = AprsKey(f);
    recent_.insert(key);
    recent_order_.emplace_back(millis, key);
    TrafficPacket packet;
    packet.millis = millis;
    packet.kind = kind;
    packet.source = Shown(f.source);
    packet.info = f.info;
    packet.heard.assign(receivers_.size(), 0);
    std::string direct;
    EncodeAx25(f, direct);
    std::string digipeated;
    if (!f.digipeaters.empty()) {
      GeneratedFrame copy = f;
      copy.digipeaters[0] = StationAddress(kStations[kDigiStation]);
      copy.digipeaters[0].high_bit = true;
      EncodeAx25(copy, digipeated);
    }
    for (std::size_t r = 0; r < receivers_.size(); ++r) {
      const Receiver& rx = options_.receivers[r];
      const std::int64_t at = millis + rx.clock_ms;
      Flush(r, at);
      if (!random_.Percent(rx.share)) continue;
      const bool direct_heard = digipeated.empty() || random_.Percent(kDirectPercent);
      if (direct_heard) {
        receivers_[r].waiting.push({at, seq_++, direct});
        packet.heard[r] |= TrafficPacket::kDirect;
      }
      if (!digipeated.empty() && (!direct_heard || random_.Percent(options_.doubles_percent))) {
        receivers_[r].waiting.push({at + random_.Between(800, 2500), seq_++, digipeated});
        packet.heard[r] |= TrafficPacket::kDigipeated;
      }
    }
    if (record_ != nullptr) record_->push_back(std::move(packet));
  }

  // Writes the receptions of receiver r up to time until, each behind its stamp.
  void Flush(std::size_t r, std::int64_t until) {
    ReceiverState& rx = receivers_[r];
    while (!rx.waiting.empty() && rx.waiting.top().millis <= until) {
      const Reception& next = rx.waiting.top();
      const std::int64_t millis = std::clamp<std::int64_t>(next.millis, 0, kLastMillis);
      if (options_.stamps != StampForm::kNone) {
        AppendStampFrame(rx.out, options_.stamps, millis);
        ++rx.summary.stamps;
      }
      rx.summary.escapes += AppendKissFrame(rx.out, kDataFrameType, next.ax25);
      ++rx.summary.frames;
      ++rx.summary.ui_frames;
      rx.waiting.pop();
      if (rx.out.size() >= kWriteBlock) Write(r);
    }
  }

  void Write(std::size_t r) {
    ReceiverState& rx = receivers_[r];
    rx.summary.bytes += static_cast<std::int64_t>(rx.out.size());
    writes_[r](rx.out);
    rx.out.clear();
  }

  const Options& options_;
  const std::vector<std::function<void(std::string_view)>>& writes_;
  std::vector<TrafficPacket>* record_;
  const std::function<void(std::string_view)> discard_ = [](std::string_view) {};
  Generator frames_;
  Random random_;
  std::vector<ReceiverState> receivers_;
  std::vector<std::int64_t> next_beacon_;
  std::unordered_multiset<std::string> recent_;
  std::deque<std::pair<std::int64_t, std::string>> recent_order_;
  std::uint64_t seq_ = 0;
  int satellite_sequence_ = 0;
};

// --- Command line ---

bool ParseWhole(std::string_view text, std::int64_t lo, std::int64_t hi, std::int64_t& value) {
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() && value >= lo && value <= hi;
}

bool ParseSeed(std::string_view text, std::uint64_t& value) {
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

// PATH[:SHARE[:CLOCK_MS]]: the numbers are taken from the end, as far as they are numbers.
bool ParseReceiver(std::string_view text, Receiver& r) {
  std::vector<std::string_view> numbers;
  while (numbers.size() < 2) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos) break;
    std::int64_t n = 0;
    const std::string_view piece = text.substr(colon + 1);
    if (!ParseWhole(piece.starts_with('+') ? piece.substr(1) : piece,
                    std::numeric_limits<std::int64_t>::min() / 2,
                    std::numeric_limits<std::int64_t>::max() / 2, n)) {
      break;
    }
    numbers.insert(numbers.begin(), piece);
    text = text.substr(0, colon);
  }
  if (text.empty() || text == "-") return false;
  r.output = std::string(text);
  std::int64_t n = 0;
  if (!numbers.empty()) {
    if (!ParseWhole(numbers[0], 0, 100, n)) return false;
    r.share = static_cast<int>(n);
  }
  if (numbers.size() == 2) {
    const std::string_view clock = numbers[1].starts_with('+') ? numbers[1].substr(1) : numbers[1];
    if (!ParseWhole(clock, -86400000, 86400000, n)) return false;
    r.clock_ms = n;
  }
  return true;
}

}  // namespace

Summary GenerateCapture(const Options& options, const std::function<void(std::string_view)>& write,
                        std::vector<GeneratedFrame>* record,
                        std::vector<GeneratedSession>* sessions) {
  return Generator(options, write, record, sessions).Run();
}

std::vector<Summary> GenerateTraffic(
    const Options& options, const std::vector<std::function<void(std::string_view)>>& writes,
    std::vector<TrafficPacket>* record) {
  return TrafficGenerator(options, writes, record).Run();
}

std::vector<std::string> GenerateTrafficBytes(const Options& options,
                                              std::vector<TrafficPacket>* record) {
  std::vector<std::string> bytes(options.receivers.size());
  std::vector<std::function<void(std::string_view)>> writes;
  for (std::string& b : bytes)
    writes.emplace_back([&b](std::string_view block) { b.append(block); });
  GenerateTraffic(options, writes, record);
  return bytes;
}

std::string GenerateCaptureBytes(const Options& options, std::vector<GeneratedFrame>* record,
                                 std::vector<GeneratedSession>* sessions) {
  std::string bytes;
  GenerateCapture(
      options, [&bytes](std::string_view block) { bytes.append(block); }, record, sessions);
  return bytes;
}

std::string StampText(std::int64_t millis) {
  const UtcTime t = UtcFromMillis(millis);
  std::string text;
  AppendNumber(text, t.year, 4);
  text.push_back('-');
  AppendNumber(text, t.month, 2);
  text.push_back('-');
  AppendNumber(text, t.day, 2);
  text.push_back(' ');
  AppendNumber(text, t.hour, 2);
  text.push_back(':');
  AppendNumber(text, t.minute, 2);
  text.push_back(':');
  AppendNumber(text, t.second, 2);
  text.push_back('.');
  AppendNumber(text, t.millis, 3);
  text.append(" UTC");
  return text;
}

ParsedArguments ParseArguments(const std::vector<std::string_view>& args) {
  ParsedArguments parsed;
  Options& o = parsed.options;
  bool frames_given = false;
  bool size_given = false;
  bool output_given = false;
  bool traffic_given = false;
  auto fail = [&parsed](std::string message) {
    parsed.error = std::move(message);
    return parsed;
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string_view name = args[i];
    std::string_view value;
    bool has_value = false;
    if (name.starts_with("--") && name.find('=') != std::string_view::npos) {
      const std::size_t eq = name.find('=');
      value = name.substr(eq + 1);
      name = name.substr(0, eq);
      has_value = true;
    }
    if (name == "-h" || name == "--help") {
      parsed.help = true;
      continue;
    }
    if (name == "--mix" || name == "--telemetry" || name == "--sessions") {
      if (has_value) return fail("option " + std::string(name) + " takes no value");
      (name == "--mix" ? o.mix : name == "--telemetry" ? o.telemetry : o.sessions) = true;
      continue;
    }
    static constexpr std::array<std::string_view, 18> kWithValue = {
        "--seed",    "--frames",   "--size",      "--min-length", "--max-length",   "--max-digis",
        "--stamps",  "--start-ms", "--stations",  "-o",           "--output",       "--receiver",
        "--doubles", "--beacons",  "--satellite", "--loss",       "--monitor-loss", "--mod128"};
    if (std::find(kWithValue.begin(), kWithValue.end(), name) == kWithValue.end()) {
      if (!name.starts_with("-") || name == "-") {
        return fail("unexpected argument '" + std::string(name) + "'");
      }
      return fail("unknown option '" + std::string(name) + "'");
    }
    if (!has_value) {
      if (i + 1 == args.size()) return fail("option " + std::string(name) + " needs a value");
      value = args[++i];
    }
    const std::string label(name);
    // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) of "'" + std::string.
    std::string shown("'");
    shown.append(value).append("'");
    std::int64_t number = 0;
    if (name == "--seed") {
      if (!ParseSeed(value, o.seed)) {
        return fail(label + ": " + shown + " is not a whole number from 0 to 18446744073709551615");
      }
    } else if (name == "--frames" || name == "--size") {
      if (!ParseWhole(value, 0, std::numeric_limits<std::int64_t>::max(), number)) {
        return fail(label + ": " + shown + " is not a whole number of 0 or more");
      }
      (name == "--frames" ? frames_given : size_given) = true;
      (name == "--frames" ? o.frames : o.size) = number;
    } else if (name == "--min-length" || name == "--max-length") {
      if (!ParseWhole(value, kShortestFrame, kLongestFrame, number)) {
        return fail(label + ": " + shown + " is not a frame length from " +
                    std::to_string(kShortestFrame) + " to " + std::to_string(kLongestFrame));
      }
      (name == "--min-length" ? o.min_length : o.max_length) = static_cast<int>(number);
    } else if (name == "--max-digis") {
      if (!ParseWhole(value, 0, kMostDigipeaters, number)) {
        return fail(label + ": " + shown + " is not a number of digipeaters from 0 to " +
                    std::to_string(kMostDigipeaters));
      }
      o.max_digis = static_cast<int>(number);
    } else if (name == "--loss" || name == "--monitor-loss" || name == "--mod128") {
      if (!ParseWhole(value, 0, name == "--mod128" ? 100 : 50, number)) {
        return fail(label + ": " + shown + " is not a percentage from 0 to " +
                    (name == "--mod128" ? "100" : "50"));
      }
      (name == "--loss"           ? o.loss
       : name == "--monitor-loss" ? o.monitor_loss
                                  : o.mod128) = static_cast<int>(number);
    } else if (name == "--stations") {
      // Five base-36 digits number them.
      if (!ParseWhole(value, 1, 60466176, number)) {
        return fail(label + ": " + shown + " is not a number of stations from 1 to 60466176");
      }
      o.stations = number;
    } else if (name == "--stamps") {
      if (value == "binary") {
        o.stamps = StampForm::kBinary;
      } else if (value == "text") {
        o.stamps = StampForm::kText;
      } else if (value == "none") {
        o.stamps = StampForm::kNone;
      } else {
        return fail(label + ": " + shown + " is not binary, text or none");
      }
    } else if (name == "--start-ms") {
      if (!ParseWhole(value, 0, kLastMillis, number)) {
        return fail(label + ": " + shown + " is not a time in milliseconds from 0 (1970) to " +
                    std::to_string(kLastMillis) + " (9999)");
      }
      o.start_millis = number;
    } else if (name == "--receiver") {
      Receiver r;
      if (!ParseReceiver(value, r)) {
        return fail(label + ": " + shown + " is not PATH[:SHARE[:CLOCK_MS]] (SHARE 0 to 100)");
      }
      o.receivers.push_back(std::move(r));
    } else if (name == "--doubles" || name == "--satellite") {
      if (!ParseWhole(value, 0, 100, number)) {
        return fail(label + ": " + shown + " is not a percentage from 0 to 100");
      }
      (name == "--doubles" ? o.doubles_percent : o.satellite_percent) = static_cast<int>(number);
      traffic_given = true;
    } else if (name == "--beacons") {
      if (!ParseWhole(value, 0, kMostBeaconStations, number)) {
        return fail(label + ": " + shown + " is not a number of stations from 0 to " +
                    std::to_string(kMostBeaconStations));
      }
      o.beacon_stations = static_cast<int>(number);
      traffic_given = true;
    } else {
      if (value.empty()) return fail(label + ": the output path is empty");
      o.output = std::string(value);
      output_given = true;
    }
  }
  if (!o.receivers.empty()) {
    if (output_given) return fail("--receiver names the outputs; no -o");
    if (size_given) return fail("--receiver counts packets (--frames); no --size");
    if (o.mix) return fail("--receiver makes APRS traffic; no --mix");
    if (o.sessions) return fail("--receiver makes APRS traffic; no --sessions");
  } else if (traffic_given) {
    return fail("--doubles, --beacons and --satellite need --receiver");
  }
  if (frames_given && size_given) return fail("--frames and --size exclude each other");
  if (size_given) o.frames = -1;
  if (o.min_length > o.max_length) {
    return fail("--min-length (" + std::to_string(o.min_length) +
                ") is greater than --max-length (" + std::to_string(o.max_length) + ")");
  }
  return parsed;
}

std::string UsageText() {
  return R"(Usage: packscope-gencapture [options]
Writes a KISS capture of made-up AX.25 traffic (APRS in UI frames; with --mix also connected
sessions), the same bytes for the same options on every machine.

  --seed N            random seed (default 1)
  --frames N          number of radio frames, stamps not counted (default 100)
  --size BYTES        write until the capture reaches BYTES, ending with a whole frame
  --min-length N      shortest UI or I frame, AX.25 bytes before escaping (default 20)
  --max-length N      longest UI or I frame (default 240)
  --max-digis N       digipeaters per frame, 0 to 8 (default 2)
  --stamps FORM       binary, text or none: a timestamp frame before every frame (default binary)
  --start-ms MS       time of the first stamp, ms since 1970 UTC (default 1451651696789,
                      2016-01-01 12:34:56.789 UTC)
  --mix               also I, S and U frames of connected sessions
  --telemetry         stations also send their telemetry definitions (PARM, UNIT, EQNS, BITS),
                      which name and scale their later T# reports
  --stations N        UI frames from N numbered stations in turn (Q00000, Q00001 ...)
  --sessions          connected sessions played out by both stations beside the UI traffic:
                      losses, REJ, T1 polls, RNR, SABME (modulo 128), XID, NET/ROM between
                      nodes, NODES broadcasts
  --loss PERCENT      --sessions: frames lost on the way to the other station (default 5)
  --monitor-loss PERCENT
                      --sessions: frames the monitor misses, not written (default 3)
  --mod128 PERCENT    --sessions: sessions set up with SABME (default 30)
  -o, --output PATH   where to write (default -, standard output)

Several receivers of one traffic (for merging), one capture each:
  --receiver PATH[:SHARE[:CLOCK_MS]]
                      a receiver hearing SHARE percent of the packets (default 100), its
                      stamps CLOCK_MS late (early when negative); once per receiver
  --doubles PERCENT   direct receptions heard again through a digipeater (default 0)
  --beacons N         stations (0 to 2) sending the same beacon every ten minutes (default 0)
  --satellite PERCENT packets of a satellite, heard with the same bytes (default 0)
  -h, --help          this text
)";
}

}  // namespace packscope::gen
