#include "ui/form1.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>
#include <array>
#include <utility>

#include "capture/errors.h"
#include "commands/commands.h"
#include "qt/qt_text.h"
#include "ui/design.h"
#include "ui/display_widget.h"
#include "ui/form2.h"
#include "ui/frame_list_window.h"
#include "ui/log_box.h"
#include "ui/qt_window.h"
#include "ui/record_dialog.h"

namespace packscope {

// The window's three filters, then one for the captures of every format the readers take.
const QString kOpenFilter =
    QStringLiteral("KISS Files (*.kss);;Text Files (*.txt);;All Files (*.*);;Captures (%1)")
        .arg(QString::fromLatin1(kCaptureFilePatterns.data(),
                                 static_cast<qsizetype>(kCaptureFilePatterns.size())));

namespace {

constexpr int kTwipsPerPixel = 15;

// How often the window looks whether the capture shown changed on disk, and how often a reading
// of it lays out and shows what it read.
constexpr int kLookAtCaptureMs = 1000;
constexpr int kReadOnTickMs = 40;

// The recording item's captions.
constexpr const char* kRecordCaption = "&Record from TNC...";
constexpr const char* kStopRecordingCaption = "&Stop Recording";

QString FramesText(std::int64_t frames) {
  return frames == 1 ? QStringLiteral("1 frame") : QStringLiteral("%1 frames").arg(frames);
}

// A control's place from the window design, in twips, as pixels at 96 dots per inch.
QRect Twips(int left, int top, int width, int height) {
  return QRect(left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
               height / kTwipsPerPixel);
}

// The designed client area: 10200 x 7230 twips.
const QSize kClientSize(10200 / kTwipsPerPixel, 7230 / kTwipsPerPixel);

// The local files of a drop, in the order of the drop, as file-system paths (bytes).
std::vector<std::string> DroppedFiles(const QMimeData& dropped) {
  std::vector<std::string> paths;
  if (!dropped.hasUrls()) return paths;
  for (const QUrl& url : dropped.urls()) {
    if (url.isLocalFile()) paths.push_back(LocalFileBytes(url));
  }
  return paths;
}

QString DefaultOpenDialog(QWidget* parent) {
  const std::unique_ptr<QFileDialog> dialog = CreateOpenDialog(parent);
  if (dialog->exec() != QDialog::Accepted) return QString();
  const QStringList files = dialog->selectedFiles();
  return files.isEmpty() ? QString() : files.first();
}

// A text box that takes no drops, so that files dropped on it reach the window.
void RefuseDrops(QAbstractScrollArea* box) {
  box->setAcceptDrops(false);
  box->viewport()->setAcceptDrops(false);
}

}  // namespace

std::unique_ptr<QFileDialog> CreateOpenDialog(QWidget* parent) {
  auto dialog = std::make_unique<QFileDialog>(parent, QStringLiteral("Open Kissfile"));
  dialog->setAcceptMode(QFileDialog::AcceptOpen);
  dialog->setFileMode(QFileDialog::ExistingFile);
  dialog->setNameFilter(kOpenFilter);
  dialog->selectNameFilter(dialog->nameFilters().first());
  dialog->selectFile(QString());
  dialog->setWindowModality(Qt::ApplicationModal);
  return dialog;
}

Form1::Form1(QWidget* parent)
    : QMainWindow(parent),
      open_dialog_(&DefaultOpenDialog),
      error_reporter_([this](const QString& m) {
        QMessageBox::warning(this, QStringLiteral("Packscope+"), m);
      }),
      record_dialog_(&RecordDialog::Ask),
      question_([this](const QString& q) {
        return QMessageBox::question(this, QStringLiteral("Packscope+"), q) == QMessageBox::Yes;
      }) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Packscope+ (QQ0QQ)"));
  setWindowIcon(QIcon(QStringLiteral(":/packscope/icon.png")));
  setAcceptDrops(true);
  CreateControls();
  CreateMenus();
  window_ = std::make_unique<QtWindow>(QtWindow::Controls{this, rich_text_box1_, label1_, label2_,
                                                          text2_, text3_, text4_, check1_, check2_},
                                       [this](const QString& message) { ShowError(message); });
  resize(kClientSize.width(), kClientSize.height() + menuBar()->sizeHint().height());

