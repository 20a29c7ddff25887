// FollowView: Follow Connection's window over one connected session (framelist/
// follow_connection.h): the data both ways as text, each direction in its colour (the
// initiator's red, the responder's blue), gaps and retransmissions marked in grey, and beside it
// the timeline, a sequence diagram of the session's frames (TimelineView) whose click selects
// the frame in the frame list. Directions chooses both or one; Save as Text writes the text
// shown, Save Raw the data bytes of the directions shown, as the stations sent them.
#ifndef PACKSCOPE_UI_FOLLOW_VIEW_H_
#define PACKSCOPE_UI_FOLLOW_VIEW_H_

#include <QDialog>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "framelist/follow_connection.h"

class QComboBox;
class QLabel;
class QScrollArea;
class QTextEdit;

namespace packscope {

// One row per frame: the two stations' lifelines and an arrow from the sender to the other,
// labelled with the frame's type, N(S)/N(R) and P/F; its time and number at the left. A frame
// heard again is drawn red, one after frames the monitor missed has the count beside it.
class TimelineView : public QWidget {
  Q_OBJECT

 public:
  explicit TimelineView(QWidget* parent = nullptr);
  void SetSession(std::shared_ptr<const FollowedSession> session);
  // Marks the row of frame (index number), if the session has it, and scrolls to it.
  void Select(std::int64_t frame);
  std::int64_t Selected() const { return selected_; }
  // The frame of the row at y (in the widget), -1 for none.
  std::int64_t FrameAt(int y) const;
  // The y of the middle of the row of the timeline's entry i.
  int RowMiddle(std::size_t i) const;
  QSize sizeHint() const override;

 signals:
  void FrameClicked(qint64 frame);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  int RowHeight() const;
  int HeaderHeight() const;
  std::shared_ptr<const FollowedSession> session_;
  std::int64_t selected_ = -1;
};

class FollowView : public QDialog {
  Q_OBJECT

 public:
  // Asks for the file to save to: the dialog's title and the name suggested; empty: cancelled.
  using SaveDialog =
      std::function<QString(QWidget* parent, const QString& title, const QString& suggested)>;

  FollowView(std::shared_ptr<const FollowedSession> session, std::string capture_path,
             QWidget* parent = nullptr);

  // --- Commands ---
  void ShowDirections(FollowDirections which);
  // Write the text shown, or the data bytes of the directions shown, to path (bytes); false,
  // with a message box (the error reporter), when it cannot.
  bool SaveText(const std::string& path);
  bool SaveRaw(const std::string& path);
  void MnuSaveText_Click();
  void MnuSaveRaw_Click();

  // --- Seams and state ---
  void SetSaveDialog(SaveDialog dialog) { save_dialog_ = std::move(dialog); }
  void SetErrorReporter(std::function<void(const QString&)> r) { error_reporter_ = std::move(r); }
  QTextEdit* Text() const { return text_; }
  TimelineView* Timeline() const { return timeline_; }
  QComboBox* Directions() const { return directions_; }
  const FollowedSession& Followed() const { return *session_; }

 signals:
  // A frame of the timeline was clicked (index number).
  void FrameChosen(qint64 frame);

 private:
  FollowDirections Which() const;
  bool Save(const std::string& path, std::string_view bytes);
  QString Suggested(const char* extension) const;

  std::shared_ptr<const FollowedSession> session_;
  std::string capture_path_;
  SaveDialog save_dialog_;
  std::function<void(const QString&)> error_reporter_;
  QLabel* summary_ = nullptr;
  QComboBox* directions_ = nullptr;
  QTextEdit* text_ = nullptr;
  QScrollArea* scroll_ = nullptr;
  TimelineView* timeline_ = nullptr;
};

}  // namespace packscope

#endif  // PACKSCOPE_UI_FOLLOW_VIEW_H_
