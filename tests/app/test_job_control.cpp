// The dialog's side of a job: start, progress and status, cancel and the
// outcome, driven by job runners that stand in for the conversion.

#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "app/control_ids.h"
#include "dialog_fixture.h"
#include "job/conversion_job.h"

using namespace zepra;
using namespace zepra::test;
using namespace std::chrono_literals;

namespace {

// The job doubles run on an idle-priority worker, which a loaded machine can
// leave waiting for seconds; a wait that ends early passes at once.
constexpr int kPatienceMs = 60000;

// Blocks the worker until the test lets it go; never blocks the test.
struct Gate {
  std::atomic<bool> entered{false};
  std::atomic<bool> open{false};
  void pass() {
    entered = true;
    while (!open) std::this_thread::sleep_for(1ms);
  }
};

// A job double that runs until its cancel source asks it to stop (at most a
// minute), then ends as a cancelled job does.
int stopWhenCancelled(const CancelSource& cancel) {
  const auto deadline = std::chrono::steady_clock::now() + 60s;
  while (!cancel.cancelRequested() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(1ms);
  }
  const int result = cancel.cancelRequested() ? kJobRunFailed : kJobOk;
  jobCancelled = cancel.cancelRequested();
  postDone(result);
  return result;
}

}  // namespace

class JobControlTest : public QObject {
  Q_OBJECT

 private:
  ScriptedServices services_;

  void fillPaths(MainDialog& dialog) {
    editOf(dialog, ids::kInputEdit)->setText("/videos/in.avi");
    editOf(dialog, ids::kOutputEdit)->setText("/nonexistent-dir/out.gba");
  }
  void process(MainDialog& dialog) {
    controlOf<QPushButton>(dialog, ids::kProcess)->click();
  }
  void expectIdle(MainDialog& dialog) {
    QVERIFY(!dialog.jobRunning());
    QCOMPARE(dialog.windowTitle(), QStringLiteral("ZEPRA"));
    QCOMPARE(controlOf<QPushButton>(dialog, ids::kExit)->text(), QStringLiteral("  Exit"));
    QCOMPARE(controlOf<QProgressBar>(dialog, ids::kProgress)->value(), 0);
    for (int id : {1001, 1002, 1003, 1004, 1005, 1006, 1007, 1008, 1009, 1010, 1})
      QVERIFY2(dialog.control(id)->isEnabled(), qPrintable(QString::number(id)));
    for (int id : ids::kOptionControls)  // the preset's rules hold again
      QVERIFY2(!dialog.control(id)->isEnabled(), qPrintable(QString::number(id)));
  }

 private slots:
  void init() { services_ = ScriptedServices(); }

  void outcomesAreToldByCode_data() {
    QTest::addColumn<bool>("cancelled");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("detail");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("caption");
    const QString error = QString::fromUtf8("错误");
    const QString unexpected = QString::fromUtf8("发生意外错误，程序运行已结束，请退出程序。");
    QTest::newRow("success") << false << 0 << "" << "" << "";
    QTest::newRow("cancelled") << true << 5 << "" << "Process Canceled" << "ZEPRA";
    QTest::newRow("cancelled wins over any code") << true << 0 << "x" << "Process Canceled" << "ZEPRA";
    QTest::newRow("unexpected") << false << 999 << "" << unexpected << error;
    QTest::newRow("unexpected ignores detail") << false << 999 << "boom" << unexpected << error;
    for (int code : {2, 3, 4, 5, 6, 7, 1001, 1002, 1003})
      QTest::newRow(qPrintable(QString("code %1").arg(code)))
          << false << code << "" << QString("Input file error            (%1)").arg(code) << error;
    QTest::newRow("builder with detail")
        << false << 1000 << "cannot write /roms/a.gba: No space left on device"
        << "Input file error            (1000)\ncannot write /roms/a.gba: No space left on device"
        << error;
    QTest::newRow("stream not opened with detail")
        << false << 7 << "permission denied" << "Input file error            (7)\npermission denied"
        << error;
  }
  void outcomesAreToldByCode() {
    QFETCH(bool, cancelled);
    QFETCH(int, code);
    QFETCH(QString, detail);
    QFETCH(QString, text);
    QFETCH(QString, caption);
    MainDialog dialog(
        [=](const ConversionJob&, CancelSource&) {
          if (!detail.isEmpty()) setLastErrorText(detail.toStdString());
          if (cancelled) jobCancelled = true;
          postDone(code);
          return code;
        },
        &services_);
    fillPaths(dialog);
    process(dialog);
    QVERIFY(dialog.jobRunning());
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.jobRunning(), kPatienceMs);
    if (text.isEmpty()) {
      QCOMPARE(services_.beeps, 1);
      QVERIFY(services_.messages.isEmpty());
    } else {
      QCOMPARE(services_.beeps, 0);
      QCOMPARE(services_.messages.size(), 1);
      const ShownMessage& m = services_.messages.front();
      QCOMPARE(m.text, text);
      QCOMPARE(m.caption, caption);
      QCOMPARE(m.icon, QMessageBox::Critical);
      QCOMPARE(m.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }
    expectIdle(dialog);
  }

