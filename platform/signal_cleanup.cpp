#include "platform/signal_cleanup.h"

#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

namespace zepra {

namespace {

// A fixed table, so that the signal handler needs no allocation or lock.
constexpr int kSlots = 16;
enum SlotState { kFree, kFilling, kHeld };
struct Slot {
  std::atomic<int> state{kFree};
  char path[PATH_MAX];
};
Slot slots[kSlots];

// Signals whose default action ends the process and that can be caught.
constexpr int kEndingSignals[] = {SIGHUP,  SIGINT,    SIGQUIT, SIGILL,  SIGABRT,   SIGBUS,
                                  SIGFPE,  SIGUSR1,   SIGSEGV, SIGUSR2, SIGALRM,   SIGTERM,
                                  SIGSTKFLT, SIGXCPU, SIGVTALRM, SIGPROF, SIGIO, SIGPWR, SIGSYS};
struct sigaction previousActions[_NSIG];

void onEndingSignal(int signo) {
  const int savedErrno = errno;
  removeRegisteredFiles();
  // The signal takes the course it had before: blocked while this handler
  // runs, it is delivered again as soon as the handler returns.
  sigaction(signo, &previousActions[signo], nullptr);
  raise(signo);
  errno = savedErrno;
}

void catchSignal(int signo) {
  struct sigaction action {};
  action.sa_handler = onEndingSignal;
  sigfillset(&action.sa_mask);
  sigaction(signo, &action, &previousActions[signo]);
}

// Blocks every signal in the calling thread for the lifetime of the object,
// so that no handler interrupts a slot half filled by this thread.
class AllSignalsBlocked {
 public:
  AllSignalsBlocked() {
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &previous_);
  }
  ~AllSignalsBlocked() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

 private:
  sigset_t previous_{};
};

}  // namespace

void installSignalCleanup() {
  static std::once_flag once;
  std::call_once(once, [] {
    signal(SIGPIPE, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
    for (int signo : kEndingSignals) catchSignal(signo);
    for (int signo = SIGRTMIN; signo <= SIGRTMAX; ++signo) catchSignal(signo);
  });
}

void removeRegisteredFiles() {
  for (Slot& slot : slots) {
    // Another thread is filling the slot with signals blocked: it is done in a moment.
    while (slot.state.load() == kFilling) {
    }
    if (slot.state.load() == kHeld) unlink(slot.path);
  }
}

std::optional<RegisteredFile> createRegisteredFile(const std::filesystem::path& dir,
                                                   const std::string& prefix, std::string* error) {
  const std::string pattern = (dir / (prefix + "XXXXXX")).string();
  auto fail = [&](int code) -> std::optional<RegisteredFile> {
    if (error) *error = "cannot create a temporary file in " + dir.string() + ": " + std::strerror(code);
    return std::nullopt;
  };
  if (pattern.size() >= PATH_MAX) return fail(ENAMETOOLONG);

  AllSignalsBlocked blocked;
  for (int i = 0; i < kSlots; ++i) {
    int expected = kFree;
    if (!slots[i].state.compare_exchange_strong(expected, kFilling)) continue;
    std::memcpy(slots[i].path, pattern.c_str(), pattern.size() + 1);
    const int fd = mkstemp(slots[i].path);
    const int code = errno;
    if (fd < 0) {
      slots[i].state = kFree;
      return fail(code);
    }
    close(fd);
    RegisteredFile file{slots[i].path, i};
    slots[i].state = kHeld;
    return file;
  }
  // Every slot taken (many files at once): the file is still made, only its
  // owner removes it.
  std::string name = pattern;
  const int fd = mkstemp(name.data());
  if (fd < 0) return fail(errno);
  close(fd);
  return RegisteredFile{name, -1};
}

void unregisterFile(int slot) {
  if (slot >= 0 && slot < kSlots) slots[slot].state = kFree;
}

}  // namespace zepra
