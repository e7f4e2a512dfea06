#pragma once
// Works out the size figures of the dialog's settings off the dialog's thread.
// Reading an input can take a while (the likely size decodes most of it), so
// every request runs on a thread of its own, one at a time: a newer request
// stops the running one and takes its place, and answers of a request that
// has been superseded are dropped, never shown.

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "job/conversion_job.h"
#include "job/size_estimate.h"
#include "platform/cancel_source.h"

namespace zepra {

// What the figures are asked for: the settings and the videos they apply to.
struct EstimateRequest {
  ConversionJob job;
  std::vector<std::string> inputs;
  bool sample = true;  // also the likely size, after the quick figures

  bool operator==(const EstimateRequest&) const = default;
};

// The figures of one request at one depth.
struct EstimateAnswer {
  std::optional<SizeEstimate> estimate;  // nothing when the input cannot be read
  std::string problem;                   // why not, when nothing
  // With a target size: the bitrate it amounts to (0 when not known), the
  // most the image can then weigh, whether that fills the target (else even
  // the highest bitrate stays below it) and, when the target cannot hold the
  // video at all, the job's refusal.
  int targetBitrate = 0;
  // Several videos share the target, each at its own bitrate: targetBitrate
  // is the lowest of them and this the highest (0 for one video); the line
  // then also gives the likely size.
  int targetBitrateHighest = 0;
  std::uint64_t targetImageBytes = 0;
  bool targetFilled = false;
  std::string targetRefusal;
  bool final = false;  // no further answer follows for this request
};

// Computes the figures; runs on a worker thread, so it reads and writes no
// widget. It stops early when cancel asks it to.
using SizeEstimator =
    std::function<EstimateAnswer(const EstimateRequest&, EstimateDepth, const CancelSource& cancel)>;

// The real figures, from the job library.
SizeEstimator jobSizeEstimator();

class EstimateRunner final : public QObject {
 public:
  using AnswerHandler = std::function<void(const EstimateAnswer&)>;

  // Answers reach onAnswer on the thread that owns the runner.
  EstimateRunner(SizeEstimator estimator, AnswerHandler onAnswer, QObject* parent = nullptr);
  // Stops the running request and waits for its thread.
  ~EstimateRunner() override;

  // Runs this request in place of any earlier one.
  void request(EstimateRequest request);
  // Drops the latest request: it stops, and nothing of it is answered.
  void cancel();
  // Stops the running request and waits until its thread has ended: nothing
  // runs until resume(), which runs the last request again if it had not
  // finished.
  void hold();
  void resume();

  bool busy() const { return thread_.joinable(); }

 private:
  void startNext();
  void deliver(std::uint64_t generation, const EstimateAnswer& answer);
  void threadEnded(std::uint64_t serial);
  void stopThread();

  SizeEstimator estimator_;
  AnswerHandler onAnswer_;
  std::optional<EstimateRequest> waiting_;  // to run once the thread is free
  std::optional<EstimateRequest> running_;
  std::uint64_t generation_ = 0;  // of the latest request; older answers are stale
  std::uint64_t threadSerial_ = 0;  // of the latest thread started
  bool finished_ = true;          // the latest request has had its final answer
  bool held_ = false;
  std::thread thread_;
  std::shared_ptr<CancelSource> cancel_;
};

}  // namespace zepra
