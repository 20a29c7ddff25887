#include "ax25/ax25_text.h"

#include "ax25/ax25_decoder.h"
#include "render/hex.h"

namespace packscope {

void AppendDigipeaterPath(std::string& out, const Ax25Details& details, CallBytes calls) {
  for (int i = 0; i < details.digipeater_count; ++i) {
    const Ax25Address& a = details.digipeaters[static_cast<std::size_t>(i)];
    if (i > 0) out.push_back(',');
    if (calls == CallBytes::kPrintable) {
      AppendPrintable(out, std::string_view(a.call));
    } else if (calls == CallBytes::kFromBlocks) {
      std::string call;  // a callsign fits the string's own room
      CallsignText(a.block.data(), call);
      out.append(call);
    } else {
      out.append(a.call);
    }
    if (a.high_bit) out.push_back('*');
  }
}

void AppendFrameTypeName(std::string& out, const Ax25Details& details) {
  if (details.kind == Ax25Kind::kI) {
    out.push_back('I');
  } else if (!details.name.empty()) {
    out.append(details.name);
  } else {
    out.append("U code=").append(std::to_string(details.type_code));
  }
}

}  // namespace packscope
