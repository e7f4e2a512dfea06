// The list of a cartridge's videos in the dialog: filled by dropped and
// chosen files, renamed, reordered, emptied back to the one video of the
// input field, held to the menu's limit, and handed to the cartridge job
// instead of the one-video job.

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <initializer_list>
#include <thread>

#include "app/control_ids.h"
#include "app/video_list.h"
#include "dialog_fixture.h"

using namespace zepra;
using namespace zepra::test;
using namespace std::chrono_literals;

namespace {

// A cartridge job that finishes at once, remembering what it got; with
// `hold` set it waits until the test opens it.
struct RecordingCartridge {
  struct State {
    std::mutex mutex;
    std::atomic<int> calls{0};
    std::atomic<bool> hold{false};
    ConversionJob job;
    std::vector<CartridgeInput> videos;
  };
  std::shared_ptr<State> state = std::make_shared<State>();

  CartridgeRunner runner() const {
    return [s = state](const ConversionJob& job, std::span<const CartridgeInput> videos, CancelSource&) {
      {
        std::lock_guard lock(s->mutex);
        s->job = job;
        s->videos.assign(videos.begin(), videos.end());
      }
      ++s->calls;
      while (s->hold) std::this_thread::sleep_for(1ms);
      postDone(0);
      return 0;
    };
  }
  std::vector<CartridgeInput> videos() const {
    std::lock_guard lock(state->mutex);
    return state->videos;
  }
};

QStringList pathsOf(const std::vector<CartridgeInput>& videos) {
  QStringList paths;
  for (const CartridgeInput& video : videos) paths << QString::fromStdString(video.inputPath);
  return paths;
}

QStringList namesOf(const std::vector<CartridgeInput>& videos) {
  QStringList names;
  for (const CartridgeInput& video : videos) names << QString::fromStdString(video.name);
  return names;
}

QStringList numberedPaths(int count, const QString& folder = QStringLiteral("/videos")) {
  QStringList paths;
  for (int i = 1; i <= count; ++i) paths << QStringLiteral("%1/episode %2.mkv").arg(folder).arg(i);
  return paths;
}

// Empty files of these names in dir: the paths of those created.
QStringList emptyFiles(const QTemporaryDir& dir, std::initializer_list<const char*> names) {
  QStringList paths;
  for (const char* name : names) {
    QFile file(dir.filePath(name));
    if (file.open(QIODevice::WriteOnly)) paths << file.fileName();
  }
  return paths;
}

}  // namespace

class VideoListTest : public QObject {
  Q_OBJECT

 private:
  ScriptedServices services_;
  RecordingRunner single_;
  RecordingCartridge cartridge_;
  std::unique_ptr<MainDialog> dialog_;

  MainDialog& dialog() { return *dialog_; }
  VideoList& list() { return *dialog_->videoList(); }
  QTableWidget& table() { return *list().table(); }
  QPushButton* button(const char* text) {
    for (QPushButton* b : list().findChildren<QPushButton*>())
      if (b->text() == QLatin1String(text)) return b;
    return nullptr;
  }

  // Drops files where the user lets go of them: on the table's rows.
  bool drop(const QStringList& paths) { return dropFiles(table().viewport(), paths); }
  void select(int row) { table().selectRow(row); }
  QString cell(int row, int column) { return table().item(row, column)->text(); }

 private slots:
  void init() {
    services_ = ScriptedServices();
    single_ = RecordingRunner();
    cartridge_ = RecordingCartridge();
    dialog_ = std::make_unique<MainDialog>(single_.runner(), &services_, nullptr, cartridge_.runner());
  }
  void cleanup() { dialog_.reset(); }

