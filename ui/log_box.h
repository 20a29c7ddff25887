// LogBox: the main window's timestamp log Text4, a multi-line text box without scroll bars that
// the program fills and the user reads and copies.
//
// Its lines come from a text made on demand (render/display_source.h: the timestamp log of the
// capture shown, one line per binary stamp). A log of up to kHeldLines lines is held in the box's
// own text, as a plain text box holds it; a longer one (a year of logging has millions of stamps)
// is not copied into it: the box then shows the log through a view of its own
// (a DisplayWidget over the source), which paints the lines in view, selects and copies as the
// display does, and the box's own text stays empty.
#ifndef PACKSCOPE_UI_LOG_BOX_H_
#define PACKSCOPE_UI_LOG_BOX_H_

#include <QPlainTextEdit>
#include <cstdint>

#include "render/display_source.h"

namespace packscope {

class DisplayWidget;

class LogBox : public QPlainTextEdit {
  Q_OBJECT

 public:
  // Logs longer than this are shown through the view.
  static constexpr std::int64_t kHeldLines = 100000;

  explicit LogBox(QWidget* parent = nullptr);

  // The log shown from now on (not owned; null: none), from its first line.
  void SetSource(const DisplaySource* source);
  // The log grew, or was laid out anew (fewer lines: another log): the box follows.
  void SourceChanged();
  // True while the log is shown through the view, not held.
  bool ShowsView() const;
  DisplayWidget* View() const { return view_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Empty();

  const DisplaySource* source_ = nullptr;
  DisplayWidget* view_ = nullptr;
  std::int64_t held_ = 0;        // lines of the source in the box's text
  int lines_in_last_block_ = 0;  // of the box's text
};

}  // namespace packscope

#endif  // PACKSCOPE_UI_LOG_BOX_H_
