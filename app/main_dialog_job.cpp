// The dialog's side of a running job: start, cancel, progress, status and
// the outcome. The worker thread never touches a widget; everything it says
// reaches this thread through the JobNotifier.

#include <QCloseEvent>
#include <QCoreApplication>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>
#include <chrono>
#include <thread>

#include "app/control_ids.h"
#include "app/dialog_services.h"
#include "app/job_notifier.h"
#include "app/job_outcome.h"
#include "app/main_dialog.h"
#include "app/size_plan_row.h"
#include "app/video_list.h"
#include "platform/job_state.h"
#include "platform/thread_priority.h"

namespace zepra {

void MainDialog::setJobControlsEnabled(bool enabled) {
  for (int id : ids::kJobControls) controls_.at(id)->setEnabled(enabled);
  // Stops a size estimate before the job starts: both use the process-wide
  // job state.
  sizePlan_->setJobRunning(!enabled);
  videoList_->setEnabled(enabled);
  if (enabled) applyInputRules();
}

void MainDialog::startJob() {
  setJobControlsEnabled(false);
  exitButton_->setText(QStringLiteral(" Cancel"));
  notifyWindow = notifier_;
  resetJobState();
  lastShownPercent_ = -1;

  // The previous worker posted its end before it returned; it is gone by now.
  if (jobThread_.joinable()) jobThread_.join();
  jobRunning_ = true;
  workerFinished_ = false;
  cancel_ = std::make_shared<CancelSource>();
  // Several videos make a cartridge with a menu; one is converted as ever.
  std::vector<CartridgeInput> cartridge;
  if (videoList_->makesCartridge()) cartridge = videoList_->inputs();
  jobThread_ = std::thread([this, runner = runner_, cartridgeRunner = cartridgeRunner_, job = job_,
                            cartridge = std::move(cartridge), cancel = cancel_] {
    {
      IdlePriority idle;
      // Each posts its end itself and never throws.
      if (cartridge.empty())
        runner(job, *cancel);
      else
        cartridgeRunner(job, cartridge, *cancel);
    }
    workerFinished_ = true;
  });
}

void MainDialog::onCancel() {
  if (jobRunning_) {
    // The job stops at its next look at the request and reports through its
    // own end; a request after its image is in place changes nothing.
    cancel_->requestCancel();
    return;
  }
  done(0);
}

void MainDialog::reject() { onCancel(); }

void MainDialog::closeEvent(QCloseEvent* event) {
  if (jobRunning_) {
    event->ignore();
    onCancel();
    return;
  }
  QDialog::closeEvent(event);
}

void MainDialog::onJobMessage(int code, int value, const QString& text) {
  if (closing_) return;
  switch (code) {
    case kNotifyStatus:
      setWindowTitle(QStringLiteral("%1 - ZEPRA").arg(text));
      break;
    case kNotifyProgress: {
      // Repeated frames can run past the announced length; the bar and the
      // title stop at full.
      const int permille = std::clamp(value, 0, 1000);
      progressBar_->setValue(permille);
      const int percent = permille / 10;
      if (percent != lastShownPercent_) {
        setWindowTitle(QStringLiteral("%1% - Working - ZEPRA").arg(percent));
        lastShownPercent_ = percent;
      }
      writeControls();
      break;
    }
    case kNotifyWarning:
      sizePlan_->showWarning(text);
      break;
    case kNotifyDone:
      if (jobRunning_) finishJob(value);
      break;
    default:
      break;
  }
}

void MainDialog::finishJob(int resultCode) {
  const JobOutcome outcome = describeOutcome(jobCancelled, resultCode, lastErrorText());
  if (outcome.beepOnly) {
    services_->beep();
  } else {
    services_->showMessage(this, QMessageBox::Critical, outcome.caption, outcome.text,
                           QMessageBox::Ok, QMessageBox::Ok);
  }
  jobRunning_ = false;
  // Between jobs nobody listens: a size estimate's encoders must not reach
  // the dialog as if they were a job's.
  NotifyWindow* ours = notifier_;
  notifyWindow.compare_exchange_strong(ours, nullptr);
  setWindowTitle(QStringLiteral("ZEPRA"));
  progressBar_->setValue(0);
  writeControls();
  setJobControlsEnabled(true);
  exitButton_->setText(QStringLiteral("  Exit"));
  onPresetMode();
}

MainDialog::~MainDialog() {
  closing_ = true;
  // Only an abnormal end leaves a job running: ask it to stop and serve its
  // notifications until it is gone, since its sender waits for each one.
  if (cancel_) cancel_->requestCancel();
  while (!workerFinished_) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (jobThread_.joinable()) jobThread_.join();
  NotifyWindow* ours = notifier_;
  notifyWindow.compare_exchange_strong(ours, nullptr);
}

}  // namespace zepra
