#pragma once
// The named cancel event: while a conversion runs, any process of the same
// user can ask it to stop by signalling the event by name. It behaves as an
// auto-reset event: a signal stays pending until one wait consumes it, and
// several signals before a wait count as one.

#include <chrono>
#include <memory>
#include <string>

namespace zepra {

class CancelEvent {
 public:
  // Creates the event for the running job, clearing any stale signal.
  // Returns null (and says why in error) when the platform refuses.
  static std::unique_ptr<CancelEvent> create(std::string* error = nullptr);
  ~CancelEvent();  // removes the name: signals sent afterwards find no job

  CancelEvent(const CancelEvent&) = delete;
  CancelEvent& operator=(const CancelEvent&) = delete;

  // Waits up to timeout; true when a signal arrived (and is consumed).
  bool waitFor(std::chrono::milliseconds timeout);

  // Signals the event of this user's running job; false when none runs.
  static bool signal();

  // "/ZepraAbortEvent-<uid>": scoped to the user, so other users cannot reach it.
  static std::string name();

 private:
  explicit CancelEvent(void* semaphore) : semaphore_(semaphore) {}
  void* semaphore_;
};

}  // namespace zepra
