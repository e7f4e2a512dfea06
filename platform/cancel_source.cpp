#include "platform/cancel_source.h"

namespace zepra {

bool CancelSource::requestCancel() {
  int expected = kRunning;
  return state_.compare_exchange_strong(expected, kCancelRequested) || expected == kCancelRequested;
}

bool CancelSource::cancelRequested() const { return state_.load() == kCancelRequested; }

bool CancelSource::passLastCancelPoint() {
  int expected = kRunning;
  return state_.compare_exchange_strong(expected, kPastLastPoint) || expected == kPastLastPoint;
}

}  // namespace zepra