  void severalDroppedFilesFollowTheInputFieldsVideo() {
    editOf(dialog(), ids::kInputEdit)->setText("/videos/opening.avi");
    QVERIFY(drop({"/videos/Pilot.mkv", "/videos/second one.mp4"}));
    QCOMPARE(pathsOf(list().inputs()),
             QStringList({"/videos/opening.avi", "/videos/Pilot.mkv", "/videos/second one.mp4"}));
    QCOMPARE(namesOf(list().inputs()), QStringList({"opening", "Pilot", "second one"}));
    QCOMPARE(cell(2, VideoList::kMenuColumn), QStringLiteral("second one"));
    QCOMPARE(cell(2, VideoList::kFileColumn), QStringLiteral("/videos/second one.mp4"));
    // The list holds the videos now; the input field is no second place for one.
    QLineEdit* input = editOf(dialog(), ids::kInputEdit);
    QVERIFY(input->text().isEmpty());
    QVERIFY(!input->isEnabled());
    QVERIFY(!dialog().control(ids::kInputBrowse)->isEnabled());
    QCOMPARE(input->placeholderText(), QStringLiteral("3 videos, listed below"));
    QVERIFY(dialog().readControls());
    QCOMPARE(pathsOf(dialog().videos()), pathsOf(list().inputs()));

    QVERIFY(drop({"/videos/third.avi"}));  // one more joins the end
    QCOMPARE(list().count(), 4);
    QCOMPARE(pathsOf(dialog().videos()).back(), QStringLiteral("/videos/third.avi"));
    QCOMPARE(input->placeholderText(), QStringLiteral("4 videos, listed below"));
  }

  void oneDroppedFileIsStillTheOneVideo() {
    QVERIFY(drop({"/videos/only.avi"}));
    QCOMPARE(list().count(), 0);
    QCOMPARE(editOf(dialog(), ids::kInputEdit)->text(), QStringLiteral("/videos/only.avi"));
    QVERIFY(editOf(dialog(), ids::kInputEdit)->isEnabled());
    // Something that is no local file is not taken at all.
    QMimeData data;
    data.setUrls({QUrl("https://example.org/clip.avi")});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(table().viewport(), &enter);
    QVERIFY(!enter.isAccepted());
  }

