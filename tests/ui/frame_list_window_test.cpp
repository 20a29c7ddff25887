// The frame list window as a user meets it, on the offscreen platform: its table against the
// converter's jsonl layout on a generated capture, sorting by a column, the details and the
// bytes selecting each other, filter errors at their column, export through the save dialog's
// seam (byte for byte the layout the converter writes), and the main window's View menu.
#include "ui/frame_list_window.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QSettings>
#include <QStyle>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <cstdlib>
#include <memory>
#include <nlohmann/json.hpp>

#include "aprs/aprs_decoder.h"
#include "aprs/aprs_words.h"
#include "capture/headless_window.h"
#include "commands/frame_text.h"
#include "commands/layouts.h"
#include "filter/capture_filter.h"
#include "filter/filter.h"
#include "gencapture/capture_generator.h"
#include "qt/qt_text.h"
#include "support/ax25_frames.h"
#include "tests/ui/ui_test_support.h"
#include "ui/bytes_view.h"
#include "ui/form1.h"
#include "ui/frame_table_model.h"
#include "ui/statistics_view.h"

using namespace packscope;
using namespace packscope::testing;
using nlohmann::json;

namespace {

constexpr int kWaitMs = 20000;

// Generated traffic (every frame kind, digipeaters, escapes, telemetry), then frames that are
// not AX.25, a text stamp, telemetry definitions and a report, and a frame with a FEND inside.
std::string Capture() {
  gen::Options options;
  options.seed = 5;
  options.frames = 600;
  options.mix = true;
  options.max_digis = 3;
  return gen::GenerateCaptureBytes(options) + Kiss(std::string("\x00\x82\xA0", 3)) +
         Kiss(std::string("\x01\x05", 2)) +
         Kiss(
             "\x09"
             "2016-01-01 13:00:00.000 UTC") +
         Kiss(UiFrame("APRS", "QQ1TLM", 0, ":QQ1TLM   :PARM.Battery,Temp")) +
         Kiss(UiFrame("APRS", "QQ1TLM", 0, ":QQ1TLM   :EQNS.0,0.1,0,0,1,-40")) +
         Kiss(UiFrame("APRS", "QQ1TLM", 0, "T#002,120,50,7,0,0,10100000")) +
         Kiss(UiFrame("APRS", "QQ2ESC", 3, std::string(">fend \xC0 fesc \xDB")));
}

std::string Text(const json& j) { return j.is_null() ? std::string() : j.get<std::string>(); }

}  // namespace

class FrameListWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void init();
  void cleanup();

  void rowsAreTheJsonlLayoutsFrames();
  void sortsByAColumnAndBack();
  void detailsAndBytesSelectEachOther();
  void filterErrorsShowTheirColumn();
  void filterKeepsTheConvertersFrames();
  void exportWritesTheConvertersLayout_data();
  void exportWritesTheConvertersLayout();
  void exportRefusesWhatItCannotWrite();
  void statisticsSetTheFilter();
  void mainWindowOpensAndLeadsTheList();
  void followsTheCaptureAsItGrows();

 private:
  // The converter's output of a layout over the capture, with the filter.
  std::string Convert(const std::string& layout, const std::string& expression = "");
  void Open(const std::string& path);

  std::unique_ptr<QTemporaryDir> dir_;
  std::string capture_;
  std::unique_ptr<FrameListWindow> window_;
  QStringList errors_;
};

void FrameListWindowTest::initTestCase() {
  // Settings of the test's own, not the user's.
  static QTemporaryDir settings;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
  QCoreApplication::setApplicationName(QStringLiteral("packscope-test"));
}

void FrameListWindowTest::init() {
  dir_ = std::make_unique<QTemporaryDir>();
  capture_ = Utf8Path(dir_->filePath(QStringLiteral("pass1.kss")));
  WriteBytes(QString::fromStdString(capture_), Capture());
  window_ = std::make_unique<FrameListWindow>();
  errors_.clear();
  window_->SetErrorReporter([this](const QString& m) { errors_ << m; });
  window_->resize(1100, 760);
  window_->show();
  Open(capture_);
}