  void aJobStartsWithControlsLockedAndStateCleared() {
    Gate gate;
    std::atomic<bool> targetSet{false}, flagsCleared{false}, idle{false};
    MainDialog dialog(
        [&](const ConversionJob&, CancelSource&) {
          targetSet = notifyWindow.load() != nullptr;
          flagsCleared = !jobCancelled && lastErrorText().empty();
          errno = 0;
          idle = getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid))) == 19;
          gate.pass();
          postDone(kJobOk);
          return kJobOk;
        },
        &services_);
    jobCancelled = true;
    setLastErrorText("left from an earlier job");
    fillPaths(dialog);
    process(dialog);
    QTRY_VERIFY_WITH_TIMEOUT(gate.entered, kPatienceMs);
    QVERIFY(targetSet && flagsCleared && idle);
    for (int id : ids::kJobControls)
      QVERIFY2(!dialog.control(id)->isEnabled(), qPrintable(QString::number(id)));
    auto* exit = controlOf<QPushButton>(dialog, ids::kExit);
    QVERIFY(exit->isEnabled());
    QCOMPARE(exit->text(), QStringLiteral(" Cancel"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("ZEPRA 1.4.0  English"));
    gate.open = true;
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.jobRunning(), kPatienceMs);
    QCOMPARE(services_.beeps, 1);
    expectIdle(dialog);
  }

  void progressAndStatusReachTheBarAndTitle() {
    QList<int> seenBySender;  // what the bar showed when each send returned
    std::atomic<int> barValue{0};
    MainDialog dialog(
        [&](const ConversionJob&, CancelSource&) {
          for (int permille : {370, 371, 375, 379, 380, 1004}) {
            sendProgress(permille);
            seenBySender.append(barValue);
          }
          sendStatus("Closing file...     ...");
          sendStatus("Finalizing.....");
          postDone(kJobOk);
          return kJobOk;
        },
        &services_);
    auto* bar = controlOf<QProgressBar>(dialog, ids::kProgress);
    connect(bar, &QProgressBar::valueChanged, this, [&](int v) { barValue = v; });
    QSignalSpy titles(&dialog, &QWidget::windowTitleChanged);
    fillPaths(dialog);
    process(dialog);
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.jobRunning(), kPatienceMs);
    QStringList shown;
    for (const QList<QVariant>& t : titles) shown << t.front().toString();
    QCOMPARE(shown, QStringList({"37% - Working - ZEPRA", "38% - Working - ZEPRA",
                                 "100% - Working - ZEPRA", "Closing file...     ... - ZEPRA",
                                 "Finalizing..... - ZEPRA", "ZEPRA"}));
    QCOMPARE(seenBySender, QList<int>({370, 371, 375, 379, 380, 1000}));
    QCOMPARE(bar->value(), 0);
  }

  void theJobGetsTheSettingsAndThePresetReturnsAfterIt() {
    RecordingRunner recorder;
    MainDialog dialog(recorder.runner(), &services_);
    fillPaths(dialog);
    editOf(dialog, ids::kRomTitle)->setText("MY MOVIE");
    editOf(dialog, ids::kBitrate)->setText("200");
    // A value the preset does not allow, set behind the locked list's back.
    controlOf<QComboBox>(dialog, ids::kFrameRate)->setCurrentIndex(4);
    process(dialog);
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.jobRunning(), kPatienceMs);
    const ConversionJob job = recorder.lastJob();
    QCOMPARE(job.inputPath, std::string("/videos/in.avi"));
    QCOMPARE(job.romTitle, std::string("MY MOVIE"));
    QCOMPARE(job.bitrate, 200);
    QCOMPARE(job.frameRateIndex, zepra::FrameRateChoice::kKeep1of2);
    QCOMPARE(dialog.settings().frameRateIndex, zepra::FrameRateChoice::kAuto);
    QCOMPARE(controlOf<QComboBox>(dialog, ids::kFrameRate)->currentIndex(), 0);
    QCOMPARE(editOf(dialog, ids::kBitrate)->text(), QStringLiteral("200"));
  }

  // Cancel, Escape and the close box all ask the dialog's own job to stop;
  // one press is enough, and the window stays.
  void cancelReachesTheJobsOwnCancelSource_data() {
    QTest::addColumn<int>("how");
    QTest::newRow("cancel button") << 0;
    QTest::newRow("escape key") << 1;
    QTest::newRow("close box") << 2;
  }
  void cancelReachesTheJobsOwnCancelSource() {
    QFETCH(int, how);
    std::atomic<bool> listening{false};
    MainDialog dialog(
        [&](const ConversionJob&, CancelSource& cancel) {
          listening = true;
          sendProgress(120);
          return stopWhenCancelled(cancel);
        },
        &services_);
    dialog.show();
    fillPaths(dialog);
    process(dialog);
    QTRY_VERIFY_WITH_TIMEOUT(listening, kPatienceMs);
    if (how == 0) controlOf<QPushButton>(dialog, ids::kExit)->click();
    if (how == 1) QTest::keyClick(&dialog, Qt::Key_Escape);
    if (how == 2) QVERIFY(!dialog.close());  // the window stays while the job runs
    QVERIFY(dialog.isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.jobRunning(), kPatienceMs);
    QCOMPARE(services_.messages.size(), 1);
    QCOMPARE(services_.messages.front().text, QStringLiteral("Process Canceled"));
    QCOMPARE(services_.messages.front().caption, QStringLiteral("ZEPRA"));
    QVERIFY(dialog.isVisible());
    expectIdle(dialog);
  }

  // A cancel pressed before the job first looks is kept for it, not lost.
  void aCancelBeforeTheJobLooksIsKeptForIt() {
    Gate gate;
    MainDialog dialog(
        [&](const ConversionJob&, CancelSource& cancel) {
          gate.pass();
          return stopWhenCancelled(cancel);
        },
        &services_);
    fillPaths(dialog);
    process(dialog);
    QTRY_VERIFY_WITH_TIMEOUT(gate.entered, kPatienceMs);
    controlOf<QPushButton>(dialog, ids::kExit)->click();
    QVERIFY(dialog.jobRunning());
    QVERIFY(services_.messages.isEmpty());
    gate.open = true;
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.jobRunning(), kPatienceMs);
    QCOMPARE(services_.beeps, 0);
    QCOMPARE(services_.messages.size(), 1);
    QCOMPARE(services_.messages.front().text, QStringLiteral("Process Canceled"));
  }

};

QTEST_MAIN(JobControlTest)
#include "test_job_control.moc"
