// The frame list's tables of a merge of several receivers (framelist/merged_capture.h):
//
//   Receivers    per receiver: the packets it heard, those it alone heard, those the others
//                heard and it did not, and its clock's offset against the others'
//                (commands/receiver_tally.h), over the frames surveyed
//   comparison   of two receivers A and B: what each heard that the other did not, by station
//                (source callsign) and by time (bins of the traffic chart's widths), the decoder
//                comparison a TNC developer makes of two modems on one recording
//
//     Station   Both  Only A  Only B          From               Both  Only A  Only B
//     QQ1AA-9    120       4       0          2016-01-01T12:00     40       1       3
//
// A row's filter picks the frames the row counts that one of the two heard and the other did not.
#ifndef PACKSCOPE_FRAMELIST_RECEIVER_TABLES_H_
#define PACKSCOPE_FRAMELIST_RECEIVER_TABLES_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "capture/frame_index.h"
#include "framelist/frame_details.h"
#include "framelist/frame_passes.h"
#include "framelist/merged_capture.h"
#include "framelist/statistics_tables.h"

namespace packscope {

// The Receivers table over the frames of the merge (index numbers; null: every frame): Receiver,
// Frames, Only here, Missed, Clock offset (ms); a row's filter: heard_by == NAME.
std::shared_ptr<const StatTable> ReceiversTable(const MergedCapture& merged,
                                                const std::vector<std::int64_t>* frames);

struct ReceiverComparison {
  int a = 0;  // places in MergedCapture::Names()
  int b = 0;
  std::int64_t both = 0;  // packets heard by both, by A alone, by B alone (of the frames compared)
  std::int64_t only_a = 0;
  std::int64_t only_b = 0;
  std::shared_ptr<const StatTable> stations;  // one row per source that either heard
  std::shared_ptr<const StatTable> times;     // at most kMostChartBars rows, empty ones left out
};

// Compares receivers a and b over the frames of the merge (index numbers of snapshot, the merged
// capture's index, ascending). Frames neither heard are not counted; frames without a time count
// by station only. Cancelled: out is left as it was.
PassEnd CompareReceivers(const MergedCapture& merged, const IndexSnapshot& snapshot,
                         const std::vector<std::int64_t>& frames, int a, int b,
                         ReceiverComparison& out, const std::atomic<bool>* cancel = nullptr,
                         const PassProgress& progress = {});

// The details' node of who heard a frame of the merge: "Heard by 2 receivers", a child per
// receiver with its reception's offset ("south.kss +1.020 s"), each with its filter
// (heard_by == NAME).
DetailNode ReceiversDetail(const MergedCapture& merged, std::int64_t frame);

// The filter of the frames that one of receivers a and b (names) heard and the other did not.
std::string DifferenceFilter(const std::string& a, const std::string& b);

}  // namespace packscope

#endif  // PACKSCOPE_FRAMELIST_RECEIVER_TABLES_H_
