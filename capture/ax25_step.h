// The frame loop's AX.25 step: the decoder (ax25/ax25_decoder.h) over the current frame's
// FrameBytes, its fields kept in DecoderState, the callsigns shown in the window.
#ifndef PACKSCOPE_CAPTURE_AX25_STEP_H_
#define PACKSCOPE_CAPTURE_AX25_STEP_H_

#include "capture/decoder_state.h"
#include "capture/window.h"

namespace packscope {

// Decodes the current frame into state (DestCall ... PayloadHex, bytes of earlier frames beyond
// FrameLength included, as the decoder reads them); sets Text2 to "-" DestCall "-" and Text3 to
// "-" SourceCall "-". Without callsigns, for a pass that reads neither the callsigns nor the
// boxes: the decoder's other fields alone (DecodeAx25Payload), the boxes left as they are.
void DecodeAx25(DecoderState& state, Window& window, bool callsigns = true);

}  // namespace packscope

#endif  // PACKSCOPE_CAPTURE_AX25_STEP_H_
