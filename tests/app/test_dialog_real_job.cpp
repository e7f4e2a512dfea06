// Whole conversions through the dialog with the real job on clips made by
// ffmpeg: a written image, a refused input with its detail line, a cancel
// while frames are being encoded, and a cartridge of two videos with its
// menu's directory. Takes some seconds.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTableWidget>
#include <QTest>

#include "app/control_ids.h"
#include "app/video_list.h"
#include "dialog_fixture.h"
#include "format/directory_check.h"
#include "player/player_image.h"

using namespace zepra;
using namespace zepra::test;

class DialogRealJobTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  ScriptedServices services_;

  QString makeClip(const QString& name, int seconds) {
    const QString clip = dir_.filePath(name);
    const QString duration = QString::number(seconds);
    const int status = QProcess::execute(
        "ffmpeg", {"-v", "error", "-nostdin", "-y", "-f", "lavfi", "-i",
                   "testsrc2=size=160x120:rate=30:duration=" + duration, "-f", "lavfi", "-i",
                   "sine=frequency=440:duration=" + duration, "-c:v", "mpeg4", "-q:v", "4", "-c:a",
                   "pcm_s16le", "-shortest", clip});
    return status == 0 ? clip : QString();
  }
  QStringList temporaryFiles() const {
    return QDir(dir_.filePath("tmp")).entryList(QDir::Files | QDir::NoDotAndDotDot);
  }
  QString writeFile(const QString& name, const QByteArray& contents) {
    QFile file(dir_.filePath(name));
    const bool written = file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size();
    return written ? file.fileName() : QString();
  }
  QByteArray contentsOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  }
  // Several videos as a user gives them: dropped together on the list.
  static bool dropOnTheList(MainDialog& dialog, const QStringList& paths) {
    return dropFiles(dialog.videoList()->table()->viewport(), paths);
  }
  void start(MainDialog& dialog, const QString& input, const QString& output) {
    if (!input.isEmpty()) editOf(dialog, ids::kInputEdit)->setText(input);
    editOf(dialog, ids::kOutputEdit)->setText(output);
    editOf(dialog, ids::kRomTitle)->setText("DIALOG CLIP");
    controlOf<QPushButton>(dialog, ids::kProcess)->click();
    QVERIFY(dialog.jobRunning());
  }

 private slots:
  void initTestCase() {
    QVERIFY(dir_.isValid());
    QVERIFY(QDir(dir_.path()).mkpath("tmp"));
    // The job's stream file goes to a folder of this test's own.
    qputenv("TMPDIR", dir_.filePath("tmp").toUtf8());
  }
  void init() { services_ = ScriptedServices(); }

  void aClipBecomesAnImage() {
    const QString clip = makeClip("clip.avi", 1);
    QVERIFY(!clip.isEmpty());
    const QString output = dir_.filePath("clip.gba");
    MainDialog dialog(conversionJobRunner(), &services_);
    QSignalSpy titles(&dialog, &QWidget::windowTitleChanged);
    start(dialog, clip, output);
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.jobRunning(), 120000);
    QVERIFY2(services_.messages.isEmpty(),
             qPrintable(services_.messages.isEmpty() ? "" : services_.messages.front().text));
    QCOMPARE(services_.beeps, 1);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("ZEPRA"));
    QVERIFY(titles.size() >= 2);
    QVERIFY(titles.front().front().toString().endsWith("% - Working - ZEPRA"));
    QVERIFY(temporaryFiles().isEmpty());

    QFile file(output);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray image = file.readAll();
    const auto player = playerImage();
    QVERIFY(image.size() > static_cast<qsizetype>(player.size()));
    QCOMPARE(image.size() % 0x8000, 0);
    QCOMPARE(image.mid(0xA0, 12), QByteArray("DIALOG CLIP\0", 12));
    const QByteArray playerBytes(reinterpret_cast<const char*>(player.data()),
                                 static_cast<qsizetype>(player.size()));
    QCOMPARE(image.left(0xA0), playerBytes.left(0xA0));
    QCOMPARE(image.mid(0xAC, playerBytes.size() - 0xAC), playerBytes.mid(0xAC));
  }

  void aFileThatIsNoVideoShowsTheCodeAndTheDetail() {
    const QString input = writeFile("notes.avi", "these are notes, not a video\n");
    QVERIFY(!input.isEmpty());
    const QString output = dir_.filePath("notes.gba");
    MainDialog dialog(conversionJobRunner(), &services_);
    start(dialog, input, output);
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.jobRunning(), 60000);
    QCOMPARE(services_.messages.size(), 1);
    const QStringList lines = services_.messages.front().text.split('\n');
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines.front().startsWith("Input file error            ("), qPrintable(lines.front()));
    QVERIFY(!lines.back().isEmpty());
    QCOMPARE(services_.messages.front().caption, QString::fromUtf8("错误"));
    QVERIFY(!QFile::exists(output));
    QVERIFY(temporaryFiles().isEmpty());
  }

  void cancelStopsTheJobAndWritesNothing() {
    const QString clip = makeClip("long.avi", 20);
    QVERIFY(!clip.isEmpty());
    const QString output = dir_.filePath("long.gba");
    MainDialog dialog(conversionJobRunner(), &services_);
    dialog.show();
    start(dialog, clip, output);
    // Frames are being encoded once the title shows a percentage.
    QTRY_VERIFY_WITH_TIMEOUT(dialog.windowTitle().endsWith("% - Working - ZEPRA"), 60000);
    controlOf<QPushButton>(dialog, ids::kExit)->click();
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.jobRunning(), 30000);
    QCOMPARE(services_.messages.size(), 1);
    QCOMPARE(services_.messages.front().text, QStringLiteral("Process Canceled"));
    QCOMPARE(controlOf<QPushButton>(dialog, ids::kExit)->text(), QStringLiteral("  Exit"));
    QVERIFY(controlOf<QPushButton>(dialog, ids::kProcess)->isEnabled());
    QVERIFY(!QFile::exists(output));
    QVERIFY(temporaryFiles().isEmpty());
  }

  void twoVideosBecomeACartridgeWithAMenu() {
    const QString first = makeClip("first.avi", 1);
    const QString second = makeClip("second.avi", 2);
    QVERIFY(!first.isEmpty() && !second.isEmpty());
    const QString output = dir_.filePath("season.gba");
    MainDialog dialog(conversionJobRunner(), &services_);
    QVERIFY(dropOnTheList(dialog, {first, second}));
    QCOMPARE(dialog.videoList()->count(), 2);
    dialog.videoList()->rename(1, QString::fromUtf8("Zwölf"));
    dialog.videoList()->table()->selectRow(1);
    dialog.videoList()->moveSelected(-1);
    QSignalSpy titles(&dialog, &QWidget::windowTitleChanged);
    start(dialog, {}, output);
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.jobRunning(), 120000);
    QVERIFY2(services_.messages.isEmpty(),
             qPrintable(services_.messages.isEmpty() ? "" : services_.messages.front().text));
    QCOMPARE(services_.beeps, 1);
    QVERIFY(temporaryFiles().isEmpty());
    bool toldTheSecond = false;
    for (const QList<QVariant>& title : titles)
      toldTheSecond |= title.front().toString().startsWith("video 2 of 2: first");
    QVERIFY(toldTheSecond);

    // The menu's directory follows the player: the videos in the list's
    // order, named as the menu shows them, each stream whole and in place.
    const QByteArray image = contentsOf(output);
    const auto player = playerImage();
    const auto at = static_cast<std::uint32_t>(player.size());
    QVERIFY(image.size() > static_cast<qsizetype>(at + ZEPRA_DIRECTORY_HEADER_BYTES));
    QCOMPARE(image.mid(0xA0, 12), QByteArray("DIALOG CLIP\0", 12));
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(image.constData());
    QCOMPARE(zepraDirectoryCount(bytes, at), 2u);
    const char* const names[] = {"Zw?lf", "first"};
    const std::uint32_t seconds[] = {2, 1};
    for (std::uint32_t i = 0; i < 2; ++i) {
      QVERIFY(zepraDirectoryEntryValid(bytes, at, i));
      const std::uint8_t* entry = zepraDirectoryEntry(bytes, at, i);
      QCOMPARE(QByteArray(reinterpret_cast<const char*>(entry)), QByteArray(names[i]));
      QCOMPARE(zepraLe32(entry + ZEPRA_ENTRY_SECONDS_AT), seconds[i]);
    }
  }

  void aFailingSecondVideoIsNamedAndNothingIsWritten() {
    const QString clip = makeClip("good.avi", 1);
    QVERIFY(!clip.isEmpty());
    const QString broken = writeFile("broken.avi", "not a video at all\n");
    const QString output = writeFile("older.gba", "older image");
    QVERIFY(!broken.isEmpty() && !output.isEmpty());
    services_.replies = {QMessageBox::Yes};  // replace the older image
    MainDialog dialog(conversionJobRunner(), &services_);
    QVERIFY(dropOnTheList(dialog, {clip, broken}));
    start(dialog, {}, output);
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.jobRunning(), 120000);
    QCOMPARE(services_.messages.size(), 2);  // the question, then the failure
    const ShownMessage failure = services_.messages.back();
    QVERIFY2(failure.text.startsWith("Input file error            (4)\n"), qPrintable(failure.text));
    QVERIFY2(failure.text.contains("\"" + broken + "\""), qPrintable(failure.text));
    QCOMPARE(contentsOf(output), QByteArray("older image"));
    QVERIFY(temporaryFiles().isEmpty());
  }
};

QTEST_MAIN(DialogRealJobTest)
#include "test_dialog_real_job.moc"
