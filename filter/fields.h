// The filter language's fields: one registry, one row per field. The parser looks names up here,
// the converter's --help and the manual page list the rows with their help lines, and a row's
// reader takes the field's value from a frame's FrameFacts. A new field is a new row (and, when it
// reads a decoding the frame does not have yet, a FrameNeed bit that DescribeFrame fills).
//
// A frame that lacks a field (src of a frame that is not AX.25, pid of an S frame, time before
// the first stamp, via of a frame without digipeaters, problem of a frame without findings,
// aprs.lat of a frame that is no APRS frame or whose field has no position) fails every test on
// it, != included (as in Wireshark: != holds when the field is there with none of the values);
// `not` turns that round.
//
// The aprs.* rows are made from the APRS layer's field table (aprs/aprs_fields.h): aprs.NAME
// for each of its fields but the single channels' names and units, with the table's help line.
// They read the outer packet of a third-party packet (aprs.type == third-party).
#ifndef PACKSCOPE_FILTER_FIELDS_H_
#define PACKSCOPE_FILTER_FIELDS_H_

#include <array>
#include <span>
#include <string_view>

#include "capture/frame_receivers.h"
#include "filter/frame_facts.h"

namespace packscope {

// How a field's values compare, and which operators it takes.
enum class FieldType {
  kNumber,    // == != < <= > >= in; decimal, 0x.. hex, a sign and a fraction allowed
  kTime,      // == != < <= > >= in; ISO 8601 in UTC, milliseconds
  kText,      // == != ~ in; the bytes exactly
  kCallsign,  // == != ~ in; CALL or CALL-SSID text, ASCII case ignored, CALL-* any SSID
  kName,      // == != ~ in; one of the row's names (case ignored), or a code when the row has codes
};

// "a number", "a time", ...
std::string_view FieldTypeNoun(FieldType type);

// One field's value for one frame. A field may hold several texts (the digipeaters of via, the
// findings of problem): ==, ~ and in hold when one of them matches, != when none does. The texts
// point into the FrameFacts read, or are constants.
struct FieldValue {
  // Texts kept: enough for call (source, destination, digipeaters) and heard_by (the receivers of
  // a merge).
  static constexpr int kMaxTexts = kMostReceivers;
  static_assert(kMaxTexts >= 2 + kMaxDigipeaters);

  bool present = false;
  double number = 0;      // kNumber, kTime; kName: the code, when has_code
  bool has_code = false;  // kName
  int count = 0;

  void Add(std::string_view text) {
    if (count == kMaxTexts) return;
    data_[count] = text.data();
    size_[count++] = text.size();
  }
  std::string_view Text(int i) const { return {data_[i], size_[i]}; }

 private:
  // Set up to count only: a value is made for every test of every frame.
  const char* data_[kMaxTexts];
  std::size_t size_[kMaxTexts];
};

struct Field {
  std::string_view name;
  FieldType type;
  FrameNeeds needs;
  // Sets value (a fresh FieldValue) for the frame; leaves it not present when the frame lacks
  // the field.
  void (*read)(const FrameFacts& facts, FieldValue& value);
  std::string_view help;  // one line for --help and the manual page
  // kName: the names a value may take, as the reader writes them.
  std::span<const std::string_view> names = {};
  // kName: a number stands for a code (FieldValue::number).
  std::string_view code_help = {};  // what the code is, for messages; empty: no codes
  // kNumber, and a kName's codes: when above 0, a value must be a whole number from 0 to this
  // (a port of 1.5 or a PID of 300 is refused, not a test that matches nothing).
  double whole_max = 0;
};

// Every field, in the order --help lists them.
std::span<const Field> Fields();

// The row named name (exactly, lower case); nullptr when there is none.
const Field* FindField(std::string_view name);

}  // namespace packscope

#endif  // PACKSCOPE_FILTER_FIELDS_H_
