// Helpers for the widget tests: capture files, drops, and the screen blocks that a pass should
// leave in the display, built from their pieces.
#ifndef PACKSCOPE_TESTS_UI_UI_TEST_SUPPORT_H_
#define PACKSCOPE_TESTS_UI_UI_TEST_SUPPORT_H_

#include <QByteArray>
#include <QFile>
#include <QMimeData>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "capture/headless_window.h"
#include "qt/qt_text.h"
#include "render/display_model.h"

namespace packscope::testing {

// The headless window with the regional date texts the Qt window uses.
class LocaleHeadlessWindow : public HeadlessWindow {
 public:
  std::string ShortDateText(int year, int month, int day) const override {
    return dates_.ShortDate(year, month, day);
  }
  std::string LongTimeText(int hour, int minute, int second) const override {
    return dates_.LongTime(hour, minute, second);
  }

 private:
  LocaleDateText dates_;
};

inline std::string Bytes(std::initializer_list<int> values) {
  std::string out;
  for (int v : values) out.push_back(static_cast<char>(v));
  return out;
}

inline void WriteBytes(const QString& path, const std::string& bytes) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
    qFatal("cannot write %s", qPrintable(path));
  file.write(bytes.data(), static_cast<qint64>(bytes.size()));
}

inline std::string ReadBytes(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return "<missing>";
  return file.readAll().toStdString();
}

// Byte strings and colour runs in a form QCOMPARE prints on failure.
inline QByteArray B(const std::string& bytes) { return QByteArray::fromStdString(bytes); }

inline QString RunsText(const std::vector<DisplayModel::Run>& runs) {
  QStringList parts;
  for (const DisplayModel::Run& r : runs) {
    parts << QStringLiteral("%1:%2").arg(r.start).arg(r.color, 6, 16, QLatin1Char('0'));
  }
  return parts.join(u' ');
}

inline std::string Utf8Path(const QString& path) { return QFile::encodeName(path).toStdString(); }

// A drop of these local files.
inline QMimeData* FileDrop(const QStringList& paths) {
  auto* data = new QMimeData;
  QList<QUrl> urls;
  for (const QString& p : paths) urls << QUrl::fromLocalFile(p);
  data->setUrls(urls);
  return data;
}

inline QMimeData* TextDrop(const QString& text) {
  auto* data = new QMimeData;
  data->setText(text);
  return data;
}

// A frame in an AX.25 UI frame's KISS form: type 00, destination, source with SSID, control 03,
// PID F0, payload.
inline std::string UiFrame(const std::string& dest, const std::string& source, int ssid,
                           const std::string& payload) {
  std::string frame(1, '\0');
  const auto call = [&frame](std::string c, int id, bool last) {
    c.resize(6, ' ');
    for (char ch : c) frame.push_back(static_cast<char>(ch << 1));
    frame.push_back(static_cast<char>(0x60 | (id << 1) | (last ? 1 : 0)));
  };
  call(dest, 0, false);
  call(source, ssid, true);
  frame += Bytes({0x03, 0xF0});
  frame += payload;
  return frame;
}

// The text and colour runs a series of coloured appends gives.
class Expected {
 public:
  Expected& Add(const std::string& text, Color color) {
    if (text.empty()) return *this;
    if (runs_.empty() || runs_.back().color != color) {
      runs_.push_back({static_cast<std::int64_t>(text_.size()), color});
    }
    text_ += text;
    return *this;
  }
  // One screen block: the timestamp line, the dump (with its empty line), the printable line,
  // the separator.
  Expected& Block(const std::string& stamp, const std::string& dump, Color dump_color,
                  const std::string& printable) {
    Add(stamp + "\r\n", kBlack);
    Add(dump + "\r\n\r\n", dump_color);
    Add(printable + "\r\n", kGreen);
    return Add(std::string(80, '_') + "\r\n", kGreen);
  }
  const std::string& Text() const { return text_; }
  const std::vector<DisplayModel::Run>& Runs() const { return runs_; }

 private:
  std::string text_;
  std::vector<DisplayModel::Run> runs_;
};

}  // namespace packscope::testing

#endif  // PACKSCOPE_TESTS_UI_UI_TEST_SUPPORT_H_
