#include "platform/thread_priority.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

namespace zepra {

namespace {
// On Linux the nice value of PRIO_PROCESS with a thread id is per thread.
id_t threadId() { return static_cast<id_t>(syscall(SYS_gettid)); }
}  // namespace

IdlePriority::IdlePriority() {
  errno = 0;
  oldNice_ = getpriority(PRIO_PROCESS, threadId());
  if (errno != 0) oldNice_ = 0;
  oldPolicy_ = sched_getscheduler(0);
  setpriority(PRIO_PROCESS, threadId(), 19);
  sched_param param{};
  pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);
}

IdlePriority::~IdlePriority() {
  sched_param param{};
  if (oldPolicy_ >= 0) pthread_setschedparam(pthread_self(), oldPolicy_, &param);
  setpriority(PRIO_PROCESS, threadId(), oldNice_);
}

}  // namespace zepra
