#pragma once
// Process-wide state of the one conversion job that runs at a time, and the
// notification interface through which the job reports to its front end.

#include <atomic>
#include <cstdint>
#include <string>

namespace zepra {

// Notification codes, as the dialog and the command-line tool know them.
inline constexpr int kNotifyDone = 100;      // posted: the job's result code
inline constexpr int kNotifyProgress = 101;  // sent: progress in permille
inline constexpr int kNotifyStatus = 102;    // sent: a status text

// The receiver of a job's notifications (the dialog window or the terminal).
// "Posted" returns at once, without waiting for the receiver; "sent" returns
// only after the receiver has handled the notification, so the sender sees
// its effect. Implementations are called from the worker and decoder threads.
// What a warning advises the user to do; each front end words it for its
// own control.
enum class WarningAdvice {
  kNone,
  kTargetOfLargestCartridge,  // a target size of 32 MiB keeps the image within a cartridge
};

class NotifyWindow {
 public:
  virtual ~NotifyWindow() = default;
  virtual void postDone(int result) = 0;
  virtual void sendProgress(int permille) = 0;
  virtual void sendStatus(const std::string& text) = 0;
  // Sent once the input's length in source frames is known, before the
  // first progress: progress permille is of this many frames. Receivers
  // that show only the permille ignore it.
  virtual void sendFrameTotal(std::uint64_t sourceFrames) { (void)sourceFrames; }
  // Sent before converting when the job goes on but the user should know a
  // risk (one line, no trailing full stop). Receivers may ignore it.
  virtual void sendWarning(const std::string& text, WarningAdvice advice = WarningAdvice::kNone) {
    (void)text;
    (void)advice;
  }
};

// The receiver of the running job; null when nobody listens.
extern std::atomic<NotifyWindow*> notifyWindow;
// Set by the decoding graph when it stops because of a cancel request.
extern std::atomic<bool> jobCancelled;
// Last progress value sent, -1 before the first; never reset, so a value is
// sent only when it changes, across jobs too.
extern std::atomic<int> lastProgressSent;

// Detail of the last failure, shown beneath the failure message.
std::string lastErrorText();
void setLastErrorText(std::string text);

// Forward to notifyWindow when one is set; do nothing otherwise.
void postDone(int result);
void sendProgress(int permille);
void sendStatus(const std::string& text);
void sendFrameTotal(std::uint64_t sourceFrames);
void sendWarning(const std::string& text, WarningAdvice advice = WarningAdvice::kNone);

// Clears the flags a front end resets before it starts a job.
void resetJobState();

}  // namespace zepra
