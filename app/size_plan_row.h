#pragma once
// The dialog's size planning beside the bitrate: a target cartridge size, the
// "Two-pass" box and the line that estimates the image. The line follows the
// settings on screen as they change; the input is read off the dialog's
// thread (EstimateRunner), so the dialog never waits for it.
//
// With a target size chosen the bitrate follows from it: the bitrate field
// shows what the target amounts to and takes no typing, and two passes are
// implied.

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "app/estimate_runner.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QTimer;

namespace zepra {

class SizePlanRow final : public QObject {
 public:
  // The settings and videos as the controls hold them now, read without
  // prompting; nothing while a field holds an invalid value.
  using SettingsOnScreen = std::function<std::optional<EstimateRequest>()>;

  // bitrateEdit: the dialog's bitrate field. The row's widgets are children
  // of parent; the dialog places them.
  SizePlanRow(QWidget* parent, QLineEdit* bitrateEdit, SettingsOnScreen settingsOnScreen);

  QComboBox* targetBox() const { return targetBox_; }
  QCheckBox* twoPassBox() const { return twoPassBox_; }
  QLabel* estimateLine() const { return line_; }

  // Copies the target and the two-pass choice into job, and back.
  void readInto(ConversionJob& job) const;
  void show(const ConversionJob& job);

  // Some setting on screen may have changed: the line is worked out again
  // shortly, once the typing has paused.
  void settingsChanged();

  // While a job runs no estimate runs (the job owns the process-wide job
  // state) and the row's controls are disabled; afterwards an estimate cut
  // short runs again.
  void setJobRunning(bool running);
  // A warning of the running job: the line shows it until the next estimate.
  void showWarning(const QString& text);

  // The job's refusal when the target chosen cannot hold the video on screen,
  // as far as the latest figures tell.
  std::optional<QString> targetRefusal() const;

  // Replaces the job library's figures (tests); call before any estimate.
  void setEstimator(SizeEstimator estimator);

 private:
  void onTargetChosen();
  void applyRules();
  void startEstimate();
  void onAnswer(const EstimateAnswer& answer);
  void setLine(const QString& text, bool error);
  std::uint64_t chosenTarget() const;

  QLineEdit* bitrateEdit_;
  SettingsOnScreen settingsOnScreen_;
  QComboBox* targetBox_;
  QCheckBox* twoPassBox_;
  QLabel* line_;
  QTimer* pause_;
  std::unique_ptr<EstimateRunner> runner_;

  std::optional<EstimateRequest> requested_;  // the settings the line is about
  bool haveFigures_ = false;                  // the line shows figures of requested_
  std::optional<EstimateAnswer> latest_;
  // What the user had before a target took over the bitrate and two passes.
  QString ownBitrate_;
  bool ownTwoPass_ = false;
  std::uint64_t shownTarget_ = 0;
  bool jobRunning_ = false;
};

}  // namespace zepra
