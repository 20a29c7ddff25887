// The frame list window's dialogs, each behind a seam of the window (tests answer them
// directly): the Export dialog, which offers every layout of the registry by name, the filter
// chosen setting the file name's extension; the Open dialog; Go to; the colouring rules' editor;
// and the export's host with its progress window.
#ifndef PACKSCOPE_UI_FRAME_LIST_DIALOGS_H_
#define PACKSCOPE_UI_FRAME_LIST_DIALOGS_H_

#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "capture/headless_window.h"
#include "commands/layouts.h"
#include "framelist/colouring.h"
#include "qt/qt_text.h"

class QLabel;
class QProgressDialog;
class QTableWidget;

namespace packscope {

// The file to export to and the layout chosen for it (null: the one its extension names: no file
// type was chosen, or the name typed has the extension of another one).
struct ExportChoice {
  QString path;  // empty: cancelled
  const Layout* layout = nullptr;
};
ExportChoice AskExportFile(QWidget* parent, const QString& suggested);
QString AskCaptureToOpen(QWidget* parent, const QString& folder);

// Go to: a frame number (offset false) or a byte offset; nothing when cancelled. A text that is
// no number ("123" or "0x7B") gives text and no value.
struct GoToChoice {
  bool offset = false;
  std::optional<std::int64_t> value;
  QString text;
};
std::optional<GoToChoice> AskGoTo(QWidget* parent);
// "123" or "0x7B"; nothing for any other text or a negative number.
std::optional<std::int64_t> ParseNumber(QString text);

// The export's host: the regional date texts of the window (the converter uses the same), and a
// progress window with Cancel for an export that takes longer than half a second.
class ExportWindow : public HeadlessWindow {
 public:
  explicit ExportWindow(QWidget* parent);
  ~ExportWindow() override;
  std::string ShortDateText(int year, int month, int day) const override {
    return dates_.ShortDate(year, month, day);
  }
  std::string LongTimeText(int hour, int minute, int second) const override {
    return dates_.LongTime(hour, minute, second);
  }
  bool ShowProgress(std::int64_t done, std::int64_t total) override;
  // The errors reported, one a line.
  QString ErrorText() const;

 private:
  QWidget* parent_;
  LocaleDateText dates_;
  QElapsedTimer clock_;
  QPointer<QProgressDialog> dialog_;
};

// View > Colouring: the rules in a table (name, filter, colour), in the order they are tried;
// Add, Remove, Up, Down, Defaults. OK keeps them only when every filter parses, else the rule at
// fault is selected and its error shown. A double click on a colour cell picks another.
class ColouringDialog : public QDialog {
  Q_OBJECT

 public:
  ColouringDialog(const std::vector<ColourRule>& rules, QWidget* parent = nullptr);
  std::vector<ColourRule> Rules() const;
  void SetRules(const std::vector<ColourRule>& rules);
  QTableWidget* Table() const { return table_; }
  QLabel* ErrorLabel() const { return error_; }
  void accept() override;

 private:
  void AddRow(const ColourRule& rule);
  void Move(int by);

  QTableWidget* table_ = nullptr;
  QLabel* error_ = nullptr;
};

}  // namespace packscope

#endif  // PACKSCOPE_UI_FRAME_LIST_DIALOGS_H_
