#include "platform/job_state.h"

#include <mutex>

namespace zepra {

std::atomic<NotifyWindow*> notifyWindow{nullptr};
std::atomic<bool> jobCancelled{false};
std::atomic<int> lastProgressSent{-1};

namespace {
std::mutex errorTextMutex;
std::string errorText;
}  // namespace

std::string lastErrorText() {
  std::lock_guard lock(errorTextMutex);
  return errorText;
}

void setLastErrorText(std::string text) {
  std::lock_guard lock(errorTextMutex);
  errorText = std::move(text);
}

void postDone(int result) {
  if (NotifyWindow* window = notifyWindow.load()) window->postDone(result);
}

void sendProgress(int permille) {
  if (NotifyWindow* window = notifyWindow.load()) window->sendProgress(permille);
}

void sendStatus(const std::string& text) {
  if (NotifyWindow* window = notifyWindow.load()) window->sendStatus(text);
}

void sendFrameTotal(std::uint64_t sourceFrames) {
  if (NotifyWindow* window = notifyWindow.load()) window->sendFrameTotal(sourceFrames);
}

void sendWarning(const std::string& text, WarningAdvice advice) {
  if (NotifyWindow* window = notifyWindow.load()) window->sendWarning(text, advice);
}

void resetJobState() {
  jobCancelled = false;
  setLastErrorText({});
}

}  // namespace zepra
