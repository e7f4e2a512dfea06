#include "platform/cancel_event.h"

#include <fcntl.h>
#include <semaphore.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace zepra {

namespace {

sem_t* asSemaphore(void* p) { return static_cast<sem_t*>(p); }

// A semaphore under our name that another user created would let that user
// cancel our jobs: only accept one that belongs to us.
bool ownedByUs(const std::string& name) {
  struct stat st {};
  std::string path = "/dev/shm/sem." + name.substr(1);
  if (stat(path.c_str(), &st) != 0) return true;  // not on /dev/shm: nothing to check
  return st.st_uid == getuid();
}

}  // namespace

std::string CancelEvent::name() { return "/ZepraAbortEvent-" + std::to_string(getuid()); }

std::unique_ptr<CancelEvent> CancelEvent::create(std::string* error) {
  const std::string n = name();
  sem_t* sem = sem_open(n.c_str(), O_CREAT, 0600, 0);
  if (sem == SEM_FAILED || !ownedByUs(n)) {
    if (error) *error = "cannot create the cancel event " + n + ": " + std::strerror(errno);
    if (sem != SEM_FAILED) sem_close(sem);
    return nullptr;
  }
  while (sem_trywait(sem) == 0) {
  }  // a signal left from an earlier job is not meant for this one
  return std::unique_ptr<CancelEvent>(new CancelEvent(sem));
}

CancelEvent::~CancelEvent() {
  sem_close(asSemaphore(semaphore_));
  sem_unlink(name().c_str());
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
  const std::string n = name();
  sem_t* sem = sem_open(n.c_str(), 0);
  if (sem == SEM_FAILED) return false;
  bool ok = ownedByUs(n);
  int value = 0;
  if (ok && sem_getvalue(sem, &value) == 0 && value == 0) ok = sem_post(sem) == 0;
  sem_close(sem);
  return ok;
}

}  // namespace zepra
