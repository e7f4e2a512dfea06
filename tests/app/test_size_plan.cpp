// The size planning beside the bitrate: the estimate line's words, the
// estimate's thread (quick figures first, stale answers dropped, cancelled
// when superseded or when the dialog closes), the target size driving the
// bitrate and the job, the two-pass box, and the job's warnings.

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <chrono>
#include <thread>

#include "app/control_ids.h"
#include "app/estimate_line.h"
#include "app/size_plan_row.h"
#include "dialog_fixture.h"
#include "estimate_script.h"
#include "job/conversion_job.h"

Q_DECLARE_METATYPE(zepra::EstimateAnswer)

using namespace zepra;
using namespace zepra::test;
using namespace std::chrono_literals;

namespace {

constexpr int kPatienceMs = 20000;

StreamShape shapeOf(double seconds, int width = 240, int height = 160) {
  StreamShape shape;
  shape.frames = static_cast<std::uint32_t>(seconds * 30);
  shape.rate = {30, 1};
  shape.width = width;
  shape.height = height;
  return shape;
}

EstimateAnswer answerOf(double seconds, int bitrate, std::optional<double> likelyShare) {
  const StreamShape shape = shapeOf(seconds);
  std::optional<std::uint64_t> likely;
  if (likelyShare) likely = static_cast<std::uint64_t>(largestFrameBytes(shape, bitrate) * *likelyShare);
  EstimateAnswer answer;
  answer.estimate = estimateForShape(shape, bitrate, ScriptedEstimator::kPlayerBytes, likely);
  return answer;
}

QString lineText(const MainDialog& dialog) { return controlOf<QLabel>(dialog, ids::kEstimateLine)->text(); }

bool lineInErrorColour(const MainDialog& dialog) {
  const QLabel* line = controlOf<QLabel>(dialog, ids::kEstimateLine);
  return line->palette().color(QPalette::WindowText) != dialog.palette().color(QPalette::WindowText);
}

}  // namespace

class SizePlanTest : public QObject {
  Q_OBJECT

 private:
  ScriptedServices services_;
  RecordingRunner recorder_;

  // A dialog whose estimates come from the script.
  std::unique_ptr<MainDialog> dialogWith(ScriptedEstimator& script, JobRunner runner = {}) {
    auto dialog = std::make_unique<MainDialog>(runner ? runner : recorder_.runner(), &services_);
    dialog->sizePlan()->setEstimator(script.estimator());
    return dialog;
  }
  static void fillPaths(MainDialog& dialog, const QString& input) {
    editOf(dialog, ids::kInputEdit)->setText(input);
    editOf(dialog, ids::kOutputEdit)->setText("/nonexistent-dir/out.gba");
  }
  static void chooseTarget(MainDialog& dialog, int index) {
    chooseEntry(controlOf<QComboBox>(dialog, ids::kFitTarget), index);
  }

 private slots:
  void init() {
    services_ = ScriptedServices();
    recorder_ = RecordingRunner();
  }