  // The capture shown is followed on disk while no command runs.
  look_timer_ = new QTimer(this);
  look_timer_->setInterval(kLookAtCaptureMs);
  connect(look_timer_, &QTimer::timeout, this, &Form1::LookAtCapture);
  look_timer_->start();
  read_on_timer_ = new QTimer(this);
  read_on_timer_->setInterval(kReadOnTickMs);
  connect(read_on_timer_, &QTimer::timeout, this, &Form1::ReadOnStep);
}

Form1::~Form1() { delete frame_list_; }

void Form1::CreateControls() {
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("ClientArea"));
  client->setFont(DesignFont(QStringLiteral("MS Sans Serif"), 8.25, false));
  setCentralWidget(client);

  rich_text_box1_ = new DisplayWidget(client);
  rich_text_box1_->setObjectName(QStringLiteral("RichTextBox1"));
  rich_text_box1_->setGeometry(Twips(120, 0, 9975, 6615));
  rich_text_box1_->setFont(DesignFont(QStringLiteral("Courier New"), 9, true));
  connect(rich_text_box1_, &DisplayWidget::FilesDropped, this, &Form1::RichTextBox1_OLEDragDrop);
  connect(rich_text_box1_, &DisplayWidget::CopyRefused, this, &Form1::ShowError);

  check1_ = new QCheckBox(QStringLiteral("Decode Kissframe"), client);
  check1_->setObjectName(QStringLiteral("Check1"));
  check1_->setGeometry(Twips(120, 6720, 1695, 195));
  check1_->setChecked(false);
  FitCaptionFont(*check1_);
  connect(check1_, &QCheckBox::clicked, this, &Form1::Check1_Click);

  check2_ = new QCheckBox(QStringLiteral("AX.25"), client);
  check2_->setObjectName(QStringLiteral("Check2"));
  check2_->setGeometry(Twips(120, 6960, 1575, 255));
  check2_->setChecked(true);
  FitCaptionFont(*check2_);

  const auto make_label = [client](const char* name, const QString& text, QRect place) {
    auto* label = new QLabel(text, client);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(place);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
  };
  label2_ = make_label("Label2", QString(), Twips(2040, 6720, 7935, 255));
  label1_ = make_label("Label1", QString(), Twips(2040, 6960, 3375, 255));
  QPalette grey = label1_->palette();
  grey.setColor(QPalette::WindowText, ToQColor(0x404040));
  label1_->setPalette(grey);

  text1_ = new QPlainTextEdit(client);
  text1_->setObjectName(QStringLiteral("Text1"));
  text1_->setGeometry(Twips(120, 7440, 10095, 1095));
  text1_->setFont(DesignFont(QStringLiteral("Courier New"), 8.25, true));
  text1_->setLineWrapMode(QPlainTextEdit::NoWrap);
  text1_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  text1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  RefuseDrops(text1_);

  label3_ = make_label("Label3", QStringLiteral("RXCall"), Twips(120, 8760, 495, 255));
  FitCaptionFont(*label3_);
  text2_ = new QLineEdit(client);
  text2_->setObjectName(QStringLiteral("Text2"));
  text2_->setGeometry(Twips(720, 8760, 975, 285));
  text2_->setAcceptDrops(false);
  label4_ = make_label("Label4", QStringLiteral("TXCall"), Twips(2040, 8760, 495, 255));
  FitCaptionFont(*label4_);
  text3_ = new QLineEdit(client);
  text3_->setObjectName(QStringLiteral("Text3"));
  text3_->setGeometry(Twips(2640, 8760, 975, 285));
  text3_->setAcceptDrops(false);

  // The timestamp log: the program appends to it; the user reads and copies.
  text4_ = new LogBox(client);
  text4_->setObjectName(QStringLiteral("Text4"));
  text4_->setGeometry(Twips(10440, 0, 4815, 6615));
  text4_->setFont(DesignFont(QStringLiteral("Consolas"), 8.25, true));
  text4_->setReadOnly(true);
  // Read-only: nothing to undo. Without the undo stack a long pass's hundreds of thousands of
  // log lines go in at a third less time and memory.
  text4_->document()->setUndoRedoEnabled(false);
  text4_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  text4_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  text4_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  RefuseDrops(text4_);
  connect(text4_->View(), &DisplayWidget::CopyRefused, this, &Form1::ShowError);

  // Tab order of the design; the labels take no focus.
  setTabOrder(text1_, rich_text_box1_);
  setTabOrder(rich_text_box1_, check1_);
  setTabOrder(check1_, check2_);
  setTabOrder(check2_, text2_);
  setTabOrder(text2_, text3_);
  setTabOrder(text3_, text4_);
}

