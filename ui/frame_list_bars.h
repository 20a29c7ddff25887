// The frame list window's bars: the filter bar above the table (the expression, Apply, Clear, the
// recent filters, the error of a wrong expression at its column) and the find bar below it.
//
// The filter bar says at once whether its text parses: red while it does not. After a wrong
// expression was applied, the rows of the filter before stay, greyed (Greyed), until the text
// parses or is again the filter applied.
#ifndef PACKSCOPE_UI_FRAME_LIST_BARS_H_
#define PACKSCOPE_UI_FRAME_LIST_BARS_H_

#include <QString>
#include <QWidget>

#include "filter/filter.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace packscope {

class FilterBar : public QWidget {
  Q_OBJECT

 public:
  explicit FilterBar(QWidget* parent = nullptr);

  QString Text() const;
  void SetText(const QString& text);
  // The filter applied (its text): the text the bar reverts to.
  void SetApplied(const QString& text);
  // A wrong expression applied: its error at its column, the rows greyed.
  void ShowError(const FilterError& error);
  bool Valid() const { return valid_; }
  // Adds text to the recent filters, first.
  void Remember(const QString& text);
  QStringList History() const;
  void SetHistory(const QStringList& history);
  void EditText();

  QComboBox* Box() const { return box_; }
  QLabel* ErrorLabel() const { return error_; }

 signals:
  void ApplyRequested(const QString& text);
  // The rows are (not) to be shown greyed.
  void Greyed(bool greyed);

 protected:
  void changeEvent(QEvent* event) override;

 private:
  void Update();
  void FollowTheme();

  QComboBox* box_ = nullptr;
  QLabel* error_ = nullptr;
  QString applied_;
  bool valid_ = true;
  bool greyed_ = false;
};

class FindBar : public QWidget {
  Q_OBJECT

 public:
  explicit FindBar(QWidget* parent = nullptr);
  QString Text() const;
  bool Hex() const;
  // Shows the bar with its text selected.
  void Open();

 signals:
  void FindRequested(bool backwards);
  void Closed();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLineEdit* text_ = nullptr;
  QCheckBox* hex_ = nullptr;
};

}  // namespace packscope

#endif  // PACKSCOPE_UI_FRAME_LIST_BARS_H_
