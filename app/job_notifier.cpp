#include "app/job_notifier.h"

#include <QThread>

namespace zepra {

JobNotifier::JobNotifier(Handler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)) {}

void JobNotifier::postDone(int result) {
  QMetaObject::invokeMethod(
      this, [this, result] { handler_(kNotifyDone, result, {}); }, Qt::QueuedConnection);
}

void JobNotifier::sendProgress(int permille) { sendAndWait(kNotifyProgress, permille, {}); }

void JobNotifier::sendStatus(const std::string& text) {
  sendAndWait(kNotifyStatus, 0, QString::fromStdString(text));
}

void JobNotifier::sendWarning(const std::string& text, WarningAdvice advice) {
  QString line = QString::fromStdString(text);
  if (advice == WarningAdvice::kTargetOfLargestCartridge) line += QStringLiteral(" (choosing 32 MiB under \"Fit to\" keeps it within)");
  sendAndWait(kNotifyWarning, 0, line);
}

void JobNotifier::sendAndWait(int code, int value, const QString& text) {
  // A sender on the receiving thread itself would wait for itself forever.
  if (QThread::currentThread() == thread()) {
    handler_(code, value, text);
    return;
  }
  QMetaObject::invokeMethod(
      this, [this, code, value, text] { handler_(code, value, text); },
      Qt::BlockingQueuedConnection);
}

}  // namespace zepra
