#include "framelist/connections.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "ax25/ax25_decoder.h"
#include "ax25/layer3.h"
#include "commands/frame_text.h"
#include "filter/fields.h"
#include "framelist/frame_list_text.h"
#include "render/hex.h"

namespace packscope {
namespace {

constexpr std::size_t kBlock = 7;

std::string Fixed(double value, const char* format) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// A table of few rows (pairs of stations, nodes), its texts made at once. A numeric column
// sorts by its key, a text column by its text.
class TextTable : public StatTable {
 public:
  struct Row {
    std::vector<std::string> cells;
    std::vector<double> keys;  // by column; only the numeric ones are read
    std::string filter;
  };
  TextTable(std::string title, std::vector<StatColumn> columns, int first_sort, bool descending)
      : title_(std::move(title)),
        columns_(std::move(columns)),
        first_sort_(first_sort),
        descending_(descending) {}

  void Add(Row row) { rows_.push_back(std::move(row)); }
  const std::string& Title() const override { return title_; }
  const std::vector<StatColumn>& Columns() const override { return columns_; }
  std::size_t RowCount() const override { return rows_.size(); }
  std::string Cell(std::size_t row, int column) const override {
    const auto c = static_cast<std::size_t>(column);
    return row < rows_.size() && c < rows_[row].cells.size() ? rows_[row].cells[c] : std::string();
  }
  std::string RowFilter(std::size_t row) const override {
    return row < rows_.size() ? rows_[row].filter : std::string();
  }
  std::vector<std::uint32_t> Order(int column, bool descending) const override {
    std::vector<std::uint32_t> order(rows_.size());
    for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    const auto c = static_cast<std::size_t>(column);
    if (c >= columns_.size()) return order;
    const bool numeric = columns_[c].numeric;
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
      const Row& x = rows_[descending ? b : a];
      const Row& y = rows_[descending ? a : b];
      return numeric ? x.keys[c] < y.keys[c] : x.cells[c] < y.cells[c];
    });
    return order;
  }
  int FirstSortColumn() const override { return first_sort_; }
  bool FirstSortDescending() const override { return descending_; }

 private:
  std::string title_;
  std::vector<StatColumn> columns_;
  int first_sort_;
  bool descending_;
  std::vector<Row> rows_;
};

// UI frames and their information bytes between two stations, [0] from the key's lower one.
struct UiTraffic {
  std::array<std::int64_t, 2> frames{};
  std::array<std::int64_t, 2> bytes{};
};

struct Conversation {
  LinkKey key;
  bool a_low = true;  // Station A is the key's lower station
  std::string a, b;
  std::int64_t sessions = 0;
  std::int64_t frames = 0;
  std::array<std::int64_t, 2> bytes{};  // [0] A to B
  std::int64_t i_frames = 0;
  std::int64_t retransmitted = 0;
  std::int64_t missed = 0;
  std::int64_t connected_ms = 0;
};

std::string PairFilter(const Conversation& c) {
  const Field& src = *FindField("src");
  const Field& dst = *FindField("dst");
  return "port == " + std::to_string(c.key.port) + " and ((" + FieldTest(src, c.a) + " and " +
         FieldTest(dst, c.b) + ") or (" + FieldTest(src, c.b) + " and " + FieldTest(dst, c.a) +
         "))";
}

std::shared_ptr<const StatTable> ConversationsTable(
    const SessionTable& sessions, const std::unordered_map<LinkKey, UiTraffic, LinkKeyHash>& ui) {
  std::vector<Conversation> pairs;
  std::unordered_map<LinkKey, std::size_t, LinkKeyHash> pair_of;
  for (std::int64_t n = 1; n <= sessions.SessionCount(); ++n) {
    const Session s = sessions.SessionAt(n);
    auto [it, added] = pair_of.try_emplace(s.key, pairs.size());
    if (added) {
      Conversation c;
      c.key = s.key;
      c.a_low = s.initiator_low;
      c.a = s.initiator;
      c.b = s.responder;
      pairs.push_back(std::move(c));
    }
    Conversation& c = pairs[it->second];
    ++c.sessions;
    c.frames += s.frames;
    // The session's directions as the conversation's: [0] from A.
    const bool same = s.initiator_low == c.a_low;
    for (std::size_t d = 0; d < 2; ++d) {
      const DirectionCounts& from = s.from[same ? d : 1 - d];
      c.bytes[d] += from.bytes;
      c.i_frames += from.i_frames;
      c.retransmitted += from.retransmitted;
      c.missed += from.missing;
    }
    if (s.start && s.end) c.connected_ms += *s.end - *s.start;
  }
  auto table = std::make_shared<TextTable>("Conversations",
                                           std::vector<StatColumn>{{"Station A", false},
                                                                   {"Station B", false},
                                                                   {"Port", true},
                                                                   {"Sessions", true},
                                                                   {"Frames", true},
                                                                   {"Bytes A\u2192B", true},
                                                                   {"Bytes B\u2192A", true},
                                                                   {"I frames", true},
                                                                   {"Retransmitted", true},
                                                                   {"Missed", true},
                                                                   {"Connected (s)", true},
                                                                   {"Throughput (B/s)", true},
                                                                   {"UI frames", true},
                                                                   {"UI bytes", true}},
                                           4, true);
  for (const Conversation& c : pairs) {
    UiTraffic u;
    if (const auto it = ui.find(c.key); it != ui.end()) u = it->second;
    const std::int64_t ui_frames = u.frames[0] + u.frames[1];
    const std::int64_t ui_bytes = u.bytes[0] + u.bytes[1];
    const double rate = c.i_frames > 0 ? 100.0 * static_cast<double>(c.retransmitted) /
                                             static_cast<double>(c.i_frames)
                                       : 0.0;
    const double seconds = static_cast<double>(c.connected_ms) / 1000.0;
    const double data = static_cast<double>(c.bytes[0] + c.bytes[1]);
    const double throughput = c.connected_ms > 0 ? data / seconds : 0.0;
    TextTable::Row row;
    const auto number = [&row](std::int64_t n) {
      row.cells.push_back(std::to_string(n));
      row.keys.push_back(static_cast<double>(n));
    };
    row.cells = {c.a, c.b};
    row.keys = {0, 0};
    number(c.key.port);
    number(c.sessions);
    number(c.frames + ui_frames);
    number(c.bytes[0]);
    number(c.bytes[1]);
    number(c.i_frames);
    row.cells.push_back(std::to_string(c.retransmitted) + " (" + Fixed(rate, "%.1f") + " %)");
    row.keys.push_back(rate);
    number(c.missed);
    row.cells.push_back(c.connected_ms > 0 ? Fixed(seconds, "%.1f") : std::string());
    row.keys.push_back(seconds);
    row.cells.push_back(c.connected_ms > 0 ? Fixed(throughput, "%.1f") : std::string());
    row.keys.push_back(throughput);
    number(ui_frames);
    number(ui_bytes);
    row.filter = PairFilter(c);
    table->Add(std::move(row));
  }
  return table;
}