void Form1::CreateMenus() {
  const auto item = [this](QMenu* menu, const char* name, const QString& caption,
                           void (Form1::*handler)()) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    connect(action, &QAction::triggered, this, handler);
    return action;
  };

  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  file->setObjectName(QStringLiteral("MnuFile"));
  item(file, "MnuFileOpen", QStringLiteral("&Open Kissfile"), &Form1::MnuFileOpen_Click);
  mnu_file_record_ =
      item(file, "MnuFileRecord", QString::fromLatin1(kRecordCaption), &Form1::MnuFileRecord_Click);
  item(file, "MnuExit", QStringLiteral("&Exit"), &Form1::MnuExit_Click);

  // The frame-writing items follow the command table (commands/commands.h), then the screen dump.
  struct WriteItem {
    const char* name;
    void (Form1::*handler)();
  };
  static constexpr std::array<WriteItem, kWriteCommands.size()> kWriteItems = {{
      {"MnuWriteHexfilecomplete", &Form1::MnuWriteHexfilecomplete_Click},
      {"MnuWriteHexFilekissframe", &Form1::MnuWriteHexFilekissframe_Click},
      {"MnuWriteHexfilePayload", &Form1::MnuWriteHexfilePayload_Click},
      {"MnuWriteHexfilePayloadTime", &Form1::MnuWriteHexfilePayloadTime_Click},
      {"MnuWriteASCIIPL", &Form1::MnuWriteASCIIPL_Click},
  }};
  QMenu* write = menuBar()->addMenu(QStringLiteral("&Write"));
  write->setObjectName(QStringLiteral("MnuWrite"));
  for (std::size_t i = 0; i < kWriteItems.size(); ++i) {
    item(write, kWriteItems[i].name, FromUtf8(kWriteCommands[i].caption), kWriteItems[i].handler);
  }
  item(write, "MnuWriteLogfile", FromUtf8(kLogfileCaption), &Form1::MnuWriteLogfile_Click);

  QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
  view->setObjectName(QStringLiteral("MnuView"));
  item(view, "MnuViewFrameList", QStringLiteral("Frame List"), &Form1::MnuViewFrameList_Click);
  view->actions().last()->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));

  // Info is an item of the menu bar itself: a click acts at once.
  QAction* info = menuBar()->addAction(QStringLiteral("Info"));
  info->setObjectName(QStringLiteral("MnuInfo"));
  connect(info, &QAction::triggered, this, &Form1::MnuInfo_Click);
}

void Form1::SetErrorReporter(ErrorReporter reporter) { error_reporter_ = std::move(reporter); }

void Form1::SetCaptureLookInterval(int milliseconds) { look_timer_->setInterval(milliseconds); }

void Form1::ShowError(const QString& message) {
  if (error_reporter_) error_reporter_(message);
}

bool Form1::Idle() const { return !command_running_ && !window_->InPass(); }

void Form1::RunCommand(const std::function<void()>& body) {
  if (!Idle()) return;
  struct Running {
    bool& flag;
    ~Running() { flag = false; }
  } running{command_running_};
  command_running_ = true;
  // A reading of the capture on disk stops first; the next look goes on with it.
  window_->StopReadingOn();
  read_on_timer_->stop();
  const std::string shown = state_.CaptureFileName;
  body();
  if (!state_.CaptureFileName.empty() && state_.CaptureFileName != shown) {
    emit CaptureChanged(QByteArray::fromStdString(state_.CaptureFileName));
  }
}

FrameListWindow* Form1::FrameList() const { return frame_list_.data(); }

void Form1::ShowFrameList(const std::string& path) {
  if (frame_list_ == nullptr) {
    frame_list_ = new FrameListWindow();
    frame_list_->setAttribute(Qt::WA_DeleteOnClose);
    connect(this, &Form1::CaptureChanged, frame_list_, &FrameListWindow::FollowCapture);
    connect(this, &Form1::CaptureFollowed, frame_list_, &FrameListWindow::ReadOn);
  }
  frame_list_->FollowCapture(QByteArray::fromStdString(path));
  frame_list_->show();
  frame_list_->raise();
  frame_list_->activateWindow();
}

