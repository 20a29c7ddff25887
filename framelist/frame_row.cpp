#include "framelist/frame_row.h"

#include <algorithm>

#include "aprs/aprs_fields.h"
#include "aprs/aprs_frame.h"
#include "aprs/aprs_words.h"
#include "ax25/ax25_text.h"
#include "commands/frame_text.h"
#include "framelist/colouring.h"
#include "render/hex.h"

namespace packscope {
namespace {

std::string& Text(FrameRow& row, FrameColumn c) { return row.text[static_cast<std::size_t>(c)]; }

constexpr ColumnMask kFromBytes =
    ColumnBit(FrameColumn::kSource) | ColumnBit(FrameColumn::kDestination) |
    ColumnBit(FrameColumn::kPath) | ColumnBit(FrameColumn::kType) | ColumnBit(FrameColumn::kPid) |
    ColumnBit(FrameColumn::kInfo) | kRowFindings | kRowColour;

}  // namespace

std::string FrameTimeText(StampTimes& times, std::int64_t stamp) {
  std::string text;
  if (const std::optional<std::int64_t> millis = times.Millis(stamp)) {
    AppendIsoStampText(text, *millis);
  } else if (stamp >= 0) {
    AppendPrintable(text, times.Text(stamp));
  }
  return text;
}

std::string DeltaText(std::int64_t millis) {
  std::string text = millis < 0 ? "-" : "";
  const std::uint64_t size =
      millis < 0 ? 0 - static_cast<std::uint64_t>(millis) : static_cast<std::uint64_t>(millis);
  text.append(std::to_string(size / 1000)).push_back('.');
  const std::string fraction = std::to_string(size % 1000);
  text.append(3 - fraction.size(), '0').append(fraction);
  return text;
}

const std::string& CellText(const FrameRow& row, int column) {
  static const std::string kNone;
  if (column >= 0 && column < kFrameColumnCount) return row.text[static_cast<std::size_t>(column)];
  const auto extra = static_cast<std::size_t>(column - kFrameColumnCount);
  return column >= kFrameColumnCount && extra < row.extra.size() ? row.extra[extra] : kNone;
}

void DescribeStoredFrame(FrameFacts& facts, const StoredFrame& frame, const FrameRecord& record,
                         const std::optional<std::int64_t>& time, AprsTimeline& aprs,
                         FrameNeeds needs) {
  facts.aprs_reading = nullptr;
  facts.Begin(frame.Kiss(), frame.number + 1, record.Offset(), time, frame.info);
  if ((needs & (kNeedAx25 | kNeedAprs | kNeedFindings)) == 0) return;
  DescribeFrame(facts, kNeedAx25);
  if ((needs & (kNeedAprs | kNeedFindings)) == 0) return;
  if (facts.ax25 && IsAprsFrame(facts.details))
    facts.aprs = &aprs.Decode(frame.number, facts.details);
  facts.described |= kNeedAprs;
}

FrameFormatter::FrameFormatter(IndexSnapshot snapshot, RowSources sources, std::size_t read_ahead)
    : reader_(snapshot, read_ahead),
      times_(snapshot),
      aprs_(snapshot, sources.definitions),
      sources_(std::move(sources)),
      sessions_(sources_.sessions) {}

int FrameFormatter::ExtraCount() const {
  return sources_.columns ? static_cast<int>(sources_.columns->size()) : 0;
}

void FrameFormatter::Colour(const FrameRecord& record, FrameRow& row) {
  FrameFacts facts;
  DescribeStoredFrame(facts, frame_, record, times_.Millis(record.StampNumber()), aprs_,
                      sources_.colouring->Needs());
  row.colour = sources_.colouring->Match(facts);
}

void FrameFormatter::Format(std::int64_t frame, std::int64_t previous, FrameRow& row,
                            ColumnMask mask) {
  const FrameRecord& r = reader_.Snapshot().Frame(frame);
  const auto want = [mask](FrameColumn c) { return (mask & ColumnBit(c)) != 0; };
  if (want(FrameColumn::kNumber)) Text(row, FrameColumn::kNumber) = std::to_string(frame + 1);
  if (want(FrameColumn::kTime))
    Text(row, FrameColumn::kTime) = FrameTimeText(times_, r.StampNumber());
  if (want(FrameColumn::kDelta)) {
    std::string& delta = Text(row, FrameColumn::kDelta);
    delta.clear();
    const std::optional<std::int64_t> time = times_.Millis(r.StampNumber());
    if (previous >= 0 && time) {
      if (const std::optional<std::int64_t> before = times_.FrameMillis(previous)) {
        delta = DeltaText(*time - *before);
      }
    }
  }
  if (want(FrameColumn::kPort)) {
    Text(row, FrameColumn::kPort) = r.Length() > 0 ? std::to_string(KissPort(r.type)) : "";
  }
  if (want(FrameColumn::kLength)) {
    Text(row, FrameColumn::kLength) = std::to_string(std::max(r.Length() - 1, 0));
  }
  const int extras = ExtraCount();
  if ((mask & kExtraColumnBits) != 0) {
    row.extra.resize(static_cast<std::size_t>(extras));
    for (int k = 0; k < extras; ++k) {
      if ((mask & ColumnBit(kFrameColumnCount + k)) == 0) continue;
      const ExtraColumn& column = (*sources_.columns)[static_cast<std::size_t>(k)];
      row.extra[static_cast<std::size_t>(k)] = column.text ? column.text(frame) : std::string();
    }
  }
  if ((mask & kFromBytes) == 0) return;

  for (int c = 0; c < kFrameColumnCount; ++c) {
    if ((kFromBytes & mask & ColumnBit(c)) != 0) row.text[static_cast<std::size_t>(c)].clear();
  }
  const bool findings = (mask & kRowFindings) != 0;
  if ((mask & kRowColour) != 0) row.colour = -1;
  row.held = reader_.Read(frame, frame_);
  if (!row.held) {
    if (findings) {
      row.findings = {};
      row.findings_text.clear();
    }
    return;
  }
  if ((mask & kRowColour) != 0 && sources_.colouring) Colour(r, row);
  const std::span<const std::uint8_t> kiss = frame_.Kiss();
  const bool data = !r.Timestamp() && IsDataFrame(kiss);
  if (data) {
    DescribeAx25(kiss, details_, sessions_ ? sessions_->FactsOf(frame, kiss).modulo : kModulo8);
  } else {
    details_.problem = Ax25Problem::kTooShort;
  }
  const AprsPacket* aprs = (findings || want(FrameColumn::kInfo)) && data &&
                                   details_.problem == Ax25Problem::kNone && IsAprsFrame(details_)
                               ? &aprs_.Decode(frame, details_)
                               : nullptr;
  if (findings) {
    row.findings = FindFrameFindings(kiss, frame_.info, details_, aprs);
    row.findings_text = row.findings.Any() ? FindingsText(kiss, details_, aprs, row.findings) : "";
  }
  if (!data || details_.problem != Ax25Problem::kNone) {
    if (want(FrameColumn::kInfo)) {
      std::string& info = Text(row, FrameColumn::kInfo);
      info.push_back('(');
      info += FrameProblem(kiss, details_);
      info.push_back(')');
    }
    return;
  }
  const Ax25Details& d = details_;
  if (want(FrameColumn::kSource)) AppendPrintable(Text(row, FrameColumn::kSource), d.source.call);
  if (want(FrameColumn::kDestination)) {
    AppendPrintable(Text(row, FrameColumn::kDestination), d.destination.call);
  }
  if (want(FrameColumn::kPath)) {
    std::string path;
    AppendDigipeaterPath(path, d);
    AppendPrintable(Text(row, FrameColumn::kPath), path);
  }
  if (want(FrameColumn::kType)) AppendFrameTypeName(Text(row, FrameColumn::kType), d);
  if (want(FrameColumn::kPid) && d.pid) Text(row, FrameColumn::kPid) = ByteToHex(*d.pid);
  if (want(FrameColumn::kInfo)) {
    std::string& info = Text(row, FrameColumn::kInfo);
    if (IsAprsFrame(d)) {
      AppendAprsWords(info, *aprs);
    } else {
      AppendPrintable(info, d.info);
    }
  }
}

}  // namespace packscope