void FrameListWindowTest::cleanup() {
  window_.reset();
  dir_.reset();
}

void FrameListWindowTest::Open(const std::string& path) {
  window_->OpenCapture(path);
  QVERIFY(window_->WaitUntilIdle(kWaitMs));
}

std::string FrameListWindowTest::Convert(const std::string& layout, const std::string& expression) {
  DecoderState state;
  state.CaptureFileName = capture_;
  std::optional<Filter> filter;
  std::optional<CaptureFilter> predicate;
  if (!expression.empty()) {
    filter = Filter::Parse(expression);
    predicate.emplace(*filter);
    state.FrameFilter = &*predicate;
  }
  LocaleHeadlessWindow window;
  window.SetCheck2(FindLayout(layout)->kind != LayoutKind::kFrameWriter);
  const std::string out = Utf8Path(dir_->filePath(QStringLiteral("expected")));
  if (!RunLayout(state, window, *FindLayout(layout), out)) return "<failed>";
  return ReadBytes(QString::fromStdString(out));
}

void FrameListWindowTest::rowsAreTheJsonlLayoutsFrames() {
  FrameTableModel* model = window_->Model();
  std::vector<json> objects;
  for (const std::string& line : [](const std::string& text) {
         std::vector<std::string> lines;
         std::size_t at = 0;
         for (std::size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1) {
           lines.push_back(text.substr(at, end - at));
         }
         return lines;
       }(Convert("jsonl"))) {
    objects.push_back(json::parse(line));
  }
  QCOMPARE(model->rowCount(), static_cast<int>(objects.size()));
  QCOMPARE(window_->ShownLabel()->text(),
           QStringLiteral("%1 of %1 frames shown").arg(objects.size()));
  // APRS frames: their words as one decoder reading the capture in order gives them.
  AprsDecoder aprs;
  const auto cell = [model](int row, FrameColumn c) {
    return model->data(model->index(row, static_cast<int>(c)), Qt::DisplayRole).toString();
  };
  for (int r = 0; r < model->rowCount(); ++r) {
    const json& o = objects[static_cast<std::size_t>(r)];
    const QString at = QStringLiteral("row %1").arg(r);
    QCOMPARE(cell(r, FrameColumn::kNumber), QString::number(o["frame"].get<int>()));
    const QString time = o["stamp_ms"].is_null()
                             ? QString()
                             : FromUtf8(IsoStampText(o["stamp_ms"].get<std::int64_t>()));
    QCOMPARE(cell(r, FrameColumn::kTime), time);
    if (r > 0 && !o["stamp_ms"].is_null()) {
      const json& before = objects[static_cast<std::size_t>(r) - 1];
      const auto delta = o["stamp_ms"].get<std::int64_t>() - before["stamp_ms"].get<std::int64_t>();
      const auto size = std::abs(delta);
      QCOMPARE(cell(r, FrameColumn::kDelta), QStringLiteral("%1%2.%3")
                                                 .arg(delta < 0 ? "-" : "")
                                                 .arg(size / 1000)
                                                 .arg(size % 1000, 3, 10, QLatin1Char('0')));
    }
    QCOMPARE(cell(r, FrameColumn::kPort),
             o["port"].is_null() ? QString() : QString::number(o["port"].get<int>()));
    QCOMPARE(cell(r, FrameColumn::kSource), FromUtf8(Text(o["source"])));
    QCOMPARE(cell(r, FrameColumn::kDestination), FromUtf8(Text(o["destination"])));
    QStringList path;
    if (o["digipeaters"].is_array()) {
      for (const json& d : o["digipeaters"]) {
        path << FromUtf8(Text(d["call"])) + (d["repeated"].get<bool>() ? "*" : "");
      }
    }
    QCOMPARE(cell(r, FrameColumn::kPath), path.join(QLatin1Char(',')));
    QString type = FromUtf8(Text(o["name"]));
    if (Text(o["kind"]) == "I") type = QStringLiteral("I");
    if (type.isEmpty() && !o["code"].is_null())
      type = QStringLiteral("U code=%1").arg(o["code"].get<int>());
    QCOMPARE(cell(r, FrameColumn::kType), type);
    QCOMPARE(
        cell(r, FrameColumn::kPid),
        o["pid"].is_null()
            ? QString()
            : QStringLiteral("%1").arg(o["pid"].get<int>(), 2, 16, QLatin1Char('0')).toUpper());
    const std::string frame_hex = Text(o["frame_hex"]);
    const int bytes = frame_hex.empty() ? 0 : static_cast<int>(frame_hex.size() + 1) / 3;
    QCOMPARE(cell(r, FrameColumn::kLength), QString::number(std::max(bytes - 1, 0)));
    std::string payload;
    for (std::size_t i = 0;
         i + 1 < Text(o["payload_hex"]).size() + 1 && !Text(o["payload_hex"]).empty(); i += 3) {
      payload.push_back(
          static_cast<char>(std::stoi(Text(o["payload_hex"]).substr(i, 2), nullptr, 16)));
    }
    std::string info;
    if (o["source"].is_null()) {
      // No AX.25 frame: why, in parentheses.
      std::string frame;
      for (std::size_t i = 0; i + 1 < frame_hex.size(); i += 3) {
        frame.push_back(static_cast<char>(std::stoi(frame_hex.substr(i, 2), nullptr, 16)));
      }
      const std::span<const std::uint8_t> kiss(reinterpret_cast<const std::uint8_t*>(frame.data()),
                                               frame.size());
      info = "(" + FrameProblem(kiss, DescribeAx25(kiss)) + ")";
    } else if (o["aprs"].is_object()) {
      AppendAprsWords(info,
                      aprs.Decode(AprsHeader{Text(o["source"]), Text(o["destination"])}, payload));
    } else {
      AppendPrintable(info, payload);
    }
    if (cell(r, FrameColumn::kInfo) != FromUtf8(info))
      QFAIL(qPrintable(at + ": " + cell(r, FrameColumn::kInfo)));
    // A frame with a finding carries an icon and the finding as its tooltip.
    const bool finding =
        !o["problem"].is_null() || (o["aprs"].is_object() && o["aprs"].contains("error"));
    const QVariant icon = model->data(model->index(r, 0), Qt::DecorationRole);
    QCOMPARE(icon.isNull(), !finding);
    // A sender's error is marked apart from damage to the recording.
    if (finding) {
      const QStyle::StandardPixmap kind =
          o["damage"].is_null() ? QStyle::SP_MessageBoxWarning : QStyle::SP_MessageBoxCritical;
      QCOMPARE(icon.value<QIcon>().pixmap(16).toImage(),
               QApplication::style()->standardIcon(kind).pixmap(16).toImage());
    }
  }
  // The telemetry report is scaled by the definitions before it.
  QVERIFY(cell(model->rowCount() - 2, FrameColumn::kInfo).contains(QStringLiteral("Battery 12")));
  QVERIFY(model->data(model->index(model->rowCount() - 6, 0), Qt::ToolTipRole)
              .toString()
              .startsWith(QStringLiteral("sender: too-short: too short for an AX.25 header")));
}

