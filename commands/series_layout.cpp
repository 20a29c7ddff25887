// The series layout: the values over time of the APRS frames of a pass as CSV (RFC 4180), one
// record per value, for spreadsheets and plotting scripts:
//
//   time,frame,source,quantity,value,unit
//   2016-01-01T12:35:17.726Z,4,QQ1ABC-9,lat,48.1505,deg
//   2016-01-01T12:35:17.726Z,4,QQ1ABC-9,altitude_m,576.1,m
//   2016-01-01T12:36:02.015Z,12,QQ3DEF,temp_c,23.9,degC
//   2016-01-01T12:36:40.500Z,20,QQ9UV,Battery,12.6,V
//   2016-01-01T12:36:40.500Z,20,QQ9UV,"Door, rear",1,open
//
// The quantities, their order and units are aprs/aprs_series.h's; source is whom the values are
// of (aprs/aprs_subject.h: the sender inside a third-party packet, an object's or item's name).
// time: the frame's stamp (StampClock) in ISO 8601, UTC, empty for a frame without one; frame:
// FrameCount, as jsonl numbers frames; value: as jsonl writes it. Texts are UTF-8 as jsonl
// gives them; a field holding a comma, a double quote, CR or LF is quoted, its double quotes
// doubled. Records end with CR LF.
#include <string>

#include "aprs/aprs_json.h"
#include "aprs/aprs_series.h"
#include "aprs/aprs_subject.h"
#include "capture/frame_aprs.h"
#include "commands/frame_text.h"
#include "commands/layouts.h"

namespace packscope {
namespace {

void AppendCsvField(std::string& out, std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
    out.append(text);
    return;
  }
  out.push_back('"');
  for (const char c : text) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
}

class SeriesWriter : public FrameWriter {
 public:
  explicit SeriesWriter(LineSink& out) : out_(out) {}

  void OnFrame(const DecoderState& state, const FrameInfo& info) override {
    WriteHeader();
    if (info.timestamp) {
      if (clock_.Update(state)) {
        time_.clear();
        if (clock_.Millis()) time_ = IsoUtcText(*clock_.Millis());
      }
      return;
    }
    if (!IsDataFrame(KissFrame(state))) return;
    const Ax25Details& d = CurrentAx25(state, details_);
    const AprsPacket* p = CurrentAprs(state, d);
    if (p == nullptr) return;
    const AprsSubject subject = SubjectOf(d.source.call, *p);
    // The leading fields of every record of this frame.
    head_ = time_;
    head_.push_back(',');
    head_.append(std::to_string(state.FrameCount));
    head_.push_back(',');
    AppendCsvField(head_, AprsTextUtf8(subject.name));
    head_.push_back(',');
    text_.clear();
    ForEachSeriesValue(*subject.packet, [this](const AprsSeriesValue& v) {
      text_.append(head_);
      AppendCsvField(text_, AprsTextUtf8(v.quantity));
      text_.push_back(',');
      if (v.field != nullptr) {
        AppendAprsNumber(text_, *v.field, v.value, FractionDigits::kJson);
      } else {
        text_.push_back(v.value != 0 ? '1' : '0');
      }
      text_.push_back(',');
      AppendCsvField(text_, AprsTextUtf8(v.unit));
      text_.append("\r\n");
    });
    if (!text_.empty()) out_.Write(text_);
  }

  bool ReadsAprs() const override { return true; }

  void Finish(const DecoderState& state) override {
    (void)state;
    WriteHeader();
  }

 private:
  void WriteHeader() {
    if (header_written_) return;
    out_.Write("time,frame,source,quantity,value,unit\r\n");
    header_written_ = true;
  }

  LineSink& out_;
  bool header_written_ = false;
  StampClock clock_;
  std::string time_;  // of the stamp in force
  std::string head_;
  std::string text_;
  Ax25Details details_;
};

}  // namespace

std::unique_ptr<FrameWriter> MakeSeriesWriter(LineSink& out) {
  return std::make_unique<SeriesWriter>(out);
}

}  // namespace packscope
