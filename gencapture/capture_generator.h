// The capture generator behind packscope-gencapture: writes KISS captures of made-up but
// plausible AX.25 traffic, for samples, tests and benchmarks. It only encodes; it never reads a
// capture.
//
// What it writes, frame by frame:
//
//   C0 | 09 | 8 bytes ms since 1970 UTC, MSB first | C0          binary stamp (--stamps binary)
//   C0 | 09 | "2016-01-01 12:34:56.789 UTC" | C0                 text stamp (--stamps text)
//   C0 | 00 | AX.25 frame, KISS-escaped | C0                     the radio frame
//
//   KISS escaping of every byte after C0:  C0 -> DB DC,  DB -> DB DD  (stamps included)
//
//   AX.25 frame:
//     dest (7) | source (7) | digipeaters (7 each, 0..8) | control | PID F0 | information
//     address block: six callsign characters, blank padded, each shifted left one bit, then
//                    the SSID byte  C/H 1 1 S S S S E   (E: last address block)
//     C bits: destination C set and source C clear for commands, the reverse for responses;
//     H bit on a digipeater: the frame has been repeated by it.
//     control 03 (UI) with PID and information; with --mix also I frames (N(R) P N(S) 0, PID,
//     information), S frames (RR, RNR, REJ: N(R) P/F SS 01, no PID) and U frames (SABM, DISC,
//     UA, DM: no PID) of short connected sessions between a user and a node.
//     APRS: positions (some stations move), status texts, T# telemetry, messages, weather
//     reports of one station, user-defined data; with --telemetry also the stations' telemetry
//     definitions (":QQ1ABC-9 :PARM.Battery,...", UNIT., EQNS., BITS.) now and then.
//     With --sessions: connected sessions played out by both stations (gencapture/
//     connected_session.h): frames lost on the way to the other station (--loss) and not
//     heard by the monitor (--monitor-loss, not written), REJ, T1 polls, RNR, SABME sessions
//     counting modulo 128 (two control bytes in I and S frames: N(S) 0 | N(R) P), XID, node to
//     node links carrying NET/ROM, and NET/ROM NODES broadcasts among the UI frames.
//
// The output depends on the options alone: the random numbers come from std::mt19937_64 with
// the project's own bounded mapping (the std distributions differ between libraries), and no
// floating point is used. A --size run writes a prefix of the same seed's --frames run.
#ifndef PACKSCOPE_GENCAPTURE_CAPTURE_GENERATOR_H_
#define PACKSCOPE_GENCAPTURE_CAPTURE_GENERATOR_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace packscope::gen {

enum class StampForm { kBinary, kText, kNone };

// 2016-01-01 12:34:56.789 UTC.
inline constexpr std::int64_t kDefaultStartMillis = 1451651696789;
// AX.25 frames longer than this do not fit the capture reader (type byte included).
inline constexpr int kLongestFrame = 65534;
inline constexpr int kMostDigipeaters = 8;
// Address (14) + control + PID + one information byte.
inline constexpr int kShortestFrame = 17;

// One receiver of the traffic (GenerateTraffic): a capture of what it heard.
struct Receiver {
  std::string output;         // where its capture goes
  int share = 100;            // percent of the packets it hears
  std::int64_t clock_ms = 0;  // its stamps run this much late (early when negative)
};
inline constexpr int kMostBeaconStations = 2;

struct Options {
  std::uint64_t seed = 1;
  // How much to write: frames counts radio frames (stamps not counted); size in bytes of the
  // capture, ending with the first radio frame that reaches it. Exactly one of them is >= 0.
  std::int64_t frames = 100;
  std::int64_t size = -1;
  // Length range of the AX.25 frames that carry an information field (UI and I frames):
  // address field through information field, before escaping, without the KISS type byte.
  // S and U frames are the address field and the control byte alone.
  int min_length = 20;
  int max_length = 240;
  int max_digis = 2;
  StampForm stamps = StampForm::kBinary;
  std::int64_t start_millis = kDefaultStartMillis;
  bool mix = false;
  // Some telemetry reports give way to the station's telemetry definitions: messages to itself.
  bool telemetry = false;
  // Connected sessions played out in full (gencapture/connected_session.h).
  bool sessions = false;
  int loss = 5;          // percent of frames the other station does not receive
  int monitor_loss = 3;  // percent of frames the monitor does not hear (not written)
  int mod128 = 30;       // percent of sessions set up with SABME
  // Above 0: the UI frames come from this many numbered stations in turn (Q00000, Q00001 ...,
  // the number in base 36) instead of the made-up ones, for captures of many stations; the
  // frames are otherwise the same, byte for byte as long, whatever the number.
  std::int64_t stations = 0;
  std::string output = "-";  // "-": standard output
  // Several receivers of one traffic instead of one capture: frames counts the packets sent.
  std::vector<Receiver> receivers;
  int doubles_percent = 0;    // of a receiver's direct receptions, heard again through a digi
  int beacon_stations = 0;    // stations (0..2) that send the same beacon every ten minutes
  int satellite_percent = 0;  // packets of a satellite, heard by all with the same bytes
};

enum class FrameKind { kUi, kI, kS, kU };