  void theLineTellsSizeLengthAndCartridge_data() {
    QTest::addColumn<EstimateAnswer>("answer");
    QTest::addColumn<quint64>("target");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<bool>("error");
    const QString mib = R"(\d+\.\d MiB)";
    QTest::newRow("quick figures: the largest only")
        << answerOf(392, 30, std::nullopt) << quint64{0}
        << "^at most " + mib + " for 6:32 — fits a 16 MiB cartridge$" << false;
    QTest::newRow("sampled, likely a smaller cartridge")
        << answerOf(392, 30, 0.3) << quint64{0}
        << "^about " + mib + R"( \(at most \d+\.\d\) for 6:32 — fits a 16 MiB cartridge, likely an 8 MiB one$)"
        << false;
    QTest::newRow("sampled, same cartridge")
        << answerOf(20, 120, 0.9) << quint64{0}
        << "^about " + mib + R"( \(at most \d+\.\d\) for 0:20 — fits a 4 MiB cartridge$)" << false;
    QTest::newRow("only the largest passes 32 MiB")
        << answerOf(40 * 60, 120, 0.2) << quint64{0}
        << "^about " + mib + R"( \(at most \d+\.\d\) for 40:00 — may pass the 32 MiB a cartridge holds)" << false;
    QTest::newRow("even the lowest passes 32 MiB")
        << answerOf(60 * 60, 120, 0.2) << quint64{0}
        << "^at least " + mib + R"( for 1:00:00 — too long for a 32 MiB cartridge: at most 5\d:\d\d fits$)"
        << true;
    EstimateAnswer filled = answerOf(392, 120, std::nullopt);
    filled.targetBitrate = 39;
    filled.targetImageBytes = 16 * kMiB;
    filled.targetFilled = true;
    QTest::newRow("a target filled") << filled << quint64{16 * kMiB}
                                     << "^16.0 MiB for 6:32 at about 39 KB/s — fills the 16 MiB target$" << false;
    EstimateAnswer capped = filled;
    capped.targetBitrate = 500;
    capped.targetImageBytes = 3 * kMiB;
    capped.targetFilled = false;
    QTest::newRow("a target the highest bitrate cannot fill")
        << capped << quint64{32 * kMiB} << "^at most 3.0 MiB for 6:32 even at 500 KB/s — fits the 32 MiB target$"
        << false;
    EstimateAnswer shared = filled;
    shared.targetBitrate = 0;
    QTest::newRow("a target shared by several videos")
        << shared << quint64{16 * kMiB} << "^up to 16.0 MiB for 6:32 — fills the 16 MiB target$" << false;
    EstimateAnswer refused = filled;
    refused.targetRefusal = "The target size of 4194304 bytes cannot hold this video.";
    QTest::newRow("a target too small") << refused << quint64{4 * kMiB}
                                        << "^The target size of 4194304 bytes cannot hold this video.$" << true;
    EstimateAnswer unreadable;
    unreadable.problem = "The input file could not be opened.\nmore detail";
    QTest::newRow("unreadable input") << unreadable << quint64{0}
                                      << "^No estimate: The input file could not be opened.$" << false;
  }
  void theLineTellsSizeLengthAndCartridge() {
    QFETCH(EstimateAnswer, answer);
    QFETCH(quint64, target);
    QFETCH(QString, pattern);
    QFETCH(bool, error);
    const EstimateLine line = describeEstimate(answer, target);
    QVERIFY2(QRegularExpression(pattern).match(line.text).hasMatch(), qPrintable(line.text));
    QCOMPARE(line.error, error);
  }

  void quickFiguresComeFirstThenTheSample() {
    ScriptedEstimator script;
    // The sample waits until the test has seen the quick figures.
    script.answer = [&script](const EstimateRequest& request, EstimateDepth depth) {
      if (depth == EstimateDepth::kLength) script.shut();
      return ScriptedEstimator::answerFor(request, depth);
    };
    auto dialog = dialogWith(script);
    fillPaths(*dialog, "/v/392");
    QTRY_VERIFY_WITH_TIMEOUT(lineText(*dialog).startsWith("at most "), kPatienceMs);
    QVERIFY(lineText(*dialog).contains("for 6:32"));
    script.open();
    QTRY_VERIFY_WITH_TIMEOUT(lineText(*dialog).startsWith("about "), kPatienceMs);
    QVERIFY(!lineInErrorColour(*dialog));

    // The bitrate changes the figures; a title does not read the input again.
    const std::size_t before = script.calls().size();
    editOf(*dialog, ids::kRomTitle)->setText("NEW TITLE");
    QTest::qWait(400);
    QCOMPARE(script.calls().size(), before);
    editOf(*dialog, ids::kBitrate)->setText("40");
    QTRY_COMPARE_WITH_TIMEOUT(script.calls().size(), before + 1, kPatienceMs);
    script.open();
    QTRY_COMPARE_WITH_TIMEOUT(script.calls().size(), before + 2, kPatienceMs);
  }

