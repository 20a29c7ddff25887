// CheckAprsFields: runs APRS fields through the decoder, its JSON object and its line in plain
// words, and checks what came out against what any field may give.
//
// The input is text of monitor lines, "SOURCE>DESTINATION,PATH:information", one field a line
// (a line without a header is an information field from N0CALL to APRS), decoded in order by
// one decoder, so that telemetry definitions meet the reports after them.
//
// Checked for every field, and for the inner packets of third-party fields: latitude and
// longitude within their ranges, course 1..360, speeds and altitudes finite, counts of the
// telemetry channels in range, the bits 8 characters of 0 and 1, names of objects and items
// and addressees no longer than the format allows, the error a printable sentence; the JSON
// object serialises (valid UTF-8) and reads back equal; the words line is one line of UTF-8.
//
// A failed check calls the failure handler: the fuzz target aborts (libFuzzer keeps the input),
// the corpus test records a test failure and goes on.
#ifndef PACKSCOPE_FUZZ_APRS_CHECK_H_
#define PACKSCOPE_FUZZ_APRS_CHECK_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace packscope::fuzz {

using AprsFailureHandler = void (*)(const std::string& message);
// The default handler prints the message and aborts.
void SetAprsFailureHandler(AprsFailureHandler handler);

void CheckAprsFields(const std::uint8_t* data, std::size_t size);

}  // namespace packscope::fuzz

#endif  // PACKSCOPE_FUZZ_APRS_CHECK_H_
