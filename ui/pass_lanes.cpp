#include "ui/pass_lanes.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>

#include "qt/qt_text.h"

namespace packscope {
namespace {

constexpr int kTickMs = 40;

}  // namespace

PassLanes::PassLanes(QStatusBar* status, std::function<void(const std::string&)> report,
                     QObject* parent)
    : QObject(parent), report_(std::move(report)) {
  tick_ = new QTimer(this);
  tick_->setInterval(kTickMs);
  connect(tick_, &QTimer::timeout, this, &PassLanes::Tick);
  label_ = new QLabel(status);
  progress_ = new QProgressBar(status);
  progress_->setObjectName(QStringLiteral("TaskProgress"));
  progress_->setRange(0, 1000);
  progress_->setMaximumWidth(200);
  cancel_ = new QPushButton(QStringLiteral("Cancel"), status);
  cancel_->setObjectName(QStringLiteral("TaskCancel"));
  cancel_->setShortcut(Qt::Key_Escape);
  cancel_->setToolTip(QStringLiteral("Stop it (Escape)"));
  connect(cancel_, &QPushButton::clicked, this, [this] {
    for (const auto& t : tasks_) {
      if (t->job.Running()) t->job.Cancel();
    }
  });
  for (QWidget* w : std::initializer_list<QWidget*>{label_, progress_, cancel_}) {
    status->addPermanentWidget(w);
    w->hide();
  }
}

PassLanes::~PassLanes() { StopAll(); }

PassLanes::Task& PassLanes::TaskOf(int lane) {
  while (static_cast<int>(tasks_.size()) <= lane) tasks_.push_back(std::make_unique<Task>());
  return *tasks_[static_cast<std::size_t>(lane)];
}

void PassLanes::Start(int lane, std::string_view what, FrameListHost::Work work,
                      std::function<void()> done) {
  Task& task = TaskOf(lane);
  task.job.Start(std::move(work));
  task.done = std::move(done);
  task.what = FromUtf8(what);
  if (!tick_->isActive()) tick_->start();
  ShowProgress();
}

void PassLanes::Stop(int lane) {
  if (lane >= static_cast<int>(tasks_.size())) return;
  Task& task = TaskOf(lane);
  task.job.Cancel();
  task.job.Join();
  task.done = nullptr;
}

void PassLanes::StopAll() {
  for (int lane = 0; lane < static_cast<int>(tasks_.size()); ++lane) Stop(lane);
}

bool PassLanes::Running(int lane) const {
  return lane < static_cast<int>(tasks_.size()) &&
         tasks_[static_cast<std::size_t>(lane)]->job.Running();
}

bool PassLanes::Busy() const {
  return std::any_of(tasks_.begin(), tasks_.end(), [](const auto& t) { return t->job.Running(); });
}

void PassLanes::Tick() {
  if (while_reading_ && Running(kReadingLane) && !TaskOf(kReadingLane).job.Finished()) {
    while_reading_();
  }
  // A done may start passes on other lanes (tasks_ may grow): by index.
  for (std::size_t lane = 0; lane < tasks_.size(); ++lane) {
    Task& t = *tasks_[lane];
    if (!t.job.Running() || !t.job.Finished()) continue;
    t.job.Join();
    std::function<void()> done = std::move(t.done);
    t.done = nullptr;
    if (!t.job.Error().empty()) report_(t.job.Error());
    if (done) done();
  }
  ShowProgress();
  if (!Busy()) {
    tick_->stop();
#ifdef __GLIBC__
    // The passes' threads leave the memory they freed in arenas of their own; handed back now,
    // it does not add to what the next pass takes.
    malloc_trim(0);
#endif
  }
}

void MapLargeBlocksApart() {
#ifdef __GLIBC__
  mallopt(M_MMAP_THRESHOLD, 4 << 20);
#endif
}

void PassLanes::ShowProgress() {
  // The progress of the pass the user waits for: the rows, else the reading, else the others.
  const Task* shown = nullptr;
  for (int lane : {int{kRowsLane}, int{kReadingLane}}) {
    if (shown == nullptr && Running(lane)) shown = &TaskOf(lane);
  }
  for (const auto& t : tasks_) {
    if (shown == nullptr && t->job.Running()) shown = t.get();
  }
  for (QWidget* w : std::initializer_list<QWidget*>{label_, progress_, cancel_}) {
    w->setVisible(shown != nullptr);
  }
  if (shown == nullptr) return;
  label_->setText(shown->what + QStringLiteral("..."));
  const std::int64_t total = shown->job.Total();
  progress_->setValue(total > 0 ? static_cast<int>(1000 * shown->job.Done() / total) : 0);
}

}  // namespace packscope