void FrameListWindowTest::sortsByAColumnAndBack() {
  FrameTableModel* model = window_->Model();
  QHeaderView* header = window_->Table()->horizontalHeader();
  const int source = static_cast<int>(FrameColumn::kSource);
  const auto sources = [model, source] {
    QStringList out;
    for (int r = 0; r < model->rowCount(); ++r) {
      out << model->data(model->index(r, source), Qt::DisplayRole).toString();
    }
    return out;
  };
  const QStringList before = sources();
  // The frame selected stays selected.
  window_->GoToFrame(model->FrameOfRow(40) + 1);
  const std::int64_t selected = model->FrameOfRow(window_->Table()->currentIndex().row());
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                    QPoint(header->sectionViewportPosition(source) + 5, header->height() / 2));
  QVERIFY(window_->WaitUntilIdle(kWaitMs));
  QStringList sorted = before;
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const QString& a, const QString& b) { return a.toUtf8() < b.toUtf8(); });
  QCOMPARE(sources(), sorted);
  QCOMPARE(model->FrameOfRow(window_->Table()->currentIndex().row()), selected);
  // Again: descending; then by No.: capture order.
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                    QPoint(header->sectionViewportPosition(source) + 5, header->height() / 2));
  QVERIFY(window_->WaitUntilIdle(kWaitMs));
  QCOMPARE(sources().first(), sorted.last());
  QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
  model->sort(0, Qt::AscendingOrder);
  QVERIFY(window_->WaitUntilIdle(kWaitMs));
  QCOMPARE(sources(), before);
  QVERIFY(model->InCaptureOrder());
}

