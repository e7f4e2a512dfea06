#pragma once
// The dialog's end of a job's notifications. The job calls it from its own
// threads; every notification is handled on the thread that owns this object
// (the dialog's). Progress and status are delivered while their sender waits;
// the completion is queued and its sender goes on at once.

#include <QObject>

#include <functional>

#include "platform/job_state.h"

namespace zepra {

// The dialog's code for a warning of the job (text: the warning).
inline constexpr int kNotifyWarning = kNotifyStatus + 1;

class JobNotifier final : public QObject, public NotifyWindow {
 public:
  // handler(code, value, text): code is kNotifyDone, kNotifyProgress or
  // kNotifyStatus or kNotifyWarning; value the result code or the permille;
  // text the status or the warning.
  using Handler = std::function<void(int code, int value, const QString& text)>;

  explicit JobNotifier(Handler handler, QObject* parent = nullptr);

  void postDone(int result) override;
  void sendProgress(int permille) override;
  void sendStatus(const std::string& text) override;
  void sendWarning(const std::string& text, WarningAdvice advice = WarningAdvice::kNone) override;

 private:
  void sendAndWait(int code, int value, const QString& text);
  Handler handler_;
};

}  // namespace zepra
