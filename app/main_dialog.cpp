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

namespace zepra {

namespace {

constexpr int kPathLimit = 511;
constexpr int kTitleLimit = 12;
constexpr int kManual = 3;

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

MainDialog::MainDialog(JobRunner runner, DialogServices* services, QWidget* parent)
    : QDialog(parent), runner_(std::move(runner)), services_(services) {
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
}

bool MainDialog::failField(QWidget* control, const QString& prompt) {
  services_->showMessage(this, QMessageBox::Warning, QStringLiteral("ZEPRA"), prompt,
                         QMessageBox::Ok, QMessageBox::Ok);
  control->setFocus(Qt::OtherFocusReason);
  if (auto* edit = qobject_cast<QLineEdit*>(control)) edit->selectAll();
  return false;
}

bool MainDialog::readControls() {
  ConversionJob job = job_;
  int preset = -1;
  QString prompt;
  auto integer = [&](QLineEdit* edit, int min, int max, int& value) {
    return readInteger(edit->text(), min, max, value, prompt) || failField(edit, prompt);
  };
  auto text = [&](QLineEdit* edit, int limit, std::string& value) {
    return readText(edit->text(), limit, value, prompt) || failField(edit, prompt);
  };
  const bool ok = integer(bitrateEdit_, 0, 500, job.bitrate) &&
                  integer(widthEdit_, 4, 240, job.width) &&
                  integer(heightEdit_, 4, 160, job.height) &&
                  text(outputEdit_, kPathLimit, job.outputPath) &&
                  text(inputEdit_, kPathLimit, job.inputPath) &&
                  integer(trimTopEdit_, 0, 1000, job.trimTop) &&
                  integer(trimLeftEdit_, 0, 1000, job.trimLeft) &&
                  integer(trimBottomEdit_, 0, 1000, job.trimBottom) &&
                  integer(trimRightEdit_, 0, 1000, job.trimRight);
  if (!ok) return false;
  job.frameRateIndex = frameRateBox_->currentIndex();
  for (int i = 0; i < 4; ++i)
    if (presetButtons_[i]->isChecked()) preset = i;
  if (!text(romTitleEdit_, kTitleLimit, job.romTitle)) return false;
  job.keepAspect = keepAspectCheck_->isChecked();
  job.trimMode = trimModeBox_->currentIndex();
  job.preFilter = preFilterBox_->currentIndex();
  job.gammaEnabled = gammaCheck_->isChecked();
  if (!readNumber(gammaEdit_->text(), 0.01f, 7.99f, job.gamma, prompt))
    return failField(gammaEdit_, prompt);
  job_ = std::move(job);
  presetMode_ = preset;
  return true;
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
  frameRateBox_->setCurrentIndex(job_.frameRateIndex);
  for (int i = 0; i < 4; ++i) presetButtons_[i]->setChecked(i == presetMode_);
  romTitleEdit_->setText(QString::fromStdString(job_.romTitle));
  keepAspectCheck_->setChecked(job_.keepAspect);
  trimModeBox_->setCurrentIndex(job_.trimMode);
  preFilterBox_->setCurrentIndex(job_.preFilter);
  gammaCheck_->setChecked(job_.gammaEnabled);
  gammaEdit_->setText(formatNumber(job_.gamma));
}

void MainDialog::applyOptionRules() {
  const bool manual = presetMode_ == kManual;
  const bool manualTrim = job_.trimMode >= 2;
  const bool autoTrim = job_.trimMode == 1 || job_.trimMode == 2;
  for (int id : ids::kOptionControls) {
    bool shown = true;
    bool enabled = manual;
    switch (id) {
      case ids::kTrimBottom: case ids::kTrimTop: case ids::kTrimLeft: case ids::kTrimRight:
        shown = manualTrim;
        enabled = manual && manualTrim;
        break;
      case ids::kTrimBottomLabel: case ids::kTrimTopLabel:
      case ids::kTrimLeftLabel: case ids::kTrimRightLabel:
        shown = manualTrim;
        break;
      case ids::kWidth: case ids::kHeight:
        shown = !job_.keepAspect;
        enabled = manual && !job_.keepAspect;
        break;
      case ids::kWidthLabel: case ids::kHeightLabel:
        shown = !job_.keepAspect;
        break;
      case ids::kKeepAspect:
        enabled = manual && !autoTrim;
        break;
      case ids::kGamma:
        shown = job_.gammaEnabled;
        enabled = manual && job_.gammaEnabled;
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
  if (presetMode_ != kManual) {
    switch (presetMode_) {
      case 0:
        job_.keepAspect = true;
        job_.trimMode = 0;
        break;
      case 1:
        job_.trimMode = 1;
        job_.keepAspect = true;
        break;
      case 2:
        job_.keepAspect = false;
        job_.width = 240;
        job_.height = 160;
        job_.trimMode = 0;
        break;
    }
    job_.trimLeft = job_.trimBottom = job_.trimRight = job_.trimTop = 0;
    job_.frameRateIndex = 0;
    job_.preFilter = 3;
    job_.gammaEnabled = true;
    job_.gamma = 1.33f;
    writeControls();
  }
  applyOptionRules();
}

void MainDialog::onTrimOrAspectChanged() {
  if (!readControls()) return;
  // Automatic trimming always keeps the aspect ratio.
  if (job_.trimMode == 1 || job_.trimMode == 2) {
    job_.keepAspect = true;
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
  if (job_.inputPath.empty() || job_.outputPath.empty()) return;
  if (presetMode_ == kManual && (job_.width % 4 != 0 || job_.height % 4 != 0)) {
    services_->showMessage(this, QMessageBox::Critical, QStringLiteral("Fatal Error"),
                           QStringLiteral("Resolution is too small."), QMessageBox::Ok,
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