  void namesAreEditedAndTheMenuShowsWhatTheConsoleCan() {
    QTemporaryDir dir;
    QVERIFY(drop(numberedPaths(2, dir.path())));
    for (const QString& path : numberedPaths(2, dir.path())) QVERIFY(QFile(path).open(QIODevice::WriteOnly));
    editOf(dialog(), ids::kOutputEdit)->setText(dir.filePath("cart.gba"));
    struct Case {
      QString typed;
      QString name;  // kept for the job
      QString menu;  // what a menu line shows
      bool marked;   // shown apart from the name
    };
    const QString longName(35, 'x');
    const Case cases[] = {
        {"First night", "First night", "First night", false},
        {QString::fromUtf8("Secönd"), QString::fromUtf8("Secönd"), "Sec?nd", true},
        {QString::fromUtf8("日本"), QString::fromUtf8("日本"), "??", true},
        {longName, longName, QString(kMaxMenuNameChars, 'x'), true},
        {"  Pilot  ", "Pilot", "Pilot", false},
        {"   ", "episode 1", "episode 1", false},  // blank: the file's name again
    };
    for (const Case& c : cases) {
      table().item(0, VideoList::kNameColumn)->setText(c.typed);
      QCOMPARE(QString::fromStdString(list().inputs().front().name), c.name);
      QCOMPARE(cell(0, VideoList::kNameColumn), c.name);
      QTableWidgetItem* menu = table().item(0, VideoList::kMenuColumn);
      QCOMPARE(menu->text(), c.menu);
      QCOMPARE(menu->font().italic(), c.marked);
      QCOMPARE(menu->toolTip().isEmpty(), !c.marked);
    }
    // Names are typed into the name column only.
    for (int column : {VideoList::kMenuColumn, VideoList::kFileColumn})
      QVERIFY(!(table().item(1, column)->flags() & Qt::ItemIsEditable));
    dialog().show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog()));
    table().editItem(table().item(1, VideoList::kNameColumn));
    QWidget* editor = QApplication::focusWidget();
    QVERIFY(qobject_cast<QLineEdit*>(editor));
    static_cast<QLineEdit*>(editor)->selectAll();
    QTest::keyClicks(editor, "Finale");
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(namesOf(dialog().videos()), QStringList({"episode 1", "Finale"}));
    // Return ends the edit only: it is not the dialog's "Process".
    QTest::qWait(50);
    QCOMPARE(cartridge_.state->calls.load(), 0);
    QVERIFY(!dialog().jobRunning());
  }

  void upAndDownReorderByButtonAndKey() {
    QVERIFY(drop(numberedPaths(3)));  // selects the first of them
    QVERIFY(!button("Up")->isEnabled());
    QVERIFY(button("Down")->isEnabled());
    button("Down")->click();
    QCOMPARE(namesOf(list().inputs()), QStringList({"episode 2", "episode 1", "episode 3"}));
    QTest::keyClick(&table(), Qt::Key_Down, Qt::ControlModifier);
    QCOMPARE(namesOf(list().inputs()), QStringList({"episode 2", "episode 3", "episode 1"}));
    // At the end it goes no further, and its button says so.
    QVERIFY(!button("Down")->isEnabled());
    QTest::keyClick(&table(), Qt::Key_Down, Qt::ControlModifier);
    QCOMPARE(namesOf(list().inputs()), QStringList({"episode 2", "episode 3", "episode 1"}));
    QTest::keyClick(&table(), Qt::Key_Up, Qt::ControlModifier);
    button("Up")->click();
    QCOMPARE(namesOf(list().inputs()), QStringList({"episode 1", "episode 2", "episode 3"}));
    QVERIFY(!button("Up")->isEnabled());
    // A name goes with its video.
    list().rename(2, "Last");
    select(2);
    button("Up")->click();
    QCOMPARE(namesOf(list().inputs()), QStringList({"episode 1", "Last", "episode 2"}));
    QCOMPARE(pathsOf(list().inputs())[1], numberedPaths(3)[2]);
  }

  void removingBackToOneVideoRunsTheOneVideoJob() {
    editOf(dialog(), ids::kOutputEdit)->setText("/nonexistent-dir/out.gba");
    QVERIFY(drop(numberedPaths(3)));
    select(1);
    QTest::keyClick(&table(), Qt::Key_Delete);
    QCOMPARE(namesOf(list().inputs()), QStringList({"episode 1", "episode 3"}));
    select(0);
    button("Remove")->click();
    // One video is left: it is the input field's again, and the list is empty.
    QCOMPARE(list().count(), 0);
    QLineEdit* input = editOf(dialog(), ids::kInputEdit);
    QCOMPARE(input->text(), numberedPaths(3)[2]);
    QVERIFY(input->isEnabled());
    QVERIFY(dialog().control(ids::kInputBrowse)->isEnabled());
    QVERIFY(input->placeholderText().isEmpty());

    controlOf<QPushButton>(dialog(), ids::kProcess)->click();
    QTRY_COMPARE_WITH_TIMEOUT(single_.calls(), 1, 60000);
    QTRY_VERIFY_WITH_TIMEOUT(!dialog().jobRunning(), 60000);
    QCOMPARE(QString::fromStdString(single_.lastJob().inputPath), numberedPaths(3)[2]);
    QCOMPARE(cartridge_.state->calls.load(), 0);
  }

  void theMenusLimitIsRefusedAtOnce() {
    struct Case {
      const char* what;
      QString inField;
      int listed;   // videos in the list before
      int dropped;
      int after;    // videos in the list after
    };
    const Case cases[] = {
        {"a full menu", "", 0, kMaxCartridgeVideos, kMaxCartridgeVideos},
        {"one more than a menu holds", "", 0, kMaxCartridgeVideos + 1, 0},
        {"a full menu and the input field's", "/videos/opening.avi", 0, kMaxCartridgeVideos, 0},
        {"one more for a full list", "", kMaxCartridgeVideos, 1, kMaxCartridgeVideos},
        {"two more for a list of 63", "", kMaxCartridgeVideos - 1, 2, kMaxCartridgeVideos - 1},
    };
    for (const Case& c : cases) {
      init();
      if (c.listed > 0) QVERIFY(drop(numberedPaths(c.listed, "/listed")));
      editOf(dialog(), ids::kInputEdit)->setText(c.inField);
      drop(numberedPaths(c.dropped));
      QVERIFY2(list().count() == c.after, c.what);
      const bool refused = list().count() == c.listed && c.dropped > 0;
      QCOMPARE(services_.messages.size(), refused ? 1 : 0);
      if (refused) {
        QVERIFY2(services_.messages.front().text.contains(QStringLiteral("at most %1 videos").arg(kMaxCartridgeVideos)),
                 qPrintable(services_.messages.front().text));
        // Nothing was lost: the input field keeps its video.
        QCOMPARE(editOf(dialog(), ids::kInputEdit)->text(), c.inField);
      }
    }
  }

  void aPathTooLongForTheJobIsRefusedWithTheOthers() {
    const QString tooLong = "/videos/" + QString(static_cast<int>(kMaxPathLength), 'v') + ".avi";
    drop({"/videos/fine.avi", tooLong});
    QCOMPARE(list().count(), 0);
    QCOMPARE(services_.messages.size(), 1);
    QVERIFY(services_.messages.front().text.contains(tooLong));
  }

  void filesTheProgramIsStartedWithAreTakenAsDropped() {
    dialog().takeInputFiles({"clips/a.avi", "clips/b.avi"});
    QCOMPARE(pathsOf(list().inputs()), QStringList({QDir::current().absoluteFilePath("clips/a.avi"),
                                                    QDir::current().absoluteFilePath("clips/b.avi")}));
    init();
    dialog().takeInputFiles({"clips/a.avi"});
    QCOMPARE(list().count(), 0);
    QCOMPARE(editOf(dialog(), ids::kInputEdit)->text(), QDir::current().absoluteFilePath("clips/a.avi"));
  }

  void addVideosChoosesSeveralFiles() {
    editOf(dialog(), ids::kInputEdit)->setText("/videos/opening.avi");
    services_.chosenFileLists = {{"/more/a.avi", "/more/b.avi"}, {}};
    button("Add videos...")->click();
    QCOMPARE(services_.fileRequests.size(), 1);
    const FileRequest request = services_.fileRequests.front();
    QVERIFY(!request.save);
    QCOMPARE(request.directory, QStringLiteral("/videos"));
    QVERIFY(request.filters.front().contains("*.avi"));
    QCOMPARE(pathsOf(dialog().videos()), QStringList({"/videos/opening.avi", "/more/a.avi", "/more/b.avi"}));
    button("Add videos...")->click();  // cancelled: nothing changes
    QCOMPARE(services_.fileRequests.back().directory, QStringLiteral("/more"));
    QCOMPARE(list().count(), 3);

    // An invalid field is told first, as for every file dialog.
    editOf(dialog(), ids::kBitrate)->setText("12a");
    button("Add videos...")->click();
    QCOMPARE(services_.fileRequests.size(), 2);
    QCOMPARE(services_.messages.size(), 1);
  }

  void processRunsTheCartridgeJobWithTheList() {
    QTemporaryDir dir;
    const QStringList paths = emptyFiles(dir, {"one.avi", "two.avi"});
    QCOMPARE(paths.size(), 2);
    QVERIFY(drop(paths));
    list().rename(1, "Second");
    editOf(dialog(), ids::kOutputEdit)->setText(dir.filePath("cart.gba"));
    editOf(dialog(), ids::kRomTitle)->setText("SEASON");
    editOf(dialog(), ids::kBitrate)->setText("60");
    cartridge_.state->hold = true;
    controlOf<QPushButton>(dialog(), ids::kProcess)->click();
    QVERIFY(dialog().jobRunning());
    // While it runs, the list is as still as every other control.
    QVERIFY(!list().isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(cartridge_.state->calls.load(), 1, 60000);
    cartridge_.state->hold = false;
    QTRY_VERIFY_WITH_TIMEOUT(!dialog().jobRunning(), 60000);
    QCOMPARE(single_.calls(), 0);
    QCOMPARE(pathsOf(cartridge_.videos()), paths);
    QCOMPARE(namesOf(cartridge_.videos()), QStringList({"one", "Second"}));
    {
      std::lock_guard lock(cartridge_.state->mutex);
      QCOMPARE(cartridge_.state->job.romTitle, std::string("SEASON"));
      QCOMPARE(cartridge_.state->job.bitrate, 60);
      QCOMPARE(QString::fromStdString(cartridge_.state->job.outputPath), dir.filePath("cart.gba"));
    }
    QCOMPARE(services_.beeps, 1);
    QVERIFY(list().isEnabled());
    QVERIFY(!editOf(dialog(), ids::kInputEdit)->isEnabled());
    QVERIFY(controlOf<QPushButton>(dialog(), ids::kProcess)->isEnabled());
  }

  void cancelReachesTheCartridgeJob() {
    QTemporaryDir dir;
    const QStringList paths = emptyFiles(dir, {"one.avi", "two.avi"});
    QCOMPARE(paths.size(), 2);
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    dialog_ = std::make_unique<MainDialog>(
        single_.runner(), &services_, nullptr,
        [cancelled](const ConversionJob&, std::span<const CartridgeInput>, CancelSource& cancel) {
          const auto deadline = std::chrono::steady_clock::now() + 60s;
          while (!cancel.cancelRequested() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(1ms);
          *cancelled = cancel.cancelRequested();
          jobCancelled = cancel.cancelRequested();
          postDone(kJobRunFailed);
          return kJobRunFailed;
        });
    QVERIFY(drop(paths));
    editOf(dialog(), ids::kOutputEdit)->setText(dir.filePath("cart.gba"));
    controlOf<QPushButton>(dialog(), ids::kProcess)->click();
    QCOMPARE(controlOf<QPushButton>(dialog(), ids::kExit)->text(), QStringLiteral(" Cancel"));
    controlOf<QPushButton>(dialog(), ids::kExit)->click();
    QTRY_VERIFY_WITH_TIMEOUT(!dialog().jobRunning(), 60000);
    QVERIFY(cancelled->load());
    QCOMPARE(services_.messages.size(), 1);
    QCOMPARE(services_.messages.front().text, QStringLiteral("Process Canceled"));
  }

  void aVideoThatCannotBeReadIsNamedBeforeTheJob() {
    QTemporaryDir dir;
    QFile present(dir.filePath("present.avi"));
    QVERIFY(present.open(QIODevice::WriteOnly));
    const QString missing = dir.filePath("missing.avi");
    QVERIFY(drop({present.fileName(), missing, dir.path()}));
    editOf(dialog(), ids::kOutputEdit)->setText(dir.filePath("cart.gba"));
    controlOf<QPushButton>(dialog(), ids::kProcess)->click();
    QVERIFY(!dialog().jobRunning());
    QCOMPARE(services_.messages.size(), 1);
    QCOMPARE(services_.messages.front().text,
             QStringLiteral("Input file error            (4)\nThe input \"%1\" does not exist.").arg(missing));
    QCOMPARE(services_.messages.front().caption, QString::fromUtf8("错误"));
    // A folder is no video either.
    select(1);
    button("Remove")->click();
    controlOf<QPushButton>(dialog(), ids::kProcess)->click();
    QCOMPARE(services_.messages.size(), 2);
    QVERIFY(services_.messages.back().text.contains(QStringLiteral("\"%1\" is a folder").arg(dir.path())));
    QTest::qWait(20);
    QCOMPARE(cartridge_.state->calls.load(), 0);
    QVERIFY(!QFile::exists(dir.filePath("cart.gba")));
  }
};

QTEST_MAIN(VideoListTest)
#include "test_video_list.moc"