struct Address {
  std::string call;  // up to six characters
  int ssid = 0;
  bool high_bit = false;  // C bit (destination, source) or H bit (digipeater)
  friend bool operator==(const Address&, const Address&) = default;
};

// One radio frame as written, for callers that check the output.
struct GeneratedFrame {
  FrameKind kind = FrameKind::kUi;
  Address destination;
  Address source;
  std::vector<Address> digipeaters;
  std::uint8_t control = 0;
  int control2 = -1;               // the second control byte (modulo 128); -1: none
  int pid = -1;                    // -1: none (S and U frames other than UI)
  std::string info;                // information field, raw bytes
  std::int64_t stamp_millis = -1;  // the stamp written in front of it; -1 with --stamps none
  std::int64_t end_offset = 0;     // capture bytes written up to and including its closing C0
  int length = 0;                  // AX.25 bytes, before escaping
  std::int64_t number = 0;         // in the capture, from 1, stamps counted (jsonl's "frame")
};

// A frame of a connected session as the monitor heard it.
struct SessionFrame {
  std::size_t record = 0;  // the frame in the record of frames written
  int direction = 0;       // 0: from the initiator
  FrameKind kind = FrameKind::kU;
  // I frames N(S), I and S frames N(R), counting on from 0 without wrapping; -1: none.
  std::int64_t ns = -1;
  std::int64_t nr = -1;
};

// One connected session as the two stations played it.
struct GeneratedSession {
  Address initiator;
  Address responder;
  int modulo = 8;
  bool sabme = false;
  // The data of every I frame each station sent ([0] the initiator), by its N(S) counted on
  // from 0: what the other station should end up with.
  std::vector<std::string> sent[2];
  std::vector<SessionFrame> heard;  // the session's frames the monitor heard, in order
};

struct Summary {
  std::int64_t frames = 0;  // radio frames
  std::int64_t stamps = 0;
  std::int64_t bytes = 0;
  std::int64_t escapes = 0;  // C0 and DB bytes that were escaped
  std::int64_t ui_frames = 0;
  std::int64_t i_frames = 0;
  std::int64_t s_frames = 0;
  std::int64_t u_frames = 0;
};

// Writes the capture that options describe through write (called with blocks of about a
// megabyte, and once more at the end). When record is given, every radio frame is appended to
// it as well, and with sessions every connected session of --sessions that the monitor heard
// a frame of, in the order of their first frame heard. Options must be valid (as
// ParseArguments returns them).
Summary GenerateCapture(const Options& options, const std::function<void(std::string_view)>& write,
                        std::vector<GeneratedFrame>* record = nullptr,
                        std::vector<GeneratedSession>* sessions = nullptr);

// The capture in memory.
std::string GenerateCaptureBytes(const Options& options,
                                 std::vector<GeneratedFrame>* record = nullptr,
                                 std::vector<GeneratedSession>* sessions = nullptr);

// Several receivers of one traffic (options.receivers), for merging: the packets of the traffic
// (the generator's frames, each unique within two minutes under the APRS duplicate rule; no
// connected sessions), each heard by a receiver with its share. A packet with digipeaters is
// heard direct (70 %) or only through a digipeater (0.8 to 2.5 s later, the first digipeater
// replaced by QQ0DIG-1 with its H bit set), and a direct reception with doubles_percent through the
// digipeater as well. Each receiver's stamps are the time heard plus its clock_ms; its capture is
// in the order of its stamps. Beacons (QQ0DIG-1 direct, QQ0QQ through WIDE2-2) repeat the same
// bytes every ten minutes; satellite packets (QQ9SAT-1 to CQ, binary telemetry as user-defined APRS
// data) have no digipeaters.
struct TrafficPacket {
  enum Kind { kTerrestrial, kBeacon, kSatellite };
  static constexpr std::uint8_t kDirect = 1;
  static constexpr std::uint8_t kDigipeated = 2;
  std::int64_t millis = 0;  // when it was sent (the receivers' stamps without their clocks)
  Kind kind = kTerrestrial;
  std::string source;               // "QQ2XY-7"
  std::string info;                 // the information field
  std::vector<std::uint8_t> heard;  // per receiver: kDirect | kDigipeated, 0 when not heard
};

// Writes each receiver's capture through writes[i] (blocks of about a megabyte); returns what
// each capture holds. record gets every packet sent, heard or not.
std::vector<Summary> GenerateTraffic(
    const Options& options, const std::vector<std::function<void(std::string_view)>>& writes,
    std::vector<TrafficPacket>* record = nullptr);
// The receivers' captures in memory.
std::vector<std::string> GenerateTrafficBytes(const Options& options,
                                              std::vector<TrafficPacket>* record = nullptr);

// The text stamp of a time: "2016-01-01 12:34:56.789 UTC".
std::string StampText(std::int64_t millis);

struct ParsedArguments {
  Options options;
  bool help = false;
  std::string error;  // not empty: the arguments are unusable, and this says why
};

// The command line without the program name.
ParsedArguments ParseArguments(const std::vector<std::string_view>& args);

// The --help text.
std::string UsageText();

}  // namespace packscope::gen

#endif  // PACKSCOPE_GENCAPTURE_CAPTURE_GENERATOR_H_
