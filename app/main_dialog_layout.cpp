// The dialog's controls: their ids, labels, lists, limits and places.

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

#include "app/app_icon.h"
#include "app/control_ids.h"
#include "app/drop_file_edit.h"
#include "app/link_static.h"
#include "app/main_dialog.h"
#include "app/size_plan_row.h"
#include "app/video_list.h"

namespace zepra {

namespace {

const char* const kProjectAddress = "https://zepra.example.org/";

// The lists in the order of the settings' choices.
const char* const kTrimModes[kTrimModeCount] = {"No Trim - Manual Resize", "Auto Trim & Resize",
                                  "Manual Trim+Auto T+R", "Mnul T+R"};
const char* const kFrameRates[kFrameRateChoiceCount] = {"Auto",
                                   "Original",
                                   "4/5 (30fps - 24fps)",
                                   "2/3 (30fps - 20fps)",
                                   "1/2 (30fps - 15fps)",
                                   "2/5 (30fps - 12fps)",
                                   "1/3 (30fps - 10fps)",
                                   "1/4 (30fps - 7.5fps)",
                                   "1/5 (30fps - 6fps)"};
const char* const kPreFilters[kPreFilterCount] = {"No Filter", "15-bit Filter", "2x Dithering", "4x Dithering"};

template <std::size_t N>
QComboBox* makeList(QWidget* parent, const char* const (&entries)[N]) {
  auto* box = new QComboBox(parent);
  for (const char* entry : entries) box->addItem(QString::fromUtf8(entry));
  return box;
}

// An edit that takes digits only, wide enough for `widest`.
QLineEdit* makeNumberEdit(QWidget* parent, const QString& widest) {
  auto* edit = new QLineEdit(parent);
  edit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), edit));
  const int textWidth = edit->fontMetrics().horizontalAdvance(widest);
  edit->setFixedWidth(textWidth + edit->fontMetrics().averageCharWidth() * 3);
  return edit;
}

// Hidden option controls keep their place, so the window never jumps.
void keepPlaceWhenHidden(QWidget* widget) {
  QSizePolicy policy = widget->sizePolicy();
  policy.setRetainSizeWhenHidden(true);
  widget->setSizePolicy(policy);
}

}  // namespace

