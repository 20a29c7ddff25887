// Form2: the About window. A small static window with the program's name, version and date,
// the author's callsign, a notice, a web-address and an e-mail line (plain text, not links) and
// a picture. It is shown modeless and without an owner: the main window stays usable, and
// closing the main window leaves it open (the program ends when both are closed). There is
// never more than one; closing it unloads it, and the next Info loads it anew.
#ifndef PACKSCOPE_UI_FORM2_H_
#define PACKSCOPE_UI_FORM2_H_

#include <QWidget>

namespace packscope {

class Form2 : public QWidget {
  Q_OBJECT

 public:
  // Shows the About window: loads it when none is open, else brings the open one to the front.
  // A window loaded anew opens beside main_window (when given), or over the middle of it where
  // the screen has no room beside it: never over its menu bar.
  static Form2* ShowAbout(const QWidget* main_window = nullptr);
  // The open About window, or null.
  static Form2* Instance();

 private:
  Form2();
  // Load: fills in the version line.
  void Form_Load();
  void PlaceBeside(const QWidget& main_window);
};

}  // namespace packscope

#endif  // PACKSCOPE_UI_FORM2_H_