void FrameListWindowTest::detailsAndBytesSelectEachOther() {
  FrameTableModel* model = window_->Model();
  const int last = model->rowCount() - 1;  // QQ2ESC-3 with a FEND and a FESC in its payload
  window_->Table()->setCurrentIndex(model->index(last, 0));
  QTreeWidget* details = window_->Details();
  BytesView* bytes = window_->Bytes();
  QVERIFY(details->topLevelItem(1)->text(0).startsWith(QStringLiteral("AX.25: QQ2ESC-3 > APRS")));
  // A detail chosen: its bytes lit, in both views.
  QTreeWidgetItem* source = details->topLevelItem(1)->child(1);
  QCOMPARE(source->text(0), QStringLiteral("Source QQ2ESC-3"));
  details->setCurrentItem(source);
  QCOMPARE(bytes->HighlightedBytes(), std::make_pair(8, 15));
  QTreeWidgetItem* info = nullptr;
  for (int i = 0; i < details->topLevelItem(1)->childCount(); ++i) {
    if (details->topLevelItem(1)->child(i)->text(0).startsWith(
            QStringLiteral("Information field"))) {
      info = details->topLevelItem(1)->child(i);
    }
  }
  QVERIFY(info != nullptr);
  details->setCurrentItem(info);
  QCOMPARE(bytes->HighlightedBytes(), std::make_pair(17, 17 + 14));
  window_->findChild<QAction*>(QStringLiteral("MnuViewStoredBytes"))->trigger();
  // As stored: the opening FEND first, the escaped FEND and FESC take two bytes each.
  QCOMPARE(bytes->HighlightedBytes(), std::make_pair(18, 18 + 16));
  QVERIFY(bytes->Text().startsWith(QStringLiteral("0000  C0 00 ")));

  // A byte clicked: the detail that describes it most closely. As stored, the FESC of the
  // escaped FEND stands for a byte of the APRS status text; the opening FEND is the KISS
  // frame's.
  QTest::mouseClick(bytes->viewport(), Qt::LeftButton, {}, bytes->PointOfByte(18));
  QCOMPARE(details->currentItem(), info);
  QTest::mouseClick(bytes->viewport(), Qt::LeftButton, {}, bytes->PointOfByte(18 + 6));
  QCOMPARE(details->currentItem()->text(0), QStringLiteral("status: \"fend <0xC0> fesc <0xDB>\""));
  QCOMPARE(bytes->HighlightedBytes(), std::make_pair(19, 34));
  QTest::mouseClick(bytes->viewport(), Qt::LeftButton, {}, bytes->PointOfByte(0));
  QCOMPARE(details->currentItem(), details->topLevelItem(0));
  window_->findChild<QAction*>(QStringLiteral("MnuViewStoredBytes"))->trigger();
  QTest::mouseClick(bytes->viewport(), Qt::LeftButton, {}, bytes->PointOfByte(9));
  QCOMPARE(details->currentItem()->text(0), QStringLiteral("Callsign \"QQ2ESC\""));
  QCOMPARE(bytes->HighlightedBytes(), std::make_pair(8, 14));
  QTest::mouseClick(bytes->viewport(), Qt::LeftButton, {}, bytes->PointOfByte(15));
  QVERIFY(details->currentItem()->text(0).startsWith(QStringLiteral("Control 0x03: UI")));
}

