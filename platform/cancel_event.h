#pragma once
// The named cancel event: while a conversion runs, any process of the same
// user can ask it to stop by signalling the event by name. It behaves as an
// auto-reset event: a signal stays pending until one wait consumes it, and
// several signals before a wait count as one.
//
// Every running job has an event of its own under the user's name
// ("/ZepraAbortEvent-<uid>-<pid>-<n>"); a signal reaches all of them, so one
// job ending never takes the name from another that still runs.

#include <chrono>
#include <memory>
#include <string>

namespace zepra {

class CancelEvent {
 public:
  // Creates the event for the running job. Returns null (and says why in
  // error) when the platform refuses.
  static std::unique_ptr<CancelEvent> create(std::string* error = nullptr);
  ~CancelEvent();  // removes the name: signals sent afterwards do not find this job

  CancelEvent(const CancelEvent&) = delete;
  CancelEvent& operator=(const CancelEvent&) = delete;

  // Waits up to timeout; true when a signal arrived (and is consumed).
  bool waitFor(std::chrono::milliseconds timeout);

  // Signals the events of this user's running jobs; false when none runs.
  static bool signal();

  // "/ZepraAbortEvent-<uid>": the user's part of every job's event name, so
  // other users cannot reach them.
  static std::string name();

 private:
  CancelEvent(void* semaphore, std::string name) : semaphore_(semaphore), name_(std::move(name)) {}
  void* semaphore_;
  std::string name_;
};

}  // namespace zepra
