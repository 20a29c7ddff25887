#include "aprs/aprs_frame.h"

namespace packscope {

bool IsAprsFrame(const Ax25Details& d) {
  return d.problem == Ax25Problem::kNone && d.kind == Ax25Kind::kU && d.name == "UI" && d.pid &&
         *d.pid == 0xF0 && IsAprsInformationField(d.info);
}

AprsHeader AprsHeaderOf(const Ax25Details& d) {
  return AprsHeader{d.source.call, d.destination.call};
}

}  // namespace packscope
