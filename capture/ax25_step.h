// The frame loop's AX.25 step: the decoder (ax25/ax25_decoder.h) over the current frame's
// FrameBytes, its fields kept in DecoderState, the callsigns shown in the window.
#ifndef PACKSCOPE_CAPTURE_AX25_STEP_H_
#define PACKSCOPE_CAPTURE_AX25_STEP_H_

#include "capture/decoder_state.h"
#include "capture/window.h"

namespace packscope {

// Decodes the current frame into state (DestCall ... PayloadHex, bytes of earlier frames beyond
// FrameLength included, as the decoder reads them); sets Text2 to "-" DestCall "-" and Text3 to
// "-" SourceCall "-".
void DecodeAx25(DecoderState& state, Window& window);

}  // namespace packscope

#endif  // PACKSCOPE_CAPTURE_AX25_STEP_H_