void MainDialog::createControls() {
  setWindowTitle(QStringLiteral("ZEPRA 1.4.0  English"));
  setWindowIcon(appIcon());

  auto add = [this](int id, QWidget* widget) {
    widget->setObjectName(QString::number(id));
    controls_[id] = widget;
    return widget;
  };
  auto label = [this](const QString& text) { return new QLabel(text, this); };

  // Files, title and bitrate.
  auto* fileGrid = new QGridLayout;
  inputEdit_ = new DropFileEdit(this);
  outputEdit_ = new DropFileEdit(this);
  inputEdit_->setMaxLength(static_cast<int>(kMaxPathLength));
  outputEdit_->setMaxLength(static_cast<int>(kMaxPathLength));
  const int pathWidth = inputEdit_->fontMetrics().averageCharWidth() * 48;
  inputEdit_->setMinimumWidth(pathWidth);
  outputEdit_->setMinimumWidth(pathWidth);
  auto* inputBrowse = new QPushButton(QStringLiteral("File"), this);
  auto* outputBrowse = new QPushButton(QStringLiteral("File"), this);
  add(ids::kInputEdit, inputEdit_);
  add(ids::kInputBrowse, inputBrowse);
  add(ids::kOutputEdit, outputEdit_);
  add(ids::kOutputBrowse, outputBrowse);
  romTitleEdit_ = new QLineEdit(this);
  romTitleEdit_->setMaxLength(static_cast<int>(kMaxTitleLength));
  romTitleEdit_->setFixedWidth(romTitleEdit_->fontMetrics().horizontalAdvance(QString(13, 'W')));
  add(ids::kRomTitle, romTitleEdit_);
  bitrateEdit_ = makeNumberEdit(this, QStringLiteral("00000"));
  bitrateEdit_->setAlignment(Qt::AlignRight);
  add(ids::kBitrate, bitrateEdit_);

  fileGrid->addWidget(label(QStringLiteral("Input")), 0, 0);
  fileGrid->addWidget(inputEdit_, 0, 1, 1, 2);
  fileGrid->addWidget(inputBrowse, 0, 3);
  fileGrid->addWidget(label(QStringLiteral("Output")), 1, 0);
  fileGrid->addWidget(outputEdit_, 1, 1, 1, 2);
  fileGrid->addWidget(outputBrowse, 1, 3);
  fileGrid->addWidget(label(QStringLiteral("ROM Title")), 2, 0);
  fileGrid->addWidget(romTitleEdit_, 2, 1);
  fileGrid->addWidget(label(QStringLiteral("%1 Characters Maximum").arg(kMaxTitleLength)), 2, 2);
  fileGrid->addWidget(label(QStringLiteral("Bitrate")), 3, 0);
  fileGrid->addWidget(bitrateEdit_, 3, 1, Qt::AlignLeft);
  // Beside the bitrate: two passes, a target size and the estimate beneath.
  sizePlan_ = new SizePlanRow(this, bitrateEdit_, [this] { return settingsOnScreen(); });
  add(ids::kFitTarget, sizePlan_->targetBox());
  add(ids::kTwoPass, sizePlan_->twoPassBox());
  add(ids::kEstimateLine, sizePlan_->estimateLine());
  auto* bitrateRow = new QHBoxLayout;
  bitrateRow->addWidget(
      label(QStringLiteral("Kilobytes per Second (%1-%2)").arg(kBitrateRange.min).arg(kBitrateRange.max)));
  bitrateRow->addStretch(1);
  bitrateRow->addWidget(sizePlan_->twoPassBox());
  auto* targetLabel = label(QStringLiteral("Fit to"));
  targetLabel->setBuddy(sizePlan_->targetBox());
  bitrateRow->addWidget(targetLabel);
  bitrateRow->addWidget(sizePlan_->targetBox());
  fileGrid->addLayout(bitrateRow, 3, 2, 1, 2);
  fileGrid->addWidget(sizePlan_->estimateLine(), 4, 1, 1, 3);
  fileGrid->setColumnStretch(2, 1);

  // Options: the presets on the left, the option controls on the right.
  auto* options = new QGroupBox(QStringLiteral("Options"), this);
  auto* presetColumn = new QVBoxLayout;
  const char* const presetTexts[kPresetCount] = {"No Trim, Resize, Aspect", "Trim, Resize, Aspect",
                                     "No Trim, Resize, No Aspect", "Manual"};
  for (int i = 0; i < kPresetCount; ++i) {
    presetButtons_[i] = new QRadioButton(QString::fromUtf8(presetTexts[i]), options);
    add(ids::kPresetNoTrim + i, presetButtons_[i]);
    presetColumn->addWidget(presetButtons_[i]);
  }
  presetColumn->addStretch(1);

  trimModeBox_ = makeList(options, kTrimModes);
  add(ids::kTrimMode, trimModeBox_);
  trimBottomEdit_ = makeNumberEdit(options, QStringLiteral("0000"));
  trimTopEdit_ = makeNumberEdit(options, QStringLiteral("0000"));
  trimLeftEdit_ = makeNumberEdit(options, QStringLiteral("0000"));
  trimRightEdit_ = makeNumberEdit(options, QStringLiteral("0000"));
  auto* trimRow = new QHBoxLayout;
  const std::pair<int, QLineEdit*> trimEdits[] = {{ids::kTrimBottom, trimBottomEdit_},
                                                  {ids::kTrimTop, trimTopEdit_},
                                                  {ids::kTrimLeft, trimLeftEdit_},
                                                  {ids::kTrimRight, trimRightEdit_}};
  const std::pair<int, const char*> trimLabels[] = {{ids::kTrimBottomLabel, "B"},
                                                    {ids::kTrimTopLabel, "T"},
                                                    {ids::kTrimLeftLabel, "L"},
                                                    {ids::kTrimRightLabel, "R"}};
  for (int i = 0; i < 4; ++i) {
    auto* edge = new QLabel(QString::fromUtf8(trimLabels[i].second), options);
    edge->setBuddy(trimEdits[i].second);
    trimRow->addWidget(add(trimLabels[i].first, edge));
    trimRow->addWidget(add(trimEdits[i].first, trimEdits[i].second));
  }
  trimRow->addStretch(1);

  keepAspectCheck_ = new QCheckBox(QStringLiteral("Aspect Ratio"), options);
  add(ids::kKeepAspect, keepAspectCheck_);
  widthEdit_ = makeNumberEdit(options, QStringLiteral("0000"));
  heightEdit_ = makeNumberEdit(options, QStringLiteral("0000"));
  auto* widthLabel = new QLabel(QStringLiteral("Width"), options);
  auto* heightLabel = new QLabel(QStringLiteral("Height"), options);
  widthLabel->setBuddy(widthEdit_);
  heightLabel->setBuddy(heightEdit_);
  add(ids::kWidthLabel, widthLabel);
  add(ids::kWidth, widthEdit_);
  add(ids::kHeightLabel, heightLabel);
  add(ids::kHeight, heightEdit_);
  auto* resizeRow = new QHBoxLayout;
  resizeRow->addWidget(keepAspectCheck_);
  resizeRow->addSpacing(keepAspectCheck_->fontMetrics().averageCharWidth() * 2);
  for (QWidget* w : std::initializer_list<QWidget*>{widthLabel, widthEdit_, heightLabel, heightEdit_})
    resizeRow->addWidget(w);
  resizeRow->addStretch(1);

  frameRateBox_ = makeList(options, kFrameRates);
  add(ids::kFrameRate, frameRateBox_);
  preFilterBox_ = makeList(options, kPreFilters);
  add(ids::kPreFilter, preFilterBox_);
  // The three lists line up as one column of equal width.
  const int listWidth = std::max({trimModeBox_->sizeHint().width(), frameRateBox_->sizeHint().width(),
                                  preFilterBox_->sizeHint().width()});
  for (QComboBox* box : {trimModeBox_, frameRateBox_, preFilterBox_}) box->setMinimumWidth(listWidth);
  gammaCheck_ = new QCheckBox(QStringLiteral("Gamma"), options);
  add(ids::kGammaCheck, gammaCheck_);
  gammaEdit_ = new QLineEdit(options);
  gammaEdit_->setFixedWidth(gammaEdit_->fontMetrics().horizontalAdvance(QStringLiteral("0.000000")) +
                            gammaEdit_->fontMetrics().averageCharWidth() * 3);
  add(ids::kGamma, gammaEdit_);

  auto* optionGrid = new QGridLayout;
  optionGrid->addWidget(new QLabel(QStringLiteral("Trim"), options), 0, 0);
  optionGrid->addWidget(trimModeBox_, 0, 1, Qt::AlignLeft);
  optionGrid->addLayout(trimRow, 1, 1);
  optionGrid->addWidget(new QLabel(QStringLiteral("Resize"), options), 2, 0);
  optionGrid->addLayout(resizeRow, 2, 1);
  optionGrid->addWidget(new QLabel(QStringLiteral("Framerate"), options), 3, 0);
  optionGrid->addWidget(frameRateBox_, 3, 1, Qt::AlignLeft);
  optionGrid->addWidget(new QLabel(QStringLiteral("Pre-Filter"), options), 4, 0);
  optionGrid->addWidget(preFilterBox_, 4, 1, Qt::AlignLeft);
  optionGrid->addWidget(gammaCheck_, 5, 0);
  optionGrid->addWidget(gammaEdit_, 5, 1, Qt::AlignLeft);
  optionGrid->setColumnStretch(1, 1);

  auto* optionRow = new QHBoxLayout(options);
  optionRow->addLayout(presetColumn);
  optionRow->addSpacing(fontMetrics().averageCharWidth() * 3);
  optionRow->addLayout(optionGrid, 1);
  for (int id : ids::kOptionControls) keepPlaceWhenHidden(controls_.at(id));

  // About: the icon, name and version, credits and the project's page.
  auto* iconLabel = new QLabel(this);
  const int iconSize = style()->pixelMetric(QStyle::PM_LargeIconSize) * 3 / 2;
  iconLabel->setPixmap(windowIcon().pixmap(iconSize, iconSize));
  auto* aboutColumn = new QVBoxLayout;
  aboutColumn->setSpacing(1);
  aboutColumn->addWidget(label(QStringLiteral("ZEPRA 1.4.0")));
  aboutColumn->addWidget(label(QStringLiteral("Video to Game Boy Advance cartridge converter")));
  aboutColumn->addWidget(label(QStringLiteral("Cinepak picture, ADPCM sound, built-in player")));
  link_ = new LinkStatic(QString::fromUtf8(kProjectAddress), this);
  aboutColumn->addWidget(add(ids::kLink, link_));

  processButton_ = new QPushButton(QStringLiteral("Process"), this);
  processButton_->setDefault(true);
  add(ids::kProcess, processButton_);
  exitButton_ = new QPushButton(QStringLiteral("  Exit"), this);
  exitButton_->setAutoDefault(false);
  add(ids::kExit, exitButton_);
  auto* buttonColumn = new QVBoxLayout;
  buttonColumn->addWidget(processButton_);
  buttonColumn->addWidget(exitButton_);
  buttonColumn->addStretch(1);

  auto* aboutRow = new QHBoxLayout;
  aboutRow->addWidget(iconLabel, 0, Qt::AlignTop);
  aboutRow->addLayout(aboutColumn, 1);
  aboutRow->addLayout(buttonColumn);

  // Several videos for a cartridge with a menu. In the window they stand
  // under the input field; made last, they leave the order of the dialog's
  // other children as it was.
  auto* videos = new QGroupBox(QStringLiteral("Several videos on one cartridge"), this);
  videoList_ = new VideoList(videos);
  (new QVBoxLayout(videos))->addWidget(videoList_);

  progressBar_ = new QProgressBar(this);
  progressBar_->setRange(0, 1000);
  progressBar_->setValue(0);
  progressBar_->setTextVisible(false);
  add(ids::kProgress, progressBar_);

  auto* root = new QVBoxLayout(this);
  root->addLayout(fileGrid);
  root->addWidget(videos);
  root->addWidget(options);
  root->addLayout(aboutRow);
  root->addWidget(progressBar_);
  root->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace zepra