struct Node {
  std::string alias;
  std::int64_t broadcasts = 0;
  std::set<std::pair<std::string, std::string>> routes;  // broadcaster, neighbour
  int best = -1;
  std::string best_route;
  std::optional<std::int64_t> last;
};

void Heard(Node& node, const std::optional<std::int64_t>& millis) {
  if (millis && (!node.last || *millis > *node.last)) node.last = millis;
}

std::shared_ptr<const StatTable> NodesTable(const std::map<std::string, Node>& nodes) {
  auto table = std::make_shared<TextTable>("Nodes",
                                           std::vector<StatColumn>{{"Node", false},
                                                                   {"Alias", false},
                                                                   {"Best route", false},
                                                                   {"Best quality", true},
                                                                   {"Routes heard", true},
                                                                   {"Broadcasts", true},
                                                                   {"Last heard", false}},
                                           0, false);
  for (const auto& [call, n] : nodes) {
    TextTable::Row row;
    std::string printable;
    AppendPrintable(printable, call);
    std::string alias;
    AppendPrintable(alias, n.alias);
    std::string route;
    AppendPrintable(route, n.best_route);
    row.cells = {printable,
                 alias,
                 route,
                 n.best >= 0 ? std::to_string(n.best) : std::string(),
                 std::to_string(n.routes.size()),
                 std::to_string(n.broadcasts),
                 n.last ? IsoStampText(*n.last) : std::string()};
    row.keys = {0,
                0,
                0,
                static_cast<double>(n.best),
                static_cast<double>(n.routes.size()),
                static_cast<double>(n.broadcasts),
                0};
    row.filter = StationFilter(call);
    table->Add(std::move(row));
  }
  return table;
}

}  // namespace

bool ReadConnections(const IndexSnapshot& snapshot, CaptureConnections& out,
                     const std::atomic<bool>* cancel,
                     const std::function<void(std::int64_t, std::int64_t)>& progress) {
  std::unordered_map<LinkKey, UiTraffic, LinkKeyHash> ui;
  std::map<std::string, Node> nodes;
  Ax25Details d;
  NetRomPacket packet;
  std::string source;
  auto sessions = std::make_shared<SessionTable>();
  const bool done = ReadSessions(
      snapshot, *sessions, cancel, progress,
      [&](std::int64_t, std::span<const std::uint8_t> kiss,
          const std::optional<std::int64_t>& millis, const LinkFacts& facts) {
        if (facts.session != 0 || kiss.empty() || (kiss[0] & 0x0F) != 0) return;
        LocateAx25(kiss, d);
        if (d.problem != Ax25Problem::kNone || (kiss[d.control_at] & 0xEF) != 0x03) return;
        const std::size_t info_at = d.control_at + 2;
        const std::size_t bytes = kiss.size() > info_at ? kiss.size() - info_at : 0;
        if (const std::optional<LinkOf> of = StationsOfFrame(kiss)) {
          UiTraffic& u = ui[of->key];
          const std::size_t from = of->from_low ? 0 : 1;
          ++u.frames[from];
          u.bytes[from] += static_cast<std::int64_t>(bytes);
        }
        if (bytes == 0 || kiss[d.control_at + 1] != kPidNetRom || kiss[info_at] != 0xFF) return;
        if (!DecodeNetRom(kiss.subspan(info_at), packet)) return;
        CallsignText(kiss.data() + 1 + kBlock, source);
        Node& sender = nodes[source];
        ++sender.broadcasts;
        if (!packet.alias.empty()) sender.alias = packet.alias;
        Heard(sender, millis);
        for (const NetRomRoute& r : packet.routes) {
          Node& node = nodes[r.call];
          if (node.alias.empty()) node.alias = r.alias;
          node.routes.emplace(source, r.neighbour);
          if (r.quality > node.best) {
            node.best = r.quality;
            node.best_route = source + " via " + r.neighbour;
          }
          Heard(node, millis);
        }
      });
  out.frames = snapshot.FrameCount();
  out.conversations = ConversationsTable(*sessions, ui);
  out.nodes = NodesTable(nodes);
  out.sessions = std::move(sessions);
  return done;
}

}  // namespace packscope
