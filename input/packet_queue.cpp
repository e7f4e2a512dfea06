#include "input/packet_queue.h"

namespace zepra {

bool PacketQueue::push(PacketPtr packet) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return aborted_ || packets_.size() < capacity_; });
  if (aborted_) return false;
  packets_.push_back(std::move(packet));
  changed_.notify_all();
  return true;
}

PacketPtr PacketQueue::pop() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return aborted_ || finished_ || !packets_.empty(); });
  if (aborted_ || packets_.empty()) return nullptr;
  PacketPtr packet = std::move(packets_.front());
  packets_.pop_front();
  changed_.notify_all();
  return packet;
}

void PacketQueue::finish() {
  std::lock_guard lock(mutex_);
  finished_ = true;
  changed_.notify_all();
}

void PacketQueue::abort() {
  std::lock_guard lock(mutex_);
  aborted_ = true;
  packets_.clear();
  changed_.notify_all();
}

}  // namespace zepra
