// The main window as the Form1 tests meet it: made fresh for each test in a folder of its own,
// its open dialog and error messages through their seams (the next path to open, the messages
// shown), and its controls found by their object names.
#ifndef PACKSCOPE_TESTS_UI_FORM1_FIXTURE_H_
#define PACKSCOPE_TESTS_UI_FORM1_FIXTURE_H_

#include <QLabel>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <string>

#include "tests/ui/ui_test_support.h"
#include "ui/display_widget.h"
#include "ui/form1.h"
#include "ui/form2.h"

namespace packscope::testing {

class Form1Fixture {
 protected:
  // A new window in a new folder; shown (and exposed) when show is true. False when the folder
  // cannot be made or the window is not exposed.
  bool MakeForm(bool show) {
    dir_ = std::make_unique<QTemporaryDir>();
    if (!dir_->isValid()) return false;
    form_ = new Form1;
    next_open_.clear();
    errors_.clear();
    form_->SetOpenDialog([this](QWidget*) { return next_open_; });
    form_->SetErrorReporter([this](const QString& message) { errors_ << message; });
    if (!show) return true;
    form_->show();
    return QTest::qWaitForWindowExposed(form_);
  }
  void DestroyForm() {
    delete form_;
    form_ = nullptr;
    delete Form2::Instance();
    dir_.reset();
  }

  QString Capture(const QString& name, const std::string& bytes) {
    const QString path = dir_->filePath(name);
    WriteBytes(path, bytes);
    return path;
  }
  void Open(const QString& path) {
    next_open_ = path;
    form_->MnuFileOpen_Click();
  }
  template <typename T>
  T* Find(const char* name) {
    T* w = form_->findChild<T*>(QString::fromLatin1(name));
    if (w == nullptr) qFatal("no control %s", name);
    return w;
  }
  DisplayWidget* Display() { return Find<DisplayWidget>("RichTextBox1"); }
  QString Label(const char* name) { return Find<QLabel>(name)->text(); }

  std::unique_ptr<QTemporaryDir> dir_;
  Form1* form_ = nullptr;
  QString next_open_;
  QStringList errors_;
};

}  // namespace packscope::testing

#endif  // PACKSCOPE_TESTS_UI_FORM1_FIXTURE_H_
