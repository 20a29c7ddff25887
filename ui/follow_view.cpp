#include "ui/follow_view.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

#include "commands/frame_text.h"
#include "qt/qt_text.h"

namespace packscope {
namespace {

// Text and background of each direction: [0] the initiator's.
const QColor kText[2] = {QColor(0x7F, 0x00, 0x00), QColor(0x00, 0x00, 0x7F)};
const QColor kBackground[2] = {QColor(0xFB, 0xED, 0xED), QColor(0xED, 0xED, 0xFB)};
const QColor kMark(0x60, 0x60, 0x60);
const QColor kAgain(0xC0, 0x20, 0x20);
const QColor kMissed(0xC0, 0x70, 0x00);

QString TimeOfDay(const std::optional<std::int64_t>& millis) {
  if (!millis) return {};
  const std::string iso = IsoStampText(*millis);  // 2016-01-01T12:34:56.789Z
  return iso.size() >= 23 ? FromUtf8(iso.substr(11, 12)) : FromUtf8(iso);
}

QString Summary(const FollowedSession& f) {
  const Session& s = f.session;
  QString text = QStringLiteral("Session %1: %2 \u2192 %3, port %4, modulo %5, %6 frames")
                     .arg(s.number)
                     .arg(FromUtf8(s.initiator), FromUtf8(s.responder))
                     .arg(s.port)
                     .arg(s.modulo)
                     .arg(s.frames);
  const std::string_view setup = SetupName(s.setup);
  const std::string_view outcome = OutcomeName(s.outcome);
  text += QStringLiteral(", %1 to %2")
              .arg(setup.empty() ? QStringLiteral("without setup") : FromUtf8(setup),
                   outcome.empty() ? QStringLiteral("still open") : FromUtf8(outcome));
  for (int d = 0; d < 2; ++d) {
    const DirectionCounts& c = s.from[static_cast<std::size_t>(d)];
    text += QStringLiteral("\n%1 sent %2 bytes in %3 I frames (%4 heard again, %5 not heard)")
                .arg(FromUtf8(d == 0 ? s.initiator : s.responder))
                .arg(c.bytes)
                .arg(c.i_frames)
                .arg(c.retransmitted)
                .arg(c.missing);
  }
  return text;
}

QString AskSaveFile(QWidget* parent, const QString& title, const QString& suggested) {
  QFileDialog dialog(parent, title, suggested);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.selectFile(suggested);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

}  // namespace

// --- The timeline ---

TimelineView::TimelineView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("Timeline"));
  setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  setMinimumWidth(420);
  setFocusPolicy(Qt::ClickFocus);
}

void TimelineView::SetSession(std::shared_ptr<const FollowedSession> session) {
  session_ = std::move(session);
  selected_ = -1;
  setMinimumHeight(sizeHint().height());  // the scroll area scrolls it
  updateGeometry();
  update();
}

int TimelineView::RowHeight() const { return fontMetrics().height() * 2 + 4; }
int TimelineView::HeaderHeight() const { return fontMetrics().height() * 2; }

QSize TimelineView::sizeHint() const {
  const std::size_t rows = session_ ? session_->timeline.size() : 0;
  return {520, HeaderHeight() + static_cast<int>(rows) * RowHeight() + 4};
}

int TimelineView::RowMiddle(std::size_t i) const {
  return HeaderHeight() + static_cast<int>(i) * RowHeight() + RowHeight() / 2;
}

std::int64_t TimelineView::FrameAt(int y) const {
  if (!session_ || y < HeaderHeight()) return -1;
  const auto row = static_cast<std::size_t>((y - HeaderHeight()) / RowHeight());
  return row < session_->timeline.size() ? session_->timeline[row].frame : -1;
}

void TimelineView::Select(std::int64_t frame) {
  selected_ = frame;
  update();
  if (!session_) return;
  for (std::size_t i = 0; i < session_->timeline.size(); ++i) {
    if (session_->timeline[i].frame != frame) continue;
    // The scroll area around it, if any, shows the row.
    for (QWidget* p = parentWidget(); p != nullptr; p = p->parentWidget()) {
      if (auto* area = qobject_cast<QScrollArea*>(p)) {
        area->ensureVisible(width() / 2, RowMiddle(i), 0, RowHeight());
        break;
      }
    }
    break;
  }
}

void TimelineView::mousePressEvent(QMouseEvent* event) {
  const std::int64_t frame = FrameAt(static_cast<int>(event->position().y()));
  if (frame < 0) return;
  Select(frame);
  emit FrameClicked(frame);
}