void FrameListWindowTest::filterErrorsShowTheirColumn() {
  const int rows = window_->Model()->rowCount();
  QComboBox* box = window_->FilterBox();
  box->setFocus();
  QTest::keyClicks(box->lineEdit(), QStringLiteral("src == QQ0QQ and"));
  QTest::keyClick(box->lineEdit(), Qt::Key_Return);
  QVERIFY(window_->WaitUntilIdle(kWaitMs));
  QLabel* error = window_->FilterErrorLabel();
  QVERIFY(!error->isHidden());
  QCOMPARE(error->text(),
           QStringLiteral("Column 17: expected a field, \"not\" or \"(\", found the end"));
  QCOMPARE(box->lineEdit()->cursorPosition(), 16);
  QCOMPARE(window_->Model()->rowCount(), rows);  // what was shown stays

  QVERIFY(!window_->ApplyFilter(QStringLiteral("len >< 3")));
  QVERIFY(error->text().startsWith(QStringLiteral("Column 6: ")));
  QCOMPARE(box->lineEdit()->selectedText(), QStringLiteral("<"));
  // A good one hides the error and goes into the history, first.
  QVERIFY(window_->ApplyFilter(QStringLiteral("len < 30")));
  QVERIFY(window_->WaitUntilIdle(kWaitMs));
  QVERIFY(error->isHidden());
  QCOMPARE(box->itemText(0), QStringLiteral("len < 30"));
  QVERIFY(window_->Model()->rowCount() < rows);
  QVERIFY(errors_.isEmpty());
}

void FrameListWindowTest::filterKeepsTheConvertersFrames() {
  const std::string expression = "type in {SABM, UA, I} or via == RELAY";
  QVERIFY(window_->ApplyFilter(QString::fromStdString(expression)));
  QVERIFY(window_->WaitUntilIdle(kWaitMs));
  FrameTableModel* model = window_->Model();
  std::vector<int> frames;
  const std::string jsonl = Convert("jsonl", expression);
  for (std::size_t at = 0, end; (end = jsonl.find('\n', at)) != std::string::npos; at = end + 1) {
    frames.push_back(json::parse(jsonl.substr(at, end - at))["frame"].get<int>());
  }
  QCOMPARE(model->rowCount(), static_cast<int>(frames.size()));
  QVERIFY(!frames.empty());
  for (int r = 0; r < model->rowCount(); ++r) {
    QCOMPARE(model->FrameOfRow(r) + 1,
             static_cast<std::int64_t>(frames[static_cast<std::size_t>(r)]));
  }
  QVERIFY(window_->ShownLabel()->text().startsWith(QStringLiteral("%1 of ").arg(frames.size())));
  // Go to a frame the filter leaves out: the nearest shown.
  QVERIFY(window_->GoToFrame(frames[2] - 1));
  QCOMPARE(model->FrameOfRow(window_->Table()->currentIndex().row()) + 1,
           static_cast<std::int64_t>(frames[2]));
}

void FrameListWindowTest::exportWritesTheConvertersLayout_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QString>("layout");
  QTest::addColumn<QString>("filter");
  QTest::newRow("jsonl, filtered") << "shown.jsonl"
                                   << "jsonl"
                                   << "src == QQ1TLM or problem";
  QTest::newRow("kiss") << "shown.kss"
                        << "kiss"
                        << "type == I";
  QTest::newRow("monitor") << "shown.txt"
                           << "monitor"
                           << "";
  QTest::newRow("stats") << "shown.stats.json"
                         << "stats"
                         << "via";
  QTest::newRow("hex") << "shown.HEX"
                       << "hex-complete"
                       << "len > 100";
  QTest::newRow("pcap") << "shown.pcap"
                        << "pcap"
                        << "port == 0";
  QTest::newRow("gpx") << "shown.gpx"
                       << "gpx"
                       << "aprs.lat";
}

