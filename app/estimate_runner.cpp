#include "app/estimate_runner.h"

#include <QMetaObject>

namespace zepra {

EstimateRunner::EstimateRunner(SizeEstimator estimator, AnswerHandler onAnswer, QObject* parent)
    : QObject(parent), estimator_(std::move(estimator)), onAnswer_(std::move(onAnswer)) {}

EstimateRunner::~EstimateRunner() {
  held_ = true;
  stopThread();
}

void EstimateRunner::request(EstimateRequest request) {
  ++generation_;
  finished_ = false;
  waiting_ = std::move(request);
  // The running request is out of date: it stops at its next look.
  if (cancel_) cancel_->requestCancel();
  if (!thread_.joinable()) startNext();
}

void EstimateRunner::cancel() {
  ++generation_;
  finished_ = true;
  waiting_.reset();
  if (cancel_) cancel_->requestCancel();
}

void EstimateRunner::hold() {
  held_ = true;
  stopThread();
  // A request cut short runs again once the runner resumes.
  if (!finished_ && !waiting_ && running_) waiting_ = running_;
}

void EstimateRunner::resume() {
  held_ = false;
  if (!thread_.joinable()) startNext();
}

void EstimateRunner::stopThread() {
  if (cancel_) cancel_->requestCancel();
  if (thread_.joinable()) thread_.join();
}

void EstimateRunner::startNext() {
  if (held_ || !waiting_) return;
  running_ = std::move(waiting_);
  waiting_.reset();
  cancel_ = std::make_shared<CancelSource>();
  const std::uint64_t generation = generation_;
  const std::uint64_t serial = ++threadSerial_;
  // The thread has its own copies of everything it reads; it only posts.
  thread_ = std::thread([this, request = *running_, generation, serial, cancel = cancel_, estimator = estimator_] {
    auto post = [&](EstimateAnswer answer) {
      QMetaObject::invokeMethod(
          this, [this, generation, answer = std::move(answer)] { deliver(generation, answer); },
          Qt::QueuedConnection);
    };
    EstimateAnswer quick = estimator(request, EstimateDepth::kLength, *cancel);
    quick.final = !request.sample || !quick.estimate;
    const bool sampleNext = !quick.final;
    if (!cancel->cancelRequested()) post(std::move(quick));
    if (sampleNext && !cancel->cancelRequested()) {
      EstimateAnswer sampled = estimator(request, EstimateDepth::kSampled, *cancel);
      sampled.final = true;
      if (!cancel->cancelRequested()) post(std::move(sampled));
    }
    QMetaObject::invokeMethod(this, [this, serial] { threadEnded(serial); }, Qt::QueuedConnection);
  });
}

void EstimateRunner::deliver(std::uint64_t generation, const EstimateAnswer& answer) {
  if (generation != generation_ || held_) return;
  if (answer.final) finished_ = true;
  onAnswer_(answer);
}

void EstimateRunner::threadEnded(std::uint64_t serial) {
  // hold() may have joined this thread already and a later one may run now.
  if (!thread_.joinable() || serial != threadSerial_) return;
  thread_.join();
  startNext();
}

}  // namespace zepra
