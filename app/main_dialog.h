#pragma once
// The program's one window: it collects the settings of a conversion, keeps
// the option controls consistent, checks the settings, and runs one job at a
// time on a worker thread while it shows the job's progress and outcome.
//
// The dialog is a front end only: the conversion itself is the job runner's.

#include <QDialog>

#include <array>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <thread>
#include <vector>

#include "job/cartridge_job.h"
#include "job/conversion_job.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace zepra {

class DialogServices;
class DropFileEdit;
class JobNotifier;
class LinkStatic;
class SizePlanRow;
struct EstimateRequest;
class VideoList;

// Runs one job on the calling thread and reports through the process-wide
// notifyWindow, ending with exactly one postDone; never throws. The job
// stops when its cancel source asks it to.
using JobRunner = std::function<int(const ConversionJob&, CancelSource& cancel)>;

// Runs a cartridge of several videos as JobRunner runs one video.
using CartridgeRunner =
    std::function<int(const ConversionJob&, std::span<const CartridgeInput> videos, CancelSource& cancel)>;

// The real conversion (runConversionJob with the FFmpeg decoding graph).
JobRunner conversionJobRunner();
// The real cartridge of several videos (runCartridgeJob).
CartridgeRunner cartridgeJobRunner();

class MainDialog : public QDialog {
 public:
  // services: message boxes, file dialogs and the beep; null for the desktop's.
  // runner converts one video, cartridgeRunner the list of several.
  explicit MainDialog(JobRunner runner = conversionJobRunner(), DialogServices* services = nullptr,
                      QWidget* parent = nullptr, CartridgeRunner cartridgeRunner = cartridgeJobRunner());
  ~MainDialog() override;

  // The settings as last exchanged with the controls.
  const ConversionJob& settings() const { return job_; }
  Preset presetMode() const { return presetMode_; }
  bool jobRunning() const { return jobRunning_; }

  // The target size, the two-pass box and the size estimate beside the bitrate.
  SizePlanRow* sizePlan() const { return sizePlan_; }
  // The videos the next job converts: the list's when it holds several,
  // else the input field's one as last read (none while that is empty).
  std::vector<CartridgeInput> videos() const;
  // The list of a cartridge's videos; its videosChanged() tells of every change.
  VideoList* videoList() const { return videoList_; }

  // The control with this id (also its object name), or null.
  QWidget* control(int id) const;

  // Puts the file the program was started with (by the desktop's "open
  // with", say) into the input field, as a file dropped there would be.
  void takeInputFile(const QString& path);
  // One file as takeInputFile; several fill the list of a cartridge's videos.
  void takeInputFiles(const QStringList& paths);

  // Copies every control into its member, checking each in turn; at the first
  // invalid one it prompts, puts the focus there and fails, leaving the
  // members unchanged.
  bool readControls();
  // Copies every member into its control.
  void writeControls();
  // Shows or hides, then enables or disables, each option control by the
  // members' preset, trim mode, aspect flag and gamma flag.
  void applyOptionRules();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;  // the Escape key and button 2

 private:
  void createControls();
  void connectHandlers();

  void onPresetMode();
  void onTrimOrAspectChanged();
  void onGammaCheck();
  void onBrowseInput();
  void onBrowseOutput();
  void onProcess();
  void startJob();
  void onCancel();
  void onJobMessage(int code, int value, const QString& text);
  void finishJob(int resultCode);

  // Copies every control into job and preset, checking each in turn; at the
  // first invalid one names it and its prompt and fails.
  bool gatherControls(ConversionJob& job, Preset& preset, QWidget*& invalid, QString& prompt) const;
  // The settings on screen for the size estimate, read without prompting.
  std::optional<EstimateRequest> settingsOnScreen() const;
  void addVideos(const QStringList& paths);
  void onAddVideos();
  void onVideosChanged();
  void applyInputRules();
  bool videosCanBeRead(const std::vector<CartridgeInput>& videos);

  // The dialog's warning box: "ZEPRA", a warning icon and OK.
  void warn(const QString& text);
  bool failField(QWidget* control, const QString& prompt);
  void setJobControlsEnabled(bool enabled);

  JobRunner runner_;
  CartridgeRunner cartridgeRunner_;
  std::unique_ptr<DialogServices> ownServices_;
  DialogServices* services_;
  JobNotifier* notifier_;

  ConversionJob job_;
  Preset presetMode_ = kDefaultPreset;
  int lastShownPercent_ = -1;

  bool jobRunning_ = false;
  bool closing_ = false;  // the dialog is being destroyed: notifications are only drained
  std::thread jobThread_;  // joinable until joined at the next start or at the end
  std::shared_ptr<CancelSource> cancel_;  // the running (or last) job's: Cancel reaches only it
  std::atomic<bool> workerFinished_{true};

  std::map<int, QWidget*> controls_;
  DropFileEdit* inputEdit_ = nullptr;
  DropFileEdit* outputEdit_ = nullptr;
  QLineEdit* romTitleEdit_ = nullptr;
  QLineEdit* bitrateEdit_ = nullptr;
  QLineEdit* widthEdit_ = nullptr;
  QLineEdit* heightEdit_ = nullptr;
  QLineEdit* trimTopEdit_ = nullptr;
  QLineEdit* trimLeftEdit_ = nullptr;
  QLineEdit* trimBottomEdit_ = nullptr;
  QLineEdit* trimRightEdit_ = nullptr;
  QLineEdit* gammaEdit_ = nullptr;
  QComboBox* trimModeBox_ = nullptr;
  QComboBox* frameRateBox_ = nullptr;
  QComboBox* preFilterBox_ = nullptr;
  std::array<QRadioButton*, kPresetCount> presetButtons_{};
  QCheckBox* keepAspectCheck_ = nullptr;
  QCheckBox* gammaCheck_ = nullptr;
  QPushButton* processButton_ = nullptr;
  QPushButton* exitButton_ = nullptr;
  QProgressBar* progressBar_ = nullptr;
  LinkStatic* link_ = nullptr;
  SizePlanRow* sizePlan_ = nullptr;
  VideoList* videoList_ = nullptr;
};

}  // namespace zepra
