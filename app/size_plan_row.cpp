#include "app/size_plan_row.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>

#include "app/estimate_line.h"
#include "job/image_size_range.h"

namespace zepra {

namespace {

// Typing a bitrate changes the settings at every key; the line waits for a
// pause this long before it reads the input again.
constexpr int kTypingPauseMs = 250;

const QColor kErrorColour(192, 0, 0);

// The request as the estimate sees it: only what changes the figures. With
// a target the bitrate field follows the answer, so it must not count.
EstimateRequest normalised(EstimateRequest request) {
  request.job.inputPath.clear();
  request.job.outputPath.clear();
  request.job.romTitle.clear();
  std::erase_if(request.inputs, [](const std::string& input) { return input.empty(); });
  request.sample = request.job.fitBytes == 0;
  if (request.job.fitBytes != 0) request.job.bitrate = kBitrateRange.max;
  return request;
}

}  // namespace

SizePlanRow::SizePlanRow(QWidget* parent, QLineEdit* bitrateEdit, SettingsOnScreen settingsOnScreen)
    : QObject(parent),
      bitrateEdit_(bitrateEdit),
      settingsOnScreen_(std::move(settingsOnScreen)),
      targetBox_(new QComboBox(parent)),
      twoPassBox_(new QCheckBox(QStringLiteral("Two-pass"), parent)),
      line_(new QLabel(parent)),
      pause_(new QTimer(this)) {
  targetBox_->addItem(QStringLiteral("No target"));
  for (const std::uint64_t size : kCartridgeSizes) targetBox_->addItem(QStringLiteral("%1 MiB").arg(size / kMiB));
  line_->setWordWrap(true);
  line_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  pause_->setSingleShot(true);
  pause_->setInterval(kTypingPauseMs);
  connect(pause_, &QTimer::timeout, this, [this] { startEstimate(); });
  connect(targetBox_, &QComboBox::activated, this, [this] { onTargetChosen(); });
  connect(twoPassBox_, &QCheckBox::toggled, this, [this] { settingsChanged(); });
  setEstimator(jobSizeEstimator());
}

void SizePlanRow::setEstimator(SizeEstimator estimator) {
  runner_ = std::make_unique<EstimateRunner>(std::move(estimator),
                                             [this](const EstimateAnswer& answer) { onAnswer(answer); });
  requested_.reset();
}

std::uint64_t SizePlanRow::chosenTarget() const {
  const int index = targetBox_->currentIndex();
  return index <= 0 ? 0 : kCartridgeSizes[static_cast<std::size_t>(index - 1)];
}

void SizePlanRow::readInto(ConversionJob& job) const {
  job.fitBytes = chosenTarget();
  job.twoPass = twoPassBox_->isChecked();
}

void SizePlanRow::show(const ConversionJob& job) {
  const auto size = std::find(kCartridgeSizes.begin(), kCartridgeSizes.end(), job.fitBytes);
  targetBox_->setCurrentIndex(size == kCartridgeSizes.end() ? 0 : 1 + static_cast<int>(size - kCartridgeSizes.begin()));
  shownTarget_ = chosenTarget();
  twoPassBox_->setChecked(job.twoPass);
  applyRules();
}

void SizePlanRow::onTargetChosen() {
  const std::uint64_t target = chosenTarget();
  if (shownTarget_ == 0 && target != 0) {
    ownBitrate_ = bitrateEdit_->text();
    ownTwoPass_ = twoPassBox_->isChecked();
  } else if (shownTarget_ != 0 && target == 0) {
    bitrateEdit_->setText(ownBitrate_);
    twoPassBox_->setChecked(ownTwoPass_);
  }
  shownTarget_ = target;
  applyRules();
  settingsChanged();
}

void SizePlanRow::applyRules() {
  const bool target = chosenTarget() != 0;
  bitrateEdit_->setReadOnly(target);
  if (target) twoPassBox_->setChecked(true);
  twoPassBox_->setEnabled(!target && !jobRunning_);
  targetBox_->setEnabled(!jobRunning_);
}

void SizePlanRow::settingsChanged() {
  if (!jobRunning_) pause_->start();
}

void SizePlanRow::startEstimate() {
  std::optional<EstimateRequest> request = settingsOnScreen_();
  if (request) request = normalised(std::move(*request));
  if (!request || request->inputs.empty()) {
    runner_->cancel();
    requested_.reset();
    latest_.reset();
    haveFigures_ = false;
    setLine({}, false);
    return;
  }
  if (requested_ == request) return;
  requested_ = request;
  latest_.reset();
  haveFigures_ = false;
  setLine(QStringLiteral("Estimating the size..."), false);
  runner_->request(std::move(*request));
}

void SizePlanRow::onAnswer(const EstimateAnswer& answer) {
  if (!requested_) return;
  // A sample that fails after the quick figures leaves them standing.
  if (!answer.estimate && haveFigures_) {
    line_->setToolTip(QString::fromStdString(answer.problem));
    return;
  }
  latest_ = answer;
  haveFigures_ = answer.estimate.has_value();
  if (haveFigures_ && chosenTarget() != 0 && answer.targetBitrate > 0)
    bitrateEdit_->setText(QString::number(answer.targetBitrate));
  const EstimateLine line = describeEstimate(answer, requested_->job.fitBytes);
  setLine(line.text, line.error);
  line_->setToolTip(QString::fromStdString(answer.problem));
}

void SizePlanRow::setLine(const QString& text, bool error) {
  line_->setText(text);
  QPalette palette = line_->parentWidget()->palette();
  if (error) palette.setColor(QPalette::WindowText, kErrorColour);
  line_->setPalette(palette);
}

void SizePlanRow::setJobRunning(bool running) {
  jobRunning_ = running;
  if (running) {
    pause_->stop();
    runner_->hold();
  } else {
    runner_->resume();
  }
  applyRules();
}

void SizePlanRow::showWarning(const QString& text) { setLine(QStringLiteral("Warning: ") + text, false); }

std::optional<QString> SizePlanRow::targetRefusal() const {
  std::optional<EstimateRequest> request = settingsOnScreen_();
  if (!request || !latest_ || !requested_ || latest_->targetRefusal.empty()) return std::nullopt;
  if (normalised(std::move(*request)) != *requested_) return std::nullopt;
  return QString::fromStdString(latest_->targetRefusal);
}

}  // namespace zepra
