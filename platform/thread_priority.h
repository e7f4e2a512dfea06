#pragma once
// Lowers the calling thread to idle priority for the lifetime of the object,
// so a conversion never slows the desktop; the previous priority comes back
// when it ends. Best effort: a platform that refuses a step is left as it is.

namespace zepra {

class IdlePriority {
 public:
  IdlePriority();
  ~IdlePriority();
  IdlePriority(const IdlePriority&) = delete;
  IdlePriority& operator=(const IdlePriority&) = delete;

 private:
  int oldNice_;
  int oldPolicy_;
};

}  // namespace zepra
