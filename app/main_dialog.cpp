// The dialog's settings: exchanging them with the controls, the option rules,
// the presets, the file dialogs and the checks before a job starts.

#include "app/main_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "app/control_ids.h"
#include "app/dialog_services.h"
#include "app/drop_file_edit.h"
#include "app/field_reader.h"
#include "app/job_notifier.h"
#include "app/job_outcome.h"
#include "app/size_plan_row.h"
#include "app/video_list.h"

namespace zepra {

namespace {

constexpr int kPathLimit = static_cast<int>(kMaxPathLength);
constexpr int kTitleLimit = static_cast<int>(kMaxTitleLength);

const QStringList kVideoFilters = {
    QStringLiteral("Videos (*.avi *.mpg *.mpeg *.wmv *.asf *.mp4 *.mkv *.mov *.webm)"),
    QStringLiteral("All Files (*)")};
const QStringList kRomFilters = {QStringLiteral("GBA ROM (*.gba)"), QStringLiteral("All Files (*)")};

// A file dialog opens in the folder the field names, or in the folder of the
// file it names.
QString initialFolder(const std::string& path) {
  if (path.empty()) return {};
  const QFileInfo info(QString::fromStdString(path));
  return info.isDir() ? info.filePath() : info.absolutePath();
}

}  // namespace

MainDialog::MainDialog(JobRunner runner, DialogServices* services, QWidget* parent,
                       CartridgeRunner cartridgeRunner)
    : QDialog(parent),
      runner_(std::move(runner)),
      cartridgeRunner_(std::move(cartridgeRunner)),
      services_(services) {
  if (services_ == nullptr) {
    ownServices_ = std::make_unique<QtDialogServices>();
    services_ = ownServices_.get();
  }
  notifier_ = new JobNotifier(
      [this](int code, int value, const QString& text) { onJobMessage(code, value, text); }, this);
  createControls();
  connectHandlers();
  writeControls();
  applyOptionRules();
}

QWidget* MainDialog::control(int id) const {
  const auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

void MainDialog::takeInputFile(const QString& path) {
  inputEdit_->setText(QFileInfo(path).absoluteFilePath());
}

void MainDialog::connectHandlers() {
  connect(static_cast<QPushButton*>(control(ids::kInputBrowse)), &QPushButton::clicked, this,
          [this] { onBrowseInput(); });
  connect(static_cast<QPushButton*>(control(ids::kOutputBrowse)), &QPushButton::clicked, this,
          [this] { onBrowseOutput(); });
  for (QRadioButton* preset : presetButtons_)
    connect(preset, &QRadioButton::clicked, this, [this] { onPresetMode(); });
  connect(trimModeBox_, &QComboBox::activated, this, [this] { onTrimOrAspectChanged(); });
  connect(keepAspectCheck_, &QCheckBox::clicked, this, [this] { onTrimOrAspectChanged(); });
  connect(gammaCheck_, &QCheckBox::clicked, this, [this] { onGammaCheck(); });
  connect(processButton_, &QPushButton::clicked, this, [this] { onProcess(); });
  connect(exitButton_, &QPushButton::clicked, this, [this] { onCancel(); });
  // Any setting may change the size estimate.
  for (const auto& [id, widget] : controls_) {
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
      connect(edit, &QLineEdit::textChanged, sizePlan_, &SizePlanRow::settingsChanged);
    else if (auto* list = qobject_cast<QComboBox*>(widget))
      connect(list, &QComboBox::currentIndexChanged, sizePlan_, &SizePlanRow::settingsChanged);
    else if (auto* button = qobject_cast<QAbstractButton*>(widget); button && button->isCheckable())
      connect(button, &QAbstractButton::toggled, sizePlan_, &SizePlanRow::settingsChanged);
  }
  connect(videoList_, &VideoList::addRequested, this, [this] { onAddVideos(); });
  connect(videoList_, &VideoList::filesDropped, this, [this](const QStringList& paths) { addVideos(paths); });
  connect(videoList_, &VideoList::videosChanged, this, [this] { onVideosChanged(); });
  connect(videoList_, &VideoList::videosChanged, sizePlan_, &SizePlanRow::settingsChanged);
}

void MainDialog::warn(const QString& text) {
  services_->showMessage(this, QMessageBox::Warning, QStringLiteral("ZEPRA"), text, QMessageBox::Ok,
                         QMessageBox::Ok);
}

bool MainDialog::failField(QWidget* control, const QString& prompt) {
  warn(prompt);
  control->setFocus(Qt::OtherFocusReason);
  if (auto* edit = qobject_cast<QLineEdit*>(control)) edit->selectAll();
  return false;
}

bool MainDialog::gatherControls(ConversionJob& job, Preset& preset, QWidget*& invalid, QString& prompt) const {
  auto integer = [&](QLineEdit* edit, IntRange range, int& value) {
    if (readInteger(edit->text(), range.min, range.max, value, prompt)) return true;
    invalid = edit;
    return false;
  };
  auto text = [&](QLineEdit* edit, int limit, std::string& value) {
    if (readText(edit->text(), limit, value, prompt)) return true;
    invalid = edit;
    return false;
  };
  const bool ok = integer(bitrateEdit_, kBitrateRange, job.bitrate) &&
                  integer(widthEdit_, kWidthRange, job.width) &&
                  integer(heightEdit_, kHeightRange, job.height) &&
                  text(outputEdit_, kPathLimit, job.outputPath) &&
                  text(inputEdit_, kPathLimit, job.inputPath) &&
                  integer(trimTopEdit_, kTrimMarginRange, job.trimTop) &&
                  integer(trimLeftEdit_, kTrimMarginRange, job.trimLeft) &&
                  integer(trimBottomEdit_, kTrimMarginRange, job.trimBottom) &&
                  integer(trimRightEdit_, kTrimMarginRange, job.trimRight);
  if (!ok) return false;
  job.frameRateIndex = static_cast<FrameRateChoice>(frameRateBox_->currentIndex());
  for (int i = 0; i < kPresetCount; ++i)
    if (presetButtons_[i]->isChecked()) preset = static_cast<Preset>(i);
  if (!text(romTitleEdit_, kTitleLimit, job.romTitle)) return false;
  if (std::optional<std::string> problem = titleProblem(job.romTitle)) {
    invalid = romTitleEdit_;
    prompt = QStringLiteral("ROM Title: the title %1.").arg(QString::fromStdString(*problem));
    return false;
  }
  job.keepAspect = keepAspectCheck_->isChecked();
  job.trimMode = static_cast<TrimMode>(trimModeBox_->currentIndex());
  job.preFilter = static_cast<PreFilter>(preFilterBox_->currentIndex());
  job.gammaEnabled = gammaCheck_->isChecked();
  if (!readNumber(gammaEdit_->text(), static_cast<float>(kMinGamma), static_cast<float>(kMaxGamma), job.gamma,
                  prompt)) {
    invalid = gammaEdit_;
    return false;
  }
  sizePlan_->readInto(job);
  return true;
}

bool MainDialog::readControls() {
  ConversionJob job = job_;
  Preset preset = presetMode_;
  QWidget* invalid = nullptr;
  QString prompt;
  if (!gatherControls(job, preset, invalid, prompt)) return failField(invalid, prompt);
  job_ = std::move(job);
  presetMode_ = preset;
  return true;
}

std::optional<EstimateRequest> MainDialog::settingsOnScreen() const {
  EstimateRequest request;
  request.job = job_;
  Preset preset = presetMode_;
  QWidget* invalid = nullptr;
  QString prompt;
  if (!gatherControls(request.job, preset, invalid, prompt)) return std::nullopt;
  if (videoList_->makesCartridge()) {
    for (const CartridgeInput& video : videoList_->inputs()) request.inputs.push_back(video.inputPath);
  } else {
    request.inputs = {request.job.inputPath};
  }
  return request;
}

void MainDialog::writeControls() {
  bitrateEdit_->setText(QString::number(job_.bitrate));
  widthEdit_->setText(QString::number(job_.width));
  heightEdit_->setText(QString::number(job_.height));
  outputEdit_->setText(QString::fromStdString(job_.outputPath));
  inputEdit_->setText(QString::fromStdString(job_.inputPath));
  trimTopEdit_->setText(QString::number(job_.trimTop));
  trimLeftEdit_->setText(QString::number(job_.trimLeft));
  trimBottomEdit_->setText(QString::number(job_.trimBottom));
  trimRightEdit_->setText(QString::number(job_.trimRight));
  frameRateBox_->setCurrentIndex(static_cast<int>(job_.frameRateIndex));
  for (int i = 0; i < kPresetCount; ++i) presetButtons_[i]->setChecked(static_cast<Preset>(i) == presetMode_);
  romTitleEdit_->setText(QString::fromStdString(job_.romTitle));
  keepAspectCheck_->setChecked(job_.keepAspect);
  trimModeBox_->setCurrentIndex(static_cast<int>(job_.trimMode));
  preFilterBox_->setCurrentIndex(job_.preFilter);
  gammaCheck_->setChecked(job_.gammaEnabled);
  gammaEdit_->setText(formatNumber(job_.gamma));
  sizePlan_->show(job_);
}

void MainDialog::applyOptionRules() {
  const bool manual = presetMode_ == Preset::kManual;
  const auto inEffect = [this](OptionField field) { return fieldInEffect(job_, field); };
  for (int id : ids::kOptionControls) {
    bool shown = true;
    bool enabled = manual;
    switch (id) {
      case ids::kTrimBottom: case ids::kTrimTop: case ids::kTrimLeft: case ids::kTrimRight:
        shown = inEffect(OptionField::kTrimMargins);
        enabled = manual && shown;
        break;
      case ids::kTrimBottomLabel: case ids::kTrimTopLabel:
      case ids::kTrimLeftLabel: case ids::kTrimRightLabel:
        shown = inEffect(OptionField::kTrimMargins);
        break;
      case ids::kWidth: case ids::kHeight:
        shown = inEffect(OptionField::kSize);
        enabled = manual && shown;
        break;
      case ids::kWidthLabel: case ids::kHeightLabel:
        shown = inEffect(OptionField::kSize);
        break;
      case ids::kKeepAspect:
        enabled = manual && inEffect(OptionField::kKeepAspect);
        break;
      case ids::kGamma:
        shown = inEffect(OptionField::kGamma);
        enabled = manual && shown;
        break;
      default:  // trim list, frame rate, pre-filter, gamma check
        break;
    }
    QWidget* widget = controls_.at(id);
    widget->setVisible(shown);
    widget->setEnabled(enabled);
  }
}

void MainDialog::onPresetMode() {
  if (!readControls()) return;
  if (presetMode_ != Preset::kManual) {
    applyPreset(job_, presetMode_);
    writeControls();
  }
  applyOptionRules();
}

void MainDialog::onTrimOrAspectChanged() {
  if (!readControls()) return;
  if (usesAutoTrim(job_.trimMode)) {
    applyAutoTrimRule(job_);
    writeControls();
  }
  applyOptionRules();
}

void MainDialog::onGammaCheck() {
  if (!readControls()) return;
  applyOptionRules();
}

void MainDialog::onBrowseInput() {
  if (!readControls()) return;
  const QString path =
      services_->chooseFile(this, {false, initialFolder(job_.inputPath), kVideoFilters, {}});
  if (path.isEmpty()) return;
  std::string chosen;
  QString prompt;
  if (!readText(path, kPathLimit, chosen, prompt)) {
    failField(inputEdit_, prompt);
    return;
  }
  job_.inputPath = std::move(chosen);
  writeControls();
}

void MainDialog::onAddVideos() {
  if (!readControls()) return;
  const std::vector<CartridgeInput> listed = videos();
  const std::string& near = listed.empty() ? job_.inputPath : listed.back().inputPath;
  addVideos(services_->chooseFiles(this, {false, initialFolder(near), kVideoFilters, {}}));
}

void MainDialog::onBrowseOutput() {
  if (!readControls()) return;
  const QString path = services_->chooseFile(
      this, {true, initialFolder(job_.outputPath), kRomFilters, QStringLiteral("gba")});
  if (path.isEmpty()) return;
  std::string chosen;
  QString prompt;
  if (!readText(path, kPathLimit, chosen, prompt)) {
    failField(outputEdit_, prompt);
    return;
  }
  job_.outputPath = std::move(chosen);
  writeControls();
}

void MainDialog::onProcess() {
  if (!readControls()) return;
  const std::vector<CartridgeInput> inputs = videos();
  if (inputs.empty() || job_.outputPath.empty()) return;
  if (presetMode_ == Preset::kManual && (job_.width % kSizeStep != 0 || job_.height % kSizeStep != 0)) {
    services_->showMessage(this, QMessageBox::Critical, QStringLiteral("Fatal Error"),
                           QStringLiteral("Resolution is too small."), QMessageBox::Ok,
                           QMessageBox::Ok);
    return;
  }
  if (inputs.size() > 1 && !videosCanBeRead(inputs)) return;
  // A target the video cannot fit is refused now, as the job would refuse it.
  if (const std::optional<QString> refusal = sizePlan_->targetRefusal()) {
    const JobOutcome outcome = describeOutcome(false, kJobRomFailed, refusal->toStdString());
    services_->showMessage(this, QMessageBox::Critical, outcome.caption, outcome.text, QMessageBox::Ok,
                           QMessageBox::Ok);
    return;
  }
  const QString output = QString::fromStdString(job_.outputPath);
  const QFileInfo existing(output);
  if (existing.exists() && !existing.isDir()) {
    const QString question =
        QStringLiteral("File          \n\n    %1\n\nDo you want to replace it?").arg(output);
    if (services_->showMessage(this, QMessageBox::Question, QStringLiteral("Warning"), question,
                               QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) != QMessageBox::Yes)
      return;
  }
  startJob();
}

}  // namespace zepra