void FrameListWindowTest::exportWritesTheConvertersLayout() {
  QFETCH(QString, name);
  QFETCH(QString, layout);
  QFETCH(QString, filter);
  QVERIFY(window_->ApplyFilter(filter));
  QVERIFY(window_->WaitUntilIdle(kWaitMs));
  const QString out = dir_->filePath(name);
  QString suggested;
  window_->SetSaveDialog([&](QWidget*, const QString& s) {
    suggested = s;
    return out;
  });
  QTest::keySequence(window_.get(), QKeySequence(QStringLiteral("Ctrl+Shift+E")));
  QVERIFY(suggested.endsWith(QStringLiteral("/pass1.shown.jsonl")));
  QCOMPARE(errors_, QStringList());
  const std::string expected = Convert(layout.toStdString(), filter.toStdString());
  QVERIFY(expected.size() > 100);
  QCOMPARE(B(ReadBytes(out)), B(expected));
}

void FrameListWindowTest::exportRefusesWhatItCannotWrite() {
  const std::string before = ReadBytes(QString::fromStdString(capture_));
  QVERIFY(!window_->ExportTo(Utf8Path(dir_->filePath(QStringLiteral("shown.doc")))));
  QCOMPARE(errors_.size(), 1);
  QVERIFY(errors_[0].contains(QStringLiteral(".kss, .pcap, .jsonl, .txt, .gpx, .hex, .json")));
  // The capture itself, under another name: refused, and left as it was.
  const QString link = dir_->filePath(QStringLiteral("same.kss"));
  QVERIFY(QFile::link(QString::fromStdString(capture_), link));
  QVERIFY(!window_->ExportTo(Utf8Path(link)));
  QCOMPARE(errors_.size(), 2);
  QVERIFY(errors_[1].contains(QStringLiteral("the capture itself")));
  QCOMPARE(B(ReadBytes(QString::fromStdString(capture_))), B(before));
  QVERIFY(!QFile::exists(dir_->filePath(QStringLiteral("shown.doc"))));
}

void FrameListWindowTest::statisticsSetTheFilter() {
  StatisticsView* stats = window_->Statistics();
  QTableView* heard = stats->HeardList();
  const QAbstractItemModel* rows = heard->model();
  QVERIFY(rows->rowCount() > 3);
  QModelIndex station;
  for (int i = 0; i < rows->rowCount(); ++i) {
    if (rows->index(i, 0).data().toString() == QStringLiteral("QQ1TLM"))
      station = rows->index(i, 0);
  }
  QVERIFY(station.isValid());
  QCOMPARE(rows->index(station.row(), 1).data().toString(), QStringLiteral("3"));
  window_->Tabs()->setCurrentIndex(1);
  heard->scrollTo(station);
  QTest::mouseClick(heard->viewport(), Qt::LeftButton, {}, heard->visualRect(station).center());
  QVERIFY(window_->WaitUntilIdle(kWaitMs));
  QCOMPARE(window_->FilterBox()->currentText(), QStringLiteral("src == QQ1TLM"));
  QCOMPARE(window_->Model()->rowCount(), 3);
  QCOMPARE(window_->Tabs()->currentIndex(), 0);

  // A bar, then Shift on another: the span of both.
  QVERIFY(stats->Bins().bins.size() > 3);
  const std::int64_t first = stats->Bins().first_minute;
  const std::int64_t width = stats->Bins().minutes_per_bin;
  stats->BarClicked(1, false);
  stats->BarClicked(3, true);
  QVERIFY(window_->WaitUntilIdle(kWaitMs));
  QCOMPARE(window_->FilterBox()->currentText().toStdString(),
           "time >= " + IsoStampText((first + width) * 60000).substr(0, 16).replace(10, 1, "T") +
               " and time < " +
               IsoStampText((first + 4 * width) * 60000).substr(0, 16).replace(10, 1, "T"));
  QVERIFY(window_->Model()->rowCount() > 0);
}

