// The size estimate line with the real job library on clips made by ffmpeg:
// its figures against the image the dialog then writes, and a target too
// small for a clip refused with the job's own words. Takes some seconds.

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <memory>

#include "app/control_ids.h"
#include "dialog_fixture.h"
#include "job/cartridge_job.h"
#include "job/conversion_job.h"
#include "job/image_size_range.h"

using namespace zepra;
using namespace zepra::test;

namespace {

constexpr int kPatienceMs = 60000;

QString lineText(const MainDialog& dialog) { return controlOf<QLabel>(dialog, ids::kEstimateLine)->text(); }

}  // namespace

class SizePlanRealTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  ScriptedServices services_;

  // A clip of test pictures and a tone; small pictures and a low sound rate
  // keep long clips quick to make.
  QString makeClip(const QString& name, int seconds, const QString& size, int rate) {
    const QString clip = dir_.filePath(name);
    const QString duration = QString::number(seconds);
    const int status = QProcess::execute(
        "ffmpeg", {"-v", "error", "-nostdin", "-y", "-f", "lavfi", "-i",
                   QString("testsrc2=size=%1:rate=%2:duration=%3").arg(size).arg(rate).arg(duration), "-f", "lavfi",
                   "-i", "sine=frequency=440:sample_rate=8000:duration=" + duration, "-c:v", "mpeg4", "-q:v", "4",
                   "-c:a", "pcm_s16le", "-shortest", clip});
    return status == 0 ? clip : QString();
  }

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    QVERIFY(QDir(dir_.path()).mkpath("tmp"));
    qputenv("TMPDIR", dir_.filePath("tmp").toUtf8());
  }

  void theLineForeseesTheImageTheJobWrites() {
    const QString clip = makeClip("clip.avi", 3, "160x120", 30);
    QVERIFY(!clip.isEmpty());
    const QString output = dir_.filePath("clip.gba");
    MainDialog dialog(conversionJobRunner(), &services_);
    editOf(dialog, ids::kInputEdit)->setText(clip);
    editOf(dialog, ids::kOutputEdit)->setText(output);
    const QRegularExpression sampled(
        R"(^about (\d+\.\d) MiB \(at most (\d+\.\d)\) for 0:03 — fits a 4 MiB cartridge$)");
    QTRY_VERIFY2_WITH_TIMEOUT(lineText(dialog).startsWith("about "), qPrintable(lineText(dialog) + " / " + controlOf<QLabel>(dialog, ids::kEstimateLine)->toolTip()), kPatienceMs);
    const QRegularExpressionMatch figures = sampled.match(lineText(dialog));
    QVERIFY2(figures.hasMatch(), qPrintable(lineText(dialog)));

    controlOf<QPushButton>(dialog, ids::kProcess)->click();
    QVERIFY(dialog.jobRunning());
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.jobRunning(), kPatienceMs);
    QCOMPARE(services_.beeps, 1);
    const double written = static_cast<double>(QFileInfo(output).size()) / kMiB;
    QVERIFY2(written <= figures.captured(2).toDouble() + 0.05, qPrintable(QString::number(written)));
    QVERIFY2(written <= figures.captured(1).toDouble() * 1.2 + 0.05, qPrintable(QString::number(written)));

    // An estimate after a job reaches only the line, never the title or the bar.
    const QString before = lineText(dialog);
    editOf(dialog, ids::kBitrate)->setText("60");
    QTRY_VERIFY_WITH_TIMEOUT(lineText(dialog) != before, kPatienceMs);
    QTRY_VERIFY2_WITH_TIMEOUT(lineText(dialog).startsWith("about "), qPrintable(lineText(dialog) + " / " + controlOf<QLabel>(dialog, ids::kEstimateLine)->toolTip()), kPatienceMs);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("ZEPRA"));
  }

  void aTargetTooSmallIsRefusedWithTheJobsOwnWords() {
    // Seven minutes of sound alone pass 4 MiB.
    const QString clip = makeClip("long.avi", 420, "32x24", 5);
    QVERIFY(!clip.isEmpty());
    RecordingRunner recorder;
    MainDialog dialog(recorder.runner(), &services_);
    editOf(dialog, ids::kInputEdit)->setText(clip);
    editOf(dialog, ids::kOutputEdit)->setText(dir_.filePath("long.gba"));
    chooseEntry(controlOf<QComboBox>(dialog, ids::kFitTarget), 1);  // 4 MiB
    QTRY_VERIFY_WITH_TIMEOUT(lineText(dialog).startsWith("The target size of"), kPatienceMs);
    controlOf<QPushButton>(dialog, ids::kProcess)->click();
    QVERIFY(!dialog.jobRunning());
    QCOMPARE(recorder.calls(), 0);
    QCOMPARE(services_.messages.size(), 1);

    // The job, given the same settings, refuses with the same detail.
    CancelSource cancel;
    QCOMPARE(runConversionJob(dialog.settings(), cancel), kJobRomFailed);
    QCOMPARE(services_.messages.front().text,
             QStringLiteral("Input file error            (1000)\n") + QString::fromStdString(lastErrorText()));
    QVERIFY(!QFileInfo::exists(dir_.filePath("long.gba")));
  }

  void severalVideosATargetCannotHoldAreRefusedWithTheCartridgeJobsWords() {
    // Each clip's sound fits 4 MiB, the two together do not.
    const QString first = makeClip("first.avi", 210, "32x24", 5);
    const QString second = makeClip("second.avi", 210, "32x24", 5);
    QVERIFY(!first.isEmpty() && !second.isEmpty());
    RecordingRunner recorder;
    auto cartridges = std::make_shared<std::atomic<int>>(0);
    MainDialog dialog(recorder.runner(), &services_, nullptr,
                      [cartridges](const ConversionJob&, std::span<const CartridgeInput>, CancelSource&) {
                        ++*cartridges;
                        postDone(0);
                        return 0;
                      });
    editOf(dialog, ids::kInputEdit)->setText(first);
    editOf(dialog, ids::kOutputEdit)->setText(dir_.filePath("pair.gba"));
    services_.chosenFileLists = {{second}};
    for (QPushButton* button : dialog.findChildren<QPushButton*>())
      if (button->text() == "Add videos...") button->click();
    QCOMPARE(dialog.videos().size(), std::size_t{2});
    chooseEntry(controlOf<QComboBox>(dialog, ids::kFitTarget), 1);  // 4 MiB
    QTRY_VERIFY2_WITH_TIMEOUT(lineText(dialog).startsWith("The target size of"), qPrintable(lineText(dialog)),
                              kPatienceMs);
    const qsizetype messagesBefore = services_.messages.size();
    controlOf<QPushButton>(dialog, ids::kProcess)->click();
    QVERIFY(!dialog.jobRunning());
    QCOMPARE(cartridges->load(), 0);
    QCOMPARE(recorder.calls(), 0);
    QCOMPARE(services_.messages.size(), messagesBefore + 1);

    // The cartridge job, given the same settings and videos, refuses with the same detail.
    CancelSource cancel;
    QCOMPARE(runCartridgeJob(dialog.settings(), dialog.videos(), cancel), kJobRomFailed);
    QCOMPARE(services_.messages.back().text,
             QStringLiteral("Input file error            (1000)\n") + QString::fromStdString(lastErrorText()));
    QVERIFY(!QFileInfo::exists(dir_.filePath("pair.gba")));
  }
};

QTEST_MAIN(SizePlanRealTest)
#include "test_size_plan_real.moc"