void TimelineView::paintEvent(QPaintEvent* event) {
  QPainter p(this);
  p.fillRect(event->rect(), palette().base());
  if (!session_) return;
  const QFontMetrics fm = fontMetrics();
  const int left = fm.horizontalAdvance(QStringLiteral("00:00:00.000 #0000000 "));
  const int x[2] = {left + (width() - left) / 5, left + (width() - left) * 4 / 5};
  const Session& s = session_->session;
  // The stations' names over their lifelines.
  for (int d = 0; d < 2; ++d) {
    p.setPen(kText[d]);
    const QString name = FromUtf8(d == 0 ? s.initiator : s.responder);
    p.drawText(QRect(x[d] - 100, 0, 200, HeaderHeight()), Qt::AlignCenter, name);
    p.setPen(QPen(QColor(0xA0, 0xA0, 0xA0), 1, Qt::DashLine));
    p.drawLine(x[d], HeaderHeight(), x[d], height());
  }
  const int h = RowHeight();
  const std::size_t rows = session_->timeline.size();
  const int top = std::max(0, (event->rect().top() - HeaderHeight()) / h);
  const int bottom = (event->rect().bottom() - HeaderHeight()) / h + 1;
  for (std::size_t i = static_cast<std::size_t>(top);
       i < rows && i <= static_cast<std::size_t>(std::max(bottom, 0)); ++i) {
    const TimelineFrame& t = session_->timeline[i];
    const int y0 = HeaderHeight() + static_cast<int>(i) * h;
    if (t.frame == selected_)
      p.fillRect(0, y0, width(), h, palette().highlight().color().lighter(170));
    p.setPen(palette().text().color());
    p.drawText(QRect(2, y0, left, h / 2 + 2), Qt::AlignLeft | Qt::AlignBottom, TimeOfDay(t.millis));
    p.drawText(QRect(2, y0 + h / 2, left, h / 2), Qt::AlignLeft | Qt::AlignTop,
               QStringLiteral("#%1").arg(t.frame + 1));
    const int from = x[t.direction == 0 ? 0 : 1];
    const int to = x[t.direction == 0 ? 1 : 0];
    const int y = y0 + h * 2 / 3;
    const QColor colour = t.retransmission ? kAgain : kText[t.direction == 0 ? 0 : 1];
    p.setPen(QPen(colour, 1.5));
    p.drawLine(from, y, to, y);
    const int head = to > from ? -8 : 8;
    QPainterPath arrow;
    arrow.moveTo(to, y);
    arrow.lineTo(to + head, y - 4);
    arrow.lineTo(to + head, y + 4);
    arrow.closeSubpath();
    p.fillPath(arrow, colour);
    QString label = FromUtf8(t.label);
    if (t.retransmission) label += QStringLiteral(" (again)");
    p.drawText(QRect(std::min(from, to), y0, std::abs(to - from), h * 2 / 3 - 1),
               Qt::AlignHCenter | Qt::AlignBottom, label);
    if (t.not_heard > 0) {
      p.setPen(kMissed);
      p.drawText(QRect(std::max(from, to) + 6, y0, width(), h), Qt::AlignLeft | Qt::AlignVCenter,
                 QStringLiteral("%1 missed").arg(t.not_heard));
    }
  }
}

// --- The view ---

