// PassLanes: the frame list window's worker threads, one BackgroundJob per lane of the frame
// list's passes (framelist/frame_list.h), and the status line's part of them: what runs, its
// progress and a Cancel (Escape). A timer looks at the jobs; a job that ended is joined and its
// done called on the window's thread.
#ifndef PACKSCOPE_UI_PASS_LANES_H_
#define PACKSCOPE_UI_PASS_LANES_H_

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framelist/frame_list.h"
#include "ui/background_job.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTimer;

namespace packscope {

class PassLanes : public QObject {
  Q_OBJECT

 public:
  // The status line's widgets go into status; errors (a job that threw) to report.
  PassLanes(QStatusBar* status, std::function<void(const std::string&)> report,
            QObject* parent = nullptr);
  ~PassLanes() override;

  void Start(int lane, std::string_view what, FrameListHost::Work work, std::function<void()> done);
  // Cancels the job on lane, waits for it and drops its done.
  void Stop(int lane);
  void StopAll();
  bool Running(int lane) const;
  bool Busy() const;
  // Called at each look while the reading lane's job runs.
  void SetWhileReading(std::function<void()> call) { while_reading_ = std::move(call); }
  // Looks at the jobs now (the timer does every 40 ms while one runs).
  void Tick();

 private:
  struct Task {
    BackgroundJob job;
    std::function<void()> done;
    QString what;  // for the status line: "Reading", "Filtering" ...
  };
  Task& TaskOf(int lane);
  void ShowProgress();

  std::vector<std::unique_ptr<Task>> tasks_;  // by lane
  std::function<void(const std::string&)> report_;
  std::function<void()> while_reading_;
  QTimer* tick_ = nullptr;
  QLabel* label_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

// Has every allocation of 4 MB and more mapped on its own, so that freeing it hands it back to
// the system at once. (glibc raises that bound, up to 32 MB, as large blocks are freed, and then
// keeps such blocks in its heaps, where the big passes' rows, keys and texts stayed, some 25 MB
// at the peak of a sort of millions of rows.) The program calls it once at start, and so do the
// benchmarks of its windows.
void MapLargeBlocksApart();

}  // namespace packscope

#endif  // PACKSCOPE_UI_PASS_LANES_H_