void FrameListWindowTest::mainWindowOpensAndLeadsTheList() {
  window_.reset();
  Form1 form;
  form.SetErrorReporter([this](const QString& m) { errors_ << m; });
  form.show();
  QVERIFY(QTest::qWaitForWindowActive(&form));
  form.OpenPaths({capture_});
  QTest::keySequence(&form, QKeySequence(QStringLiteral("Ctrl+L")));
  FrameListWindow* list = form.FrameList();
  QVERIFY(list != nullptr);
  QVERIFY(list->WaitUntilIdle(kWaitMs));
  QCOMPARE(list->windowTitle(), QStringLiteral("Packscope Frames - pass1.kss"));
  QVERIFY(list->Model()->rowCount() > 600);
  // The main window opens another capture: the list follows.
  const QString other = dir_->filePath(QStringLiteral("other.kss"));
  WriteBytes(other, Kiss(UiFrame("APRS", "QQ9ZZ", 1, ">hello")));
  form.OpenPaths({Utf8Path(other)});
  QVERIFY(list->WaitUntilIdle(kWaitMs));
  QCOMPARE(list->windowTitle(), QStringLiteral("Packscope Frames - other.kss"));
  QCOMPARE(list->Model()->rowCount(), 1);
  // Ctrl+L again brings the same window up; closing it is the end of it.
  form.MnuViewFrameList_Click();
  QCOMPARE(form.FrameList(), list);
  list->close();
  QTRY_VERIFY(form.FrameList() == nullptr);
  QVERIFY(errors_.isEmpty());
}

QTEST_MAIN(FrameListWindowTest)
void FrameListWindowTest::followsTheCaptureAsItGrows() {
  FrameTableModel* model = window_->Model();
  QScrollBar* bar = window_->Table()->verticalScrollBar();
  const int before = model->rowCount();
  std::string bytes = Capture();
  const auto grow = [&](const std::string& more) {
    bytes += more;
    WriteBytes(QString::fromStdString(capture_), bytes);
    window_->ReadOn();
    QVERIFY(window_->WaitUntilIdle(kWaitMs));
  };
  const auto frames = [](const char* source, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += Kiss(UiFrame("APRS", source, 0, ">" + std::to_string(i)));
    return out;
  };
  // At the end: the new rows come into view.
  window_->Table()->scrollToBottom();
  grow(frames("QQ9NEW", 300));
  QCOMPARE(model->rowCount(), before + 300);
  QCOMPARE(bar->value(), bar->maximum());
  QVERIFY(bar->maximum() > 0);
  // Scrolled away: the view stays.
  bar->setValue(0);
  grow(frames("QQ8OLD", 100));
  QCOMPARE(model->rowCount(), before + 400);
  QCOMPARE(bar->value(), 0);
  // A frame cut off by the end of the file is listed, then read again whole: no row twice.
  const std::string last = Kiss(UiFrame("APRS", "QQ9NEW", 0, ">the whole frame"));
  grow(last.substr(0, last.size() - 6));
  QCOMPARE(model->rowCount(), before + 401);
  grow(last.substr(last.size() - 6));
  QCOMPARE(model->rowCount(), before + 401);
  QCOMPARE(
      model->data(model->index(before + 400, static_cast<int>(FrameColumn::kInfo)), Qt::DisplayRole)
          .toString(),
      QStringLiteral("Status: \"the whole frame\""));
  QVERIFY(window_->ShownLabel()->text().startsWith(
      QStringLiteral("%1 of %1 frames").arg(before + 401)));
  // Through a filter: only the frames read on go through it, and those it keeps are listed.
  QVERIFY(window_->ApplyFilter(QStringLiteral("src == QQ9NEW")));
  QVERIFY(window_->WaitUntilIdle(kWaitMs));
  QCOMPARE(model->rowCount(), 301);
  grow(frames("QQ8OLD", 5) + frames("QQ9NEW", 7));
  QCOMPARE(model->rowCount(), 308);
  // Shrunk (written anew): read anew.
  QVERIFY(window_->ApplyFilter(QString()));
  QVERIFY(window_->WaitUntilIdle(kWaitMs));
  bytes.clear();
  grow(Capture());
  QCOMPARE(model->rowCount(), before);
  QVERIFY(errors_.isEmpty());
}

#include "frame_list_window_test.moc"