FollowView::FollowView(std::shared_ptr<const FollowedSession> session, std::string capture_path,
                       QWidget* parent)
    : QDialog(parent),
      session_(std::move(session)),
      capture_path_(std::move(capture_path)),
      save_dialog_(&AskSaveFile),
      error_reporter_([this](const QString& m) {
        QMessageBox::warning(this, QStringLiteral("Follow Connection"), m);
      }) {
  setObjectName(QStringLiteral("FollowView"));
  const Session& s = session_->session;
  setWindowTitle(QStringLiteral("Follow Connection - %1 \u2194 %2 (session %3)")
                     .arg(FromUtf8(s.initiator), FromUtf8(s.responder))
                     .arg(s.number));
  auto* layout = new QVBoxLayout(this);
  summary_ = new QLabel(Summary(*session_), this);
  summary_->setObjectName(QStringLiteral("Summary"));
  summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(summary_);

  auto* splitter = new QSplitter(Qt::Horizontal, this);
  text_ = new QTextEdit(splitter);
  text_->setObjectName(QStringLiteral("FollowText"));
  text_->setReadOnly(true);
  text_->setLineWrapMode(QTextEdit::NoWrap);
  text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  scroll_ = new QScrollArea(splitter);
  scroll_->setObjectName(QStringLiteral("TimelineArea"));
  timeline_ = new TimelineView();
  timeline_->SetSession(session_);
  scroll_->setWidget(timeline_);
  scroll_->setWidgetResizable(true);
  splitter->addWidget(text_);
  splitter->addWidget(scroll_);
  splitter->setStretchFactor(0, 3);
  splitter->setStretchFactor(1, 2);
  layout->addWidget(splitter, 1);
  connect(timeline_, &TimelineView::FrameClicked, this, &FollowView::FrameChosen);

  auto* row = new QHBoxLayout();
  auto* label = new QLabel(QStringLiteral("&Directions:"), this);
  directions_ = new QComboBox(this);
  directions_->setObjectName(QStringLiteral("Directions"));
  label->setBuddy(directions_);
  directions_->addItem(
      QStringLiteral("Both directions (%1 bytes)").arg(session_->bytes[0] + session_->bytes[1]));
  for (int d = 0; d < 2; ++d) {
    directions_->addItem(QStringLiteral("%1 \u2192 %2 (%3 bytes)")
                             .arg(FromUtf8(d == 0 ? s.initiator : s.responder),
                                  FromUtf8(d == 0 ? s.responder : s.initiator))
                             .arg(session_->bytes[static_cast<std::size_t>(d)]));
  }
  connect(directions_, &QComboBox::currentIndexChanged, this,
          [this](int) { ShowDirections(Which()); });
  row->addWidget(label);
  row->addWidget(directions_);
  row->addStretch(1);
  auto* save_text = new QPushButton(QStringLiteral("Save as &Text..."), this);
  save_text->setObjectName(QStringLiteral("SaveText"));
  save_text->setAutoDefault(false);
  connect(save_text, &QPushButton::clicked, this, &FollowView::MnuSaveText_Click);
  auto* save_raw = new QPushButton(QStringLiteral("Save &Raw..."), this);
  save_raw->setObjectName(QStringLiteral("SaveRaw"));
  save_raw->setAutoDefault(false);
  connect(save_raw, &QPushButton::clicked, this, &FollowView::MnuSaveRaw_Click);
  auto* close = new QPushButton(QStringLiteral("&Close"), this);
  close->setAutoDefault(false);
  connect(close, &QPushButton::clicked, this, &QDialog::close);
  row->addWidget(save_text);
  row->addWidget(save_raw);
  row->addWidget(close);
  layout->addLayout(row);
  ShowDirections(FollowDirections::kBoth);
  resize(1000, 640);
}

FollowDirections FollowView::Which() const {
  switch (directions_->currentIndex()) {
    case 1:
      return FollowDirections::kFromInitiator;
    case 2:
      return FollowDirections::kFromResponder;
    default:
      return FollowDirections::kBoth;
  }
}

void FollowView::ShowDirections(FollowDirections which) {
  const int index = which == FollowDirections::kFromInitiator   ? 1
                    : which == FollowDirections::kFromResponder ? 2
                                                                : 0;
  if (directions_->currentIndex() != index) {
    directions_->setCurrentIndex(index);  // shows them through its signal
    return;
  }
  text_->clear();
  QTextCursor cursor(text_->document());
  for (const TranscriptPiece& piece : FollowTranscript(*session_, which)) {
    QTextCharFormat format;
    const std::size_t d = piece.direction == 0 ? 0 : 1;
    format.setForeground(piece.mark ? kMark : kText[d]);
    format.setBackground(kBackground[d]);
    format.setFontItalic(piece.mark);
    cursor.insertText(FromUtf8(piece.text), format);
  }
  text_->moveCursor(QTextCursor::Start);
}

bool FollowView::Save(const std::string& path, std::string_view bytes) {
  std::string error;
  if (SaveFollowed(path, bytes, capture_path_, &error)) return true;
  if (error_reporter_) error_reporter_(FromUtf8(error));
  return false;
}

bool FollowView::SaveText(const std::string& path) {
  return Save(path, TranscriptText(FollowTranscript(*session_, Which())));
}

bool FollowView::SaveRaw(const std::string& path) {
  return Save(path, FollowBytes(*session_, Which()));
}

QString FollowView::Suggested(const char* extension) const {
  const QFileInfo capture(QFile::decodeName(QByteArray::fromStdString(capture_path_)));
  return capture.dir().filePath(QStringLiteral("%1-session-%2.%3")
                                    .arg(capture.completeBaseName())
                                    .arg(session_->session.number)
                                    .arg(QLatin1String(extension)));
}

void FollowView::MnuSaveText_Click() {
  const QString path =
      save_dialog_(this, QStringLiteral("Save Connection as Text"), Suggested("txt"));
  if (!path.isEmpty()) SaveText(QFile::encodeName(path).toStdString());
}

void FollowView::MnuSaveRaw_Click() {
  const QString path =
      save_dialog_(this, QStringLiteral("Save Connection as Raw Bytes"), Suggested("bin"));
  if (!path.isEmpty()) SaveRaw(QFile::encodeName(path).toStdString());
}

}  // namespace packscope