  void staleAnswersAreDropped() {
    ScriptedEstimator script;
    script.honourCancel = false;
    std::vector<QString> shown;
    EstimateRunner runner(script.estimator(), [&](const EstimateAnswer& answer) {
      shown.push_back(describeEstimate(answer, 0).text);
    });
    EstimateRequest first;
    first.inputs = {"/v/30"};
    runner.request(first);
    // Both answers of the first request are posted before the second comes.
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (script.calls().size() < 2 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(1ms);
    QCOMPARE(script.calls().size(), std::size_t{2});
    EstimateRequest second = first;
    second.inputs = {"/v/60"};
    runner.request(second);
    QTRY_COMPARE_WITH_TIMEOUT(shown.size(), std::size_t{2}, kPatienceMs);
    for (const QString& text : shown) QVERIFY2(text.contains("for 1:00"), qPrintable(text));
  }

  void aNewRequestCancelsTheRunningOne() {
    ScriptedEstimator script;
    script.shut();
    auto dialog = dialogWith(script);
    fillPaths(*dialog, "/v/30");
    QTest::qWait(400);  // the first request is waiting at the gate
    editOf(*dialog, ids::kInputEdit)->setText("/v/60");
    QTRY_VERIFY_WITH_TIMEOUT(!script.calls().empty(), kPatienceMs);
    const ScriptedEstimator::Call first = script.calls().front();
    QCOMPARE(first.input, std::string("/v/30"));
    QVERIFY(first.cancelled);
    script.open();
    QTRY_VERIFY_WITH_TIMEOUT(lineText(*dialog).startsWith("about "), kPatienceMs);
    QVERIFY(lineText(*dialog).contains("for 1:00"));
  }

  void closingTheDialogStopsARunningEstimate() {
    ScriptedEstimator script;
    script.shut();
    auto dialog = dialogWith(script);
    fillPaths(*dialog, "/v/30");
    QTest::qWait(400);
    dialog.reset();  // waits for the estimate, which stops at its cancel
    QCOMPARE(script.calls().size(), std::size_t{1});
    QVERIFY(script.calls().front().cancelled);
  }

  void aTargetDrivesTheBitrateAndTheJob() {
    ScriptedEstimator script;
    script.answer = [](const EstimateRequest& request, EstimateDepth depth) {
      EstimateAnswer answer = ScriptedEstimator::answerFor(request, depth);
      if (request.job.fitBytes != 0) {
        answer.targetBitrate = 321;
        answer.targetImageBytes = request.job.fitBytes;
        answer.targetFilled = true;
      }
      return answer;
    };
    auto dialog = dialogWith(script);
    QLineEdit* bitrate = editOf(*dialog, ids::kBitrate);
    auto* twoPass = controlOf<QCheckBox>(*dialog, ids::kTwoPass);
    bitrate->setText("150");
    fillPaths(*dialog, "/v/392");
    QTRY_VERIFY_WITH_TIMEOUT(lineText(*dialog).startsWith("about "), kPatienceMs);

    chooseTarget(*dialog, 3);  // 16 MiB
    QTRY_COMPARE_WITH_TIMEOUT(bitrate->text(), QStringLiteral("321"), kPatienceMs);
    QVERIFY(bitrate->isReadOnly());
    QVERIFY(twoPass->isChecked());
    QVERIFY(!twoPass->isEnabled());
    QVERIFY2(lineText(*dialog).endsWith("fills the 16 MiB target"), qPrintable(lineText(*dialog)));
    controlOf<QPushButton>(*dialog, ids::kProcess)->click();
    QTRY_COMPARE_WITH_TIMEOUT(recorder_.calls(), 1, kPatienceMs);
    QCOMPARE(recorder_.lastJob().fitBytes, std::uint64_t{16 * kMiB});
    QCOMPARE(recorder_.lastJob().bitrate, 321);
    QTRY_VERIFY_WITH_TIMEOUT(!dialog->jobRunning(), kPatienceMs);
    // The job's end rereads the controls: the target and the bitrate stand.
    QCOMPARE(controlOf<QComboBox>(*dialog, ids::kFitTarget)->currentIndex(), 3);
    QVERIFY(bitrate->isReadOnly());

    chooseTarget(*dialog, 0);
    QCOMPARE(bitrate->text(), QStringLiteral("150"));
    QVERIFY(!bitrate->isReadOnly());
    QVERIFY(!twoPass->isChecked());
    QVERIFY(twoPass->isEnabled());
    controlOf<QPushButton>(*dialog, ids::kProcess)->click();
    QTRY_COMPARE_WITH_TIMEOUT(recorder_.calls(), 2, kPatienceMs);
    QCOMPARE(recorder_.lastJob().fitBytes, std::uint64_t{0});
    QCOMPARE(recorder_.lastJob().bitrate, 150);
    QVERIFY(!recorder_.lastJob().twoPass);
  }

  void theTwoPassBoxReachesTheJob() {
    ScriptedEstimator script;
    auto dialog = dialogWith(script);
    fillPaths(*dialog, "/v/30");
    controlOf<QCheckBox>(*dialog, ids::kTwoPass)->click();
    controlOf<QPushButton>(*dialog, ids::kProcess)->click();
    QTRY_COMPARE_WITH_TIMEOUT(recorder_.calls(), 1, kPatienceMs);
    QVERIFY(recorder_.lastJob().twoPass);
    QCOMPARE(recorder_.lastJob().fitBytes, std::uint64_t{0});
  }

  void aTargetTooSmallIsRefusedBeforeTheJob() {
    ScriptedEstimator script;
    script.answer = [](const EstimateRequest& request, EstimateDepth depth) {
      EstimateAnswer answer = ScriptedEstimator::answerFor(request, depth);
      if (request.job.fitBytes != 0) answer.targetRefusal = "The target size of 4194304 bytes cannot hold this video.";
      return answer;
    };
    auto dialog = dialogWith(script);
    fillPaths(*dialog, "/v/900");
    chooseTarget(*dialog, 1);
    QTRY_VERIFY_WITH_TIMEOUT(lineInErrorColour(*dialog), kPatienceMs);
    controlOf<QPushButton>(*dialog, ids::kProcess)->click();
    QCOMPARE(services_.messages.size(), 1);
    QCOMPARE(services_.messages.front().text,
             QStringLiteral("Input file error            (1000)\nThe target size of 4194304 bytes cannot hold this video."));
    QVERIFY(!dialog->jobRunning());
    QTest::qWait(100);
    QCOMPARE(recorder_.calls(), 0);
  }

  void theJobsWarningIsShownAndTheRowIsLockedMeanwhile() {
    ScriptedEstimator script;
    std::atomic<bool> release{false};
    auto dialog = dialogWith(script, [&release](const ConversionJob&, CancelSource&) {
      sendWarning("at 500 KB/s the image can reach 40.0 MiB", WarningAdvice::kTargetOfLargestCartridge);
      while (!release) std::this_thread::sleep_for(1ms);
      postDone(kJobOk);
      return kJobOk;
    });
    fillPaths(*dialog, "/v/30");
    QTRY_VERIFY_WITH_TIMEOUT(lineText(*dialog).startsWith("about "), kPatienceMs);
    controlOf<QPushButton>(*dialog, ids::kProcess)->click();
    QVERIFY(dialog->jobRunning());
    QVERIFY(!dialog->control(ids::kFitTarget)->isEnabled());
    QVERIFY(!dialog->control(ids::kTwoPass)->isEnabled());
    // The advice names the dialog's own control.
    QTRY_COMPARE_WITH_TIMEOUT(lineText(*dialog),
                              QStringLiteral("Warning: at 500 KB/s the image can reach 40.0 MiB (choosing 32 MiB "
                                             "under \"Fit to\" keeps it within)"),
                              kPatienceMs);
    release = true;
    QTRY_VERIFY_WITH_TIMEOUT(!dialog->jobRunning(), kPatienceMs);
    QVERIFY(dialog->control(ids::kFitTarget)->isEnabled());
    QVERIFY(dialog->control(ids::kTwoPass)->isEnabled());
    QTest::qWait(400);  // the settings did not change: the warning stays
    QVERIFY(lineText(*dialog).startsWith("Warning: "));
  }
};

QTEST_MAIN(SizePlanTest)
#include "test_size_plan.moc"