void Form1::LookAtCapture() {
  if (!Idle() || window_->ReadingOn() || !window_->CaptureChangedOnDisk()) return;
  window_->StartReadingOn();
  read_on_timer_->start();
}

void Form1::ReadOnStep() {
  if (!Idle()) return;
  std::optional<IndexResult> result;
  try {
    result = window_->ReadingOnStep();
  } catch (const std::exception&) {  // out of memory laying out: what was shown stays
    window_->StopReadingOn();
    result = IndexResult{IndexStatus::kCancelled, {}};
  }
  if (result) {
    read_on_timer_->stop();
    CaptureReadOn(state_, *window_, *result);
    if (result->status == IndexStatus::kAtEnd) emit CaptureFollowed();
    if (std::exchange(look_again_, false)) LookAtCapture();
  }
}

void Form1::MnuFileOpen_Click() {
  RunCommand([this] {
    const QString chosen = open_dialog_ ? open_dialog_(this) : QString();
    const std::string path = QFile::encodeName(chosen).toStdString();
    if (MayEndRecording(path)) OpenCapture(state_, *window_, path);
  });
}

void Form1::MnuFileRecord_Click() {
  if (recording_ != nullptr) {
    // Ended follows within a moment; the item waits for it.
    recording_->Stop();
    mnu_file_record_->setEnabled(false);
    return;
  }
  RunCommand([this] { StartRecording(); });
}

void Form1::StartRecording() {
  const std::optional<RecordSettings> chosen =
      record_dialog_ ? record_dialog_(this, record_settings_) : std::nullopt;
  if (!chosen) return;
  record_settings_ = *chosen;
  const std::string problem = RecordSettingsProblem(*chosen);
  if (!problem.empty()) {
    ShowError(FromUtf8(problem));
    return;
  }
  try {
    recording_ = std::make_unique<TncRecording>(*chosen);
  } catch (const CommandError& e) {  // the capture cannot be recorded into
    ShowError(FromUtf8(e.what()));
    return;
  }
  connect(recording_.get(), &TncRecording::StatusChanged, this, &Form1::ShowRecordingCaption);
  connect(recording_.get(), &TncRecording::Written, this, &Form1::RecordingWritten);
  connect(recording_.get(), &TncRecording::Ended, this, &Form1::RecordingEnded);
  mnu_file_record_->setText(QString::fromLatin1(kStopRecordingCaption));
  // Shown as File > Open shows it, and followed from its end on.
  if (OpenCapture(state_, *window_, chosen->capture)) rich_text_box1_->ScrollToEnd();
  ShowRecordingCaption();
}

void Form1::ShowRecordingCaption() {
  if (recording_ == nullptr || state_.CaptureFileName != recording_->Settings().capture) return;
  const RecordSettings& settings = recording_->Settings();
  QString caption = QStringLiteral("Recording %1 to %2: %3")
                        .arg(FromUtf8(settings.source), FromUtf8(settings.capture),
                             FramesText(recording_->Frames()));
  // While not connected, why not; after a frame too long for a capture, that it was dropped.
  const QString& status = recording_->Status();
  if (!status.isEmpty() && !status.startsWith(QStringLiteral("Connected"))) {
    caption += QStringLiteral(" (") + status + QLatin1Char(')');
  }
  window_->SetLabel2Caption(caption.toStdString());
}

void Form1::RecordingWritten() {
  ShowRecordingCaption();
  // The new frames are shown at once, not at the next look.
  if (window_->ReadingOn()) {
    look_again_ = true;
  } else {
    LookAtCapture();
  }
}

void Form1::RecordingEnded() {
  std::unique_ptr<TncRecording> ended = std::move(recording_);
  mnu_file_record_->setText(QString::fromLatin1(kRecordCaption));
  mnu_file_record_->setEnabled(true);
  const RecordSettings& settings = ended->Settings();
  const RecordResult& result = ended->Result();
  if (state_.CaptureFileName == settings.capture) {
    // A capture that got no frame is taken away again (TncRecording): nothing left to show.
    if (!QFile::exists(QFile::decodeName(QByteArray::fromStdString(settings.capture)))) {
      CloseCapture(state_, *window_);
    } else {
      LookAtCapture();
    }
    window_->SetLabel2Caption(
        QStringLiteral("Recording stopped: %1 from %2 in %3")
            .arg(FramesText(result.frames), FromUtf8(settings.source), FromUtf8(settings.capture))
            .toStdString());
  }
  if (result.end == RecordEnd::kWriteFailed || result.end == RecordEnd::kSourceFailed) {
    ShowError(FromUtf8(result.error) + QStringLiteral("\n\nThe recording stopped; ") +
              FramesText(result.frames) + QStringLiteral(" recorded before, each one whole."));
  }
  // Deleted once its signal has been delivered.
  ended.release()->deleteLater();
}

