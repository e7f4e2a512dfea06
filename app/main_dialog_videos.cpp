// The dialog's input side for a cartridge of several videos: the list that
// several dropped or chosen files fill, how it takes over from the input
// field and gives its last video back to it, and the check of every video
// before a cartridge job starts. With one video the input field alone holds
// it, exactly as without the list.

#include <QFileInfo>
#include <QPushButton>

#include "app/control_ids.h"
#include "app/dialog_services.h"
#include "app/drop_file_edit.h"
#include "app/job_outcome.h"
#include "app/main_dialog.h"
#include "app/video_list.h"
#include "job/input_check.h"

namespace zepra {

std::vector<CartridgeInput> MainDialog::videos() const {
  if (videoList_->makesCartridge()) return videoList_->inputs();
  if (job_.inputPath.empty()) return {};
  return {{job_.inputPath, {}}};
}

void MainDialog::takeInputFiles(const QStringList& paths) {
  if (paths.size() == 1) takeInputFile(paths.front());
  if (paths.size() < 2) return;
  QStringList absolute;
  for (const QString& path : paths) absolute << QFileInfo(path).absoluteFilePath();
  addVideos(absolute);
}

void MainDialog::addVideos(const QStringList& paths) {
  if (paths.isEmpty()) return;
  // The video in the input field is the first of the cartridge it grows into.
  QStringList added = paths;
  const QString single = inputEdit_->text();
  if (videoList_->count() == 0 && !single.isEmpty()) added.prepend(single);

  const int total = videoList_->count() + static_cast<int>(added.size());
  if (total > kMaxCartridgeVideos) {
    warn(QStringLiteral("A cartridge's menu holds at most %1 videos; adding these would make %2.\n\n"
                        "None of them was added.")
             .arg(kMaxCartridgeVideos)
             .arg(total));
    return;
  }
  for (const QString& path : added) {
    if (path.size() > static_cast<int>(kMaxPathLength)) {
      warn(QStringLiteral("A path may have at most %1 characters; this one is longer:\n\n%2\n\n"
                          "None of the videos was added.")
               .arg(kMaxPathLength)
               .arg(path));
      return;
    }
  }
  if (total == 1) {  // still one video: it belongs in the input field
    job_.inputPath = added.front().toStdString();
    inputEdit_->setText(added.front());
    return;
  }
  if (videoList_->count() == 0) {
    job_.inputPath.clear();
    inputEdit_->clear();
  }
  videoList_->append(added);
}

void MainDialog::onVideosChanged() {
  // The last video of the list is one video again: the input field's.
  if (videoList_->count() == 1) {
    const std::string path = videoList_->inputs().front().inputPath;
    job_.inputPath = path;
    inputEdit_->setText(QString::fromStdString(path));
    videoList_->clear();  // comes back here with an empty list
    return;
  }
  applyInputRules();
}

void MainDialog::applyInputRules() {
  // While the list holds the videos, the input field is no second place for one.
  const int count = videoList_->count();
  const bool several = count >= 2;
  for (int id : {ids::kInputEdit, ids::kInputBrowse}) controls_.at(id)->setEnabled(!several);
  inputEdit_->setPlaceholderText(several ? QStringLiteral("%1 videos, listed below").arg(count) : QString());
}

bool MainDialog::videosCanBeRead(const std::vector<CartridgeInput>& videos) {
  for (const CartridgeInput& video : videos) {
    if (std::optional<std::string> problem = inputFileProblem(video.inputPath)) {
      // Told as the job tells a video it cannot read, before any is converted.
      const JobOutcome outcome =
          describeOutcome(false, kJobInputError, "The input \"" + video.inputPath + "\" " + *problem + ".");
      services_->showMessage(this, QMessageBox::Critical, outcome.caption, outcome.text, QMessageBox::Ok,
                             QMessageBox::Ok);
      return false;
    }
  }
  return true;
}

}  // namespace zepra
