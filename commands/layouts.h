// The converter's own layouts, written frame by frame by a FrameWriter rather than by the frame
// output step, and so absent from the window's Write menu:
//
//   pcap     a libpcap capture file, link type 202 (LINKTYPE_AX25_KISS), for Wireshark/tshark
//   jsonl    one JSON object per frame (JSON Lines)
//   monitor  one human-readable line per frame, as a TNC's monitor shows traffic
//
// All three cover every frame but timestamp frames; a timestamp frame sets the time of the frames
// behind it (StampClock). Their text lines end with LF alone.
#ifndef PACKSCOPE_CLI_LAYOUTS_H_
#define PACKSCOPE_CLI_LAYOUTS_H_

#include <array>
#include <memory>
#include <string_view>

#include "capture/line_sink.h"
#include "commands/commands.h"

namespace packscope {

std::unique_ptr<FrameWriter> MakePcapWriter(LineSink& out);
std::unique_ptr<FrameWriter> MakeJsonlWriter(LineSink& out);
std::unique_ptr<FrameWriter> MakeMonitorWriter(LineSink& out);

struct ConverterLayout {
  std::string_view name;       // packscope-convert --layout
  std::string_view extension;  // of the output's derived name (DeriveOutputName)
  std::unique_ptr<FrameWriter> (*make_writer)(LineSink& out);
};
inline constexpr std::array<ConverterLayout, 3> kConverterLayouts = {{
    {"pcap", "pcap", &MakePcapWriter},
    {"jsonl", "jsonl", &MakeJsonlWriter},
    {"monitor", "monitor.txt", &MakeMonitorWriter},
}};

}  // namespace packscope

#endif  // PACKSCOPE_CLI_LAYOUTS_H_
