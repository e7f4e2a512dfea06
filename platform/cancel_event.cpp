#include "platform/cancel_event.h"

#include <fcntl.h>
#include <semaphore.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>

namespace zepra {

namespace {

// Where the C library keeps named semaphores: "/name" is "/dev/shm/sem.name".
constexpr const char* kSemaphoreFolder = "/dev/shm";
constexpr const char* kSemaphoreFilePrefix = "sem.";

sem_t* asSemaphore(void* p) { return static_cast<sem_t*>(p); }

// The running process that made an event, from the pid in its name; 0 when
// the name has none.
pid_t creatorOf(const std::string& eventName) {
  const std::string head = CancelEvent::name() + "-";
  if (eventName.rfind(head, 0) != 0) return 0;
  return static_cast<pid_t>(std::atol(eventName.c_str() + head.size()));
}

// Posts the event unless a signal is already pending (one request is enough).
bool post(const std::string& eventName) {
  sem_t* sem = sem_open(eventName.c_str(), 0);
  if (sem == SEM_FAILED) return false;
  int value = 0;
  bool ok = sem_getvalue(sem, &value) == 0 && (value > 0 || sem_post(sem) == 0);
  sem_close(sem);
  return ok;
}

}  // namespace

std::string CancelEvent::name() { return "/ZepraAbortEvent-" + std::to_string(getuid()); }

std::unique_ptr<CancelEvent> CancelEvent::create(std::string* error) {
  static std::atomic<unsigned> counter{0};
  const std::string eventName =
      name() + "-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
  sem_unlink(eventName.c_str());  // left by an earlier process with our pid, long gone
  sem_t* sem = sem_open(eventName.c_str(), O_CREAT | O_EXCL, 0600, 0);
  if (sem == SEM_FAILED) {
    if (error) *error = "cannot create the cancel event " + eventName + ": " + std::strerror(errno);
    return nullptr;
  }
  return std::unique_ptr<CancelEvent>(new CancelEvent(sem, eventName));
}

CancelEvent::~CancelEvent() {
  sem_close(asSemaphore(semaphore_));
  sem_unlink(name_.c_str());
}

bool CancelEvent::waitFor(std::chrono::milliseconds timeout) {
  timespec deadline{};
  clock_gettime(CLOCK_REALTIME, &deadline);
  const long long ns = deadline.tv_nsec + static_cast<long long>(timeout.count()) * 1000000LL;
  deadline.tv_sec += static_cast<time_t>(ns / 1000000000LL);
  deadline.tv_nsec = static_cast<long>(ns % 1000000000LL);
  while (sem_timedwait(asSemaphore(semaphore_), &deadline) != 0) {
    if (errno != EINTR) return false;
  }
  // Several signals before this wait count as one.
  while (sem_trywait(asSemaphore(semaphore_)) == 0) {
  }
  return true;
}

bool CancelEvent::signal() {
  const std::string filePrefix = kSemaphoreFilePrefix + name().substr(1) + "-";
  bool reached = false;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(kSemaphoreFolder, ec)) {
    const std::string file = entry.path().filename().string();
    if (file.rfind(filePrefix, 0) != 0) continue;
    // Only our own events: a file another user placed under our name is ignored.
    struct stat st {};
    if (lstat(entry.path().c_str(), &st) != 0 || st.st_uid != getuid() || !S_ISREG(st.st_mode)) continue;
    const std::string eventName = "/" + file.substr(std::strlen(kSemaphoreFilePrefix));
    const pid_t creator = creatorOf(eventName);
    if (creator > 0 && kill(creator, 0) != 0 && errno == ESRCH) {
      sem_unlink(eventName.c_str());  // its job died without removing it
      continue;
    }
    reached = post(eventName) || reached;
  }
  return reached;
}

}  // namespace zepra