bool Form1::MayEndRecording(const std::string& opening) {
  if (recording_ == nullptr || recording_->Stopping() || opening.empty() ||
      opening == recording_->Settings().capture) {
    return true;
  }
  const RecordSettings& settings = recording_->Settings();
  if (question_ && !question_(QStringLiteral("Recording from %1 to %2 is running. Stop it?")
                                  .arg(FromUtf8(settings.source), FromUtf8(settings.capture)))) {
    return false;
  }
  recording_->Stop();
  mnu_file_record_->setEnabled(false);
  return true;
}

void Form1::Form_OLEDragDrop(const QMimeData& dropped) { OpenPaths(DroppedFiles(dropped)); }

void Form1::RichTextBox1_OLEDragDrop(const QMimeData& dropped) { OpenPaths(DroppedFiles(dropped)); }

void Form1::OpenPaths(const std::vector<std::string>& paths) {
  RunCommand([&] {
    if (paths.empty() || !MayEndRecording(paths.front())) return;
    DropFiles(state_, *window_, paths, [] { QCoreApplication::processEvents(); });
  });
}

void Form1::Check1_Click() {
  RunCommand([this] {
    // The other view of the same frames: the view stays on the frame it showed.
    DisplayWidget* display = rich_text_box1_;
    const CaptureView::FramePlace place =
        window_->View().PlaceOf(display->FirstVisibleLine(), display->SelStart(),
                                display->SelStart() + display->SelLength());
    const int horizontal = display->horizontalScrollBar()->value();
    if (!Check1Clicked(state_, *window_) || display->ShowsOwnModel()) return;
    const CaptureView::TextPlace text = window_->View().TextPlaceOf(place);
    display->ScrollToLine(text.top_line);
    display->horizontalScrollBar()->setValue(horizontal);
    display->SetSelection(text.sel_begin, text.sel_end - text.sel_begin);
  });
}

void Form1::MnuExit_Click() { close(); }

void Form1::MnuInfo_Click() { Form2::ShowAbout(this); }

void Form1::MnuViewFrameList_Click() { ShowFrameList(state_.CaptureFileName); }

void Form1::Write(std::size_t index) {
  RunCommand([this, index] { RunWriteCommand(state_, *window_, kWriteCommands[index]); });
}

void Form1::MnuWriteHexfilecomplete_Click() { Write(0); }
void Form1::MnuWriteHexFilekissframe_Click() { Write(1); }
void Form1::MnuWriteHexfilePayload_Click() { Write(2); }
void Form1::MnuWriteHexfilePayloadTime_Click() { Write(3); }
void Form1::MnuWriteASCIIPL_Click() { Write(4); }

void Form1::MnuWriteLogfile_Click() {
  RunCommand([this] { WriteLogfile(state_, *window_); });
}

void Form1::dragEnterEvent(QDragEnterEvent* event) { AcceptFilesOnly(*event); }

void Form1::dragMoveEvent(QDragMoveEvent* event) { AcceptFilesOnly(*event); }

void Form1::dropEvent(QDropEvent* event) {
  AcceptFilesOnly(*event);
  Form_OLEDragDrop(*event->mimeData());
}

void Form1::closeEvent(QCloseEvent* event) {
  // The pass holds the window's state; it ends on its own shortly.
  if (Idle() && recording_ != nullptr && !recording_->Stopping()) {
    const RecordSettings& settings = recording_->Settings();
    if (question_ &&
        !question_(QStringLiteral("Recording from %1 to %2 is running. Stop it and close the "
                                  "window?")
                       .arg(FromUtf8(settings.source), FromUtf8(settings.capture)))) {
      event->ignore();
      return;
    }
  }
  if (Idle()) {
    recording_.reset();  // stopped within 200 ms; its frames whole
    window_->StopReadingOn();
    read_on_timer_->stop();
    look_timer_->stop();
    event->accept();
  } else {
    event->ignore();
  }
}

}  // namespace packscope
