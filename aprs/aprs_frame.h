// Which frames carry APRS, and what the decoder needs of their AX.25 header.
#ifndef PACKSCOPE_APRS_APRS_FRAME_H_
#define PACKSCOPE_APRS_APRS_FRAME_H_

#include "aprs/aprs_decoder.h"
#include "ax25/ax25_details.h"

namespace packscope {

// An APRS frame: a UI frame with PID F0 (no layer 3), read whole (no Ax25Problem), whose
// information field is an APRS field (IsAprsInformationField).
bool IsAprsFrame(const Ax25Details& d);

// The decoder's header of a frame: its source and destination texts (views into d).
AprsHeader AprsHeaderOf(const Ax25Details& d);

}  // namespace packscope

#endif  // PACKSCOPE_APRS_APRS_FRAME_H_
