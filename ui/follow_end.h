// Follow mode of the views of a capture that grows while it is shown (a recording, another
// recorder appending to it): a view that shows the end of its text or rows when more arrive
// stays at the end, so that the newest frames stay in view; one the user scrolled away from
// stays where it is, and follows again once scrolled back to the end (Ctrl+End, or the scroll
// bar dragged down). A view that shows all there is counts as at its end. Only growth that is
// read on is followed: a capture read from its start (opened, or read anew) shows its start.
//
//   FollowEnd end(view);   // before the new frames are taken
//   ...                    // rows or lines added, the scroll range updated (or not yet)
//   end.Restore();         // back at the end when the view was there
#ifndef PACKSCOPE_UI_FOLLOW_END_H_
#define PACKSCOPE_UI_FOLLOW_END_H_

#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QScrollBar>

namespace packscope {

class FollowEnd {
 public:
  explicit FollowEnd(QAbstractScrollArea& view)
      : view_(view),
        at_end_(view.verticalScrollBar()->value() == view.verticalScrollBar()->maximum()) {}

  bool AtEnd() const { return at_end_; }

  void Restore() {
    if (!at_end_) return;
    if (auto* items = qobject_cast<QAbstractItemView*>(&view_)) {
      items->scrollToBottom();  // lays out the rows added first
    } else {
      view_.verticalScrollBar()->setValue(view_.verticalScrollBar()->maximum());
    }
  }

 private:
  QAbstractScrollArea& view_;
  bool at_end_;
};

}  // namespace packscope

#endif  // PACKSCOPE_UI_FOLLOW_END_H_
