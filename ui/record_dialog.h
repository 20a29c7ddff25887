// RecordDialog: File > "Record from TNC..." asks with it what to record and where to. The
// source is a TNC's or soundmodem's KISS port over TCP (HOST:PORT, 127.0.0.1:8001 by default:
// Dire Wolf's and QtSoundModem's) or a serial KISS TNC (a device, with its speed); the capture
// is chosen with a save dialog and appended to when it exists, which the dialog says; a stamp of
// the time of reception before every frame is on by default. "Record" refuses settings that
// cannot be recorded with, and says why in the dialog.
#ifndef PACKSCOPE_UI_RECORD_DIALOG_H_
#define PACKSCOPE_UI_RECORD_DIALOG_H_

#include <QDialog>
#include <QString>
#include <functional>
#include <optional>

#include "ui/tnc_recording.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace packscope {

class RecordDialog : public QDialog {
  Q_OBJECT

 public:
  // Asks for the capture to record into, suggesting a name; empty: cancelled.
  using SaveDialog = std::function<QString(QWidget* parent, const QString& suggested)>;

  RecordDialog(QWidget* parent, const RecordSettings& initial);

  // The settings as the fields give them.
  RecordSettings Settings() const;
  void SetSaveDialog(SaveDialog dialog) { save_dialog_ = std::move(dialog); }
  // "Browse...": the save dialog's choice into the capture field.
  void Browse();
  // "Record": accepted only with settings that can be recorded with.
  void accept() override;

  // The dialog, modal; the settings chosen, or nothing when cancelled.
  static std::optional<RecordSettings> Ask(QWidget* parent, const RecordSettings& initial);

 private:
  void SourceEdited();

  QComboBox* source_ = nullptr;
  QComboBox* baud_ = nullptr;
  QLineEdit* capture_ = nullptr;
  QCheckBox* stamps_ = nullptr;
  QLabel* problem_ = nullptr;
  SaveDialog save_dialog_;
};

}  // namespace packscope

#endif  // PACKSCOPE_UI_RECORD_DIALOG_H_
