// The dialog's controls, option rules, presets, checks and file handling.

#include <QCheckBox>
#include <QDesktopServices>
#include <QGroupBox>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "app/control_ids.h"
#include "dialog_fixture.h"

using namespace zepra;
using namespace zepra::test;

namespace {

class UrlCatcher : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> opened;
 public slots:
  void open(const QUrl& url) { opened.append(url); }
};

QStringList entries(QComboBox* box) {
  QStringList list;
  for (int i = 0; i < box->count(); ++i) list << box->itemText(i);
  return list;
}

// Which option controls are shown and which are enabled, as two id lists.
std::pair<QList<int>, QList<int>> optionStates(const MainDialog& dialog) {
  QList<int> shown, enabled;
  for (int id : ids::kOptionControls) {
    QWidget* w = dialog.control(id);
    if (!w->isHidden()) shown << id;
    if (w->isEnabled()) enabled << id;
  }
  return {shown, enabled};
}

}  // namespace

class DialogSettingsTest : public QObject {
  Q_OBJECT

 private:
  ScriptedServices services_;
  RecordingRunner recorder_;
  std::unique_ptr<MainDialog> dialog_;

  MainDialog& dialog() { return *dialog_; }
  void click(int id) { controlOf<QAbstractButton>(dialog(), id)->click(); }
  void setText(int id, const QString& text) { editOf(dialog(), id)->setText(text); }

 private slots:
  void init() {
    services_ = ScriptedServices();
    recorder_ = RecordingRunner();
    dialog_ = std::make_unique<MainDialog>(recorder_.runner(), &services_);
  }
  void cleanup() { dialog_.reset(); }

  void everyControlCarriesItsIdAndLabel() {
    struct Expected {
      int id;
      const char* className;
      const char* text;
    };
    const Expected expected[] = {
        {1, "QPushButton", "Process"},      {2, "QPushButton", "  Exit"},
        {1001, "zepra::DropFileEdit", ""},  {1002, "QPushButton", "File"},
        {1003, "zepra::DropFileEdit", ""},  {1004, "QPushButton", "File"},
        {1005, "QLineEdit", ""},            {1006, "QLineEdit", "120"},
        {1007, "QRadioButton", "No Trim, Resize, Aspect"},
        {1008, "QRadioButton", "Trim, Resize, Aspect"},
        {1009, "QRadioButton", "No Trim, Resize, No Aspect"},
        {1010, "QRadioButton", "Manual"},   {1011, "QLineEdit", "0"},
        {1012, "QLineEdit", "0"},           {1013, "QLineEdit", "0"},
        {1014, "QLineEdit", "0"},           {1015, "QLabel", "B"},
        {1016, "QLabel", "T"},              {1017, "QLabel", "L"},
        {1018, "QLabel", "R"},              {1019, "QLineEdit", "240"},
        {1020, "QLineEdit", "160"},         {1021, "QLabel", "Width"},
        {1022, "QLabel", "Height"},         {1023, "QComboBox", "Auto"},
        {1024, "QComboBox", "4x Dithering"}, {1025, "QProgressBar", ""},
        {1026, "zepra::LinkStatic", ""},    {1027, "QComboBox", "No Trim - Manual Resize"},
        {1028, "QCheckBox", "Aspect Ratio"}, {1029, "QCheckBox", ""},
        {1030, "QLineEdit", "1.33"},
    };
    for (const Expected& e : expected) {
      QWidget* w = controlOf<QWidget>(dialog(), e.id);
      QVERIFY2(w != nullptr, qPrintable(QString::number(e.id)));
      QCOMPARE(dialog().control(e.id), w);
      QVERIFY2(w->inherits(e.className), qPrintable(QString::number(e.id)));
      QString text;
      if (auto* b = qobject_cast<QAbstractButton*>(w)) text = b->text();
      if (auto* l = qobject_cast<QLabel*>(w)) text = l->text();
      if (auto* edit = qobject_cast<QLineEdit*>(w)) text = edit->text();
      if (auto* box = qobject_cast<QComboBox*>(w)) text = box->currentText();
      if (*e.text != 0 || e.id == 1001 || e.id == 1003 || e.id == 1005)
        QCOMPARE(text, QString::fromUtf8(e.text));
    }
    QCOMPARE(dialog().windowTitle(), QStringLiteral("ZEPRA 1.4.0  English"));
    QVERIFY(!dialog().windowIcon().isNull());
    QVERIFY(controlOf<QPushButton>(dialog(), 1)->isDefault());
    QVERIFY(controlOf<QRadioButton>(dialog(), 1007)->isChecked());
    QVERIFY(controlOf<QCheckBox>(dialog(), 1028)->isChecked());
    QVERIFY(controlOf<QCheckBox>(dialog(), 1029)->isChecked());
    QCOMPARE(editOf(dialog(), 1001)->maxLength(), 511);
    QCOMPARE(editOf(dialog(), 1003)->maxLength(), 511);
    QCOMPARE(editOf(dialog(), 1005)->maxLength(), 12);
    QVERIFY(editOf(dialog(), 1006)->alignment() & Qt::AlignRight);
    auto* bar = controlOf<QProgressBar>(dialog(), 1025);
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 1000);
    QCOMPARE(bar->value(), 0);

    QStringList labels;
    for (QLabel* l : dialog().findChildren<QLabel*>()) labels << l->text();
    for (const char* text : {"Input", "Output", "ROM Title", "12 Characters Maximum", "Bitrate",
                             "Kilobytes per Second (0-500)", "Trim", "Resize", "Framerate",
                             "Pre-Filter"})
      QVERIFY2(labels.contains(QString::fromUtf8(text)), text);
    QCOMPARE(dialog().findChild<QGroupBox*>()->title(), QStringLiteral("Options"));
  }

  void listsHoldTheirEntriesInOrder() {
    QCOMPARE(entries(controlOf<QComboBox>(dialog(), 1027)),
             QStringList({"No Trim - Manual Resize", "Auto Trim & Resize", "Manual Trim+Auto T+R",
                          "Mnul T+R"}));
    QCOMPARE(entries(controlOf<QComboBox>(dialog(), 1023)),
             QStringList({"Auto", "Original", "4/5 (30fps - 24fps)", "2/3 (30fps - 20fps)",
                          "1/2 (30fps - 15fps)", "2/5 (30fps - 12fps)", "1/3 (30fps - 10fps)",
                          "1/4 (30fps - 7.5fps)", "1/5 (30fps - 6fps)"}));
    QCOMPARE(entries(controlOf<QComboBox>(dialog(), 1024)),
             QStringList({"No Filter", "15-bit Filter", "2x Dithering", "4x Dithering"}));
  }

  void startsInTheFirstPresetWithOptionsLocked() {
    const auto [shown, enabled] = optionStates(dialog());
    QCOMPARE(shown, QList<int>({1027, 1028, 1023, 1024, 1029, 1030}));
    QVERIFY(enabled.isEmpty());
    const ConversionJob& s = dialog().settings();
    QCOMPARE(dialog().presetMode(), zepra::Preset::kFit);
    QCOMPARE(s.bitrate, 120);
    QVERIFY(s.keepAspect && s.gammaEnabled);
    QCOMPARE(s.gamma, 1.33f);
    QCOMPARE(s.preFilter, zepra::k4xDithering);
  }

  // Each preset, reached from a "Manual" state with every value changed.
  void presetsSetTheirValuesAndLockTheOptions_data() {
    QTest::addColumn<int>("preset");
    QTest::addColumn<bool>("keepAspect");
    QTest::addColumn<int>("trimMode");
    QTest::addColumn<int>("width");
    QTest::addColumn<QList<int>>("shown");
    QTest::newRow("no trim, aspect") << 1007 << true << 0 << 200
                                     << QList<int>{1027, 1028, 1023, 1024, 1029, 1030};
    QTest::newRow("trim, aspect") << 1008 << true << 1 << 200
                                  << QList<int>{1027, 1028, 1023, 1024, 1029, 1030};
    QTest::newRow("no trim, no aspect")
        << 1009 << false << 0 << 240
        << QList<int>{1027, 1028, 1019, 1020, 1021, 1022, 1023, 1024, 1029, 1030};
  }
  void presetsSetTheirValuesAndLockTheOptions() {
    QFETCH(int, preset);
    QFETCH(bool, keepAspect);
    QFETCH(int, trimMode);
    QFETCH(int, width);
    QFETCH(QList<int>, shown);
    click(1010);
    chooseEntry(controlOf<QComboBox>(dialog(), 1027), 3);
    click(1028);  // aspect off
    setText(1019, "200");
    setText(1020, "120");
    for (int id : {1011, 1012, 1013, 1014}) setText(id, "7");
    chooseEntry(controlOf<QComboBox>(dialog(), 1023), 5);
    chooseEntry(controlOf<QComboBox>(dialog(), 1024), 1);
    setText(1030, "2.5");
    click(preset);

    const ConversionJob& s = dialog().settings();
    QCOMPARE(static_cast<int>(dialog().presetMode()), preset - 1007);
    QCOMPARE(s.keepAspect, keepAspect);
    QCOMPARE(static_cast<int>(s.trimMode), trimMode);
    QCOMPARE(s.width, width);
    QCOMPARE(s.trimLeft + s.trimTop + s.trimRight + s.trimBottom, 0);
    QCOMPARE(s.frameRateIndex, zepra::FrameRateChoice::kAuto);
    QCOMPARE(s.preFilter, zepra::k4xDithering);
    QCOMPARE(s.gamma, 1.33f);
    QCOMPARE(editOf(dialog(), 1030)->text(), QStringLiteral("1.33"));
    QCOMPARE(controlOf<QComboBox>(dialog(), 1027)->currentIndex(), trimMode);
    const auto [actualShown, enabled] = optionStates(dialog());
    QCOMPARE(actualShown, shown);
    QVERIFY(enabled.isEmpty());
  }

  void manualKeepsValuesAndUnlocksWhatTheRulesAllow() {
    click(1009);
    click(1010);
    QCOMPARE(dialog().presetMode(), zepra::Preset::kManual);
    QCOMPARE(dialog().settings().width, 240);
    QVERIFY(!dialog().settings().keepAspect);
    auto [shown, enabled] = optionStates(dialog());
    // Hidden labels are enabled in "Manual" all the same.
    QCOMPARE(enabled, QList<int>({1027, 1015, 1016, 1017, 1018, 1028, 1019, 1020, 1021, 1022, 1023,
                                  1024, 1029, 1030}));

    // Automatic trimming sets and locks the aspect ratio.
    auto* trim = controlOf<QComboBox>(dialog(), 1027);
    chooseEntry(trim, 1);
    QVERIFY(controlOf<QCheckBox>(dialog(), 1028)->isChecked());
    std::tie(shown, enabled) = optionStates(dialog());
    QCOMPARE(shown, QList<int>({1027, 1028, 1023, 1024, 1029, 1030}));
    QCOMPARE(enabled,
             QList<int>({1027, 1015, 1016, 1017, 1018, 1021, 1022, 1023, 1024, 1029, 1030}));

    chooseEntry(trim, 2);
    std::tie(shown, enabled) = optionStates(dialog());
    QCOMPARE(shown, QList<int>({1027, 1011, 1012, 1014, 1013, 1015, 1016, 1017, 1018, 1028, 1023,
                                1024, 1029, 1030}));
    QCOMPARE(enabled, QList<int>({1027, 1011, 1012, 1014, 1013, 1015, 1016, 1017, 1018, 1021,
                                  1022, 1023, 1024, 1029, 1030}));

    chooseEntry(trim, 3);
    QVERIFY(controlOf<QCheckBox>(dialog(), 1028)->isEnabled());
    click(1028);  // aspect off: width and height appear, unlocked
    std::tie(shown, enabled) = optionStates(dialog());
    QCOMPARE(enabled, QList<int>({1027, 1011, 1012, 1014, 1013, 1015, 1016, 1017, 1018, 1028, 1019,
                                  1020, 1021, 1022, 1023, 1024, 1029, 1030}));
    QCOMPARE(shown, enabled);
  }

  void gammaHiddenWhileOffAndItsValueKept() {
    click(1010);
    setText(1030, "2.2");
    click(1029);
    QVERIFY(!dialog().settings().gammaEnabled);
    QVERIFY(dialog().control(1030)->isHidden());
    QVERIFY(!dialog().control(1030)->isEnabled());
    click(1029);
    QVERIFY(!dialog().control(1030)->isHidden());
    QVERIFY(dialog().control(1030)->isEnabled());
    QCOMPARE(editOf(dialog(), 1030)->text(), QStringLiteral("2.2"));
    QCOMPARE(dialog().settings().gamma, 2.2f);
  }

  void invalidFieldsPromptAndKeepTheFocus_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("prompt");
    const QString integer = QString::fromUtf8("整数を入力してください。");
    QTest::newRow("letter after digits") << 1006 << "12a" << integer;
    QTest::newRow("empty") << 1006 << "" << integer;
    QTest::newRow("two numbers") << 1006 << "1 2" << integer;
    QTest::newRow("line break") << 1006 << "\n5" << integer;
    QTest::newRow("fraction") << 1006 << "5.0" << integer;
    QTest::newRow("bitrate too high")
        << 1006 << "501" << QString::fromUtf8("0 から 500 までの整数を入力してください。");
    QTest::newRow("beyond any int")
        << 1006 << "99999999999" << QString::fromUtf8("0 から 500 までの整数を入力してください。");
    QTest::newRow("width 242")
        << 1019 << "242" << QString::fromUtf8("4 から 240 までの整数を入力してください。");
    QTest::newRow("height 3")
        << 1020 << "3" << QString::fromUtf8("4 から 160 までの整数を入力してください。");
    QTest::newRow("trim top")
        << 1012 << "1001" << QString::fromUtf8("0 から 1000 までの整数を入力してください。");
    QTest::newRow("trim right negative")
        << 1013 << "-1" << QString::fromUtf8("0 から 1000 までの整数を入力してください。");
    QTest::newRow("gamma word") << 1030 << "abc" << QString::fromUtf8("数字を入力してください。");
    QTest::newRow("gamma high")
        << 1030 << "8" << QString::fromUtf8("0.01 から 7.99 までの数字を入力してください。");
    QTest::newRow("gamma low")
        << 1030 << "0.001" << QString::fromUtf8("0.01 から 7.99 までの数字を入力してください。");
    QTest::newRow("title with a tab")
        << 1005 << "A\tB"
        << "ROM Title: the title holds a control character (such as a tab or a line break); use "
           "printable characters only.";
  }
  void invalidFieldsPromptAndKeepTheFocus() {
    QFETCH(int, id);
    QFETCH(QString, text);
    QFETCH(QString, prompt);
    click(1010);
    chooseEntry(controlOf<QComboBox>(dialog(), 1027), 3);
    click(1028);
    dialog().show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog()));
    setText(1001, "/in.avi");
    setText(1003, "/out.gba");
    setText(id, text);
    const ConversionJob before = dialog().settings();
    click(1);
    QCOMPARE(services_.messages.size(), 1);
    const ShownMessage& m = services_.messages.front();
    QCOMPARE(m.text, prompt);
    QCOMPARE(m.caption, QStringLiteral("ZEPRA"));
    QCOMPARE(m.icon, QMessageBox::Warning);
    QCOMPARE(m.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(QApplication::focusWidget(), dialog().control(id));
    QCOMPARE(editOf(dialog(), id)->selectedText(), editOf(dialog(), id)->text());
    QCOMPARE(dialog().settings().inputPath, before.inputPath);  // nothing taken over
    QCOMPARE(recorder_.calls(), 0);
  }

  void theFirstInvalidFieldInOrderIsReported() {
    click(1010);
    click(1028);
    setText(1012, "x");  // trim top comes after height
    setText(1020, "999");
    setText(1030, "y");
    click(1);
    QCOMPARE(services_.messages.size(), 1);
    QCOMPARE(services_.messages.front().text,
             QString::fromUtf8("4 から 160 までの整数を入力してください。"));
  }

  void integersMayStandBetweenBlanksAndTabs() {
    setText(1006, " \t42\t ");
    setText(1030, " 2.5\t");
    click(1);  // no paths: reads the fields and stops
    QVERIFY(services_.messages.isEmpty());
    QCOMPARE(dialog().settings().bitrate, 42);
    QCOMPARE(dialog().settings().gamma, 2.5f);
  }

  void emptyPathsDoNothing() {
    setText(1003, "/tmp/out.gba");
    click(1);
    setText(1003, "");
    setText(1001, "/tmp/in.avi");
    click(1);
    QVERIFY(services_.messages.isEmpty());
    QCOMPARE(recorder_.calls(), 0);
  }

  void manualSizesMustBeMultiplesOfFour() {
    click(1010);
    click(1028);
    setText(1001, "/tmp/in.avi");
    setText(1003, "/nonexistent-dir/out.gba");
    setText(1019, "238");
    click(1);
    QCOMPARE(services_.messages.size(), 1);
    QCOMPARE(services_.messages.front().text, QStringLiteral("Resolution is too small."));
    QCOMPARE(services_.messages.front().caption, QStringLiteral("Fatal Error"));
    QCOMPARE(services_.messages.front().icon, QMessageBox::Critical);
    QCOMPARE(recorder_.calls(), 0);

    // The presets do not make this test: the size reaches the job as it is.
    click(1007);
    setText(1019, "238");
    click(1);
    QTRY_COMPARE(recorder_.calls(), 1);
    QCOMPARE(recorder_.lastJob().width, 238);
    QCOMPARE(services_.messages.size(), 1);
  }

  void anExistingOutputIsReplacedOnlyAfterYes() {
    QTemporaryDir dir;
    const QString output = dir.filePath("movie.gba");
    QFile file(output);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    setText(1001, "/tmp/in.avi");
    setText(1003, output);

    click(1);  // the default answer is No
    QCOMPARE(services_.messages.size(), 1);
    const ShownMessage m = services_.messages.front();
    QCOMPARE(m.text, QStringLiteral("File          \n\n    %1\n\nDo you want to replace it?").arg(output));
    QCOMPARE(m.caption, QStringLiteral("Warning"));
    QCOMPARE(m.icon, QMessageBox::Question);
    QCOMPARE(m.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(m.defaultButton, QMessageBox::No);
    QTest::qWait(20);
    QCOMPARE(recorder_.calls(), 0);

    services_.replies = {QMessageBox::Yes};
    click(1);
    QTRY_COMPARE(recorder_.calls(), 1);
    QCOMPARE(QString::fromStdString(recorder_.lastJob().outputPath), output);
  }

  void droppedFilesGiveTheFirstPath() {
    for (int id : {1001, 1003}) {
      QMimeData data;
      data.setUrls({QUrl::fromLocalFile("/videos/first clip.avi"),
                    QUrl::fromLocalFile("/videos/second.avi"), QUrl::fromLocalFile("/videos/third.avi")});
      QLineEdit* edit = editOf(dialog(), id);
      QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(edit, &enter);
      QVERIFY(enter.isAccepted());
      QDropEvent drop(QPointF(2, 2), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(edit, &drop);
      QCOMPARE(edit->text(), QStringLiteral("/videos/first clip.avi"));
    }
    QVERIFY(dialog().settings().inputPath.empty());  // taken over at the next read
    QVERIFY(dialog().readControls());
    QCOMPARE(dialog().settings().inputPath, std::string("/videos/first clip.avi"));
    QCOMPARE(dialog().settings().outputPath, std::string("/videos/first clip.avi"));
  }

  void fileDialogsFillThePaths() {
    services_.chosenFiles = {"/videos/clip.mkv", ""};
    setText(1001, "/videos/old.avi");
    click(1002);
    QCOMPARE(services_.fileRequests.size(), 1);
    const FileRequest open = services_.fileRequests.front();
    QVERIFY(!open.save);
    QCOMPARE(open.directory, QStringLiteral("/videos"));
    QCOMPARE(open.filters.size(), 2);
    for (const char* pattern : {"*.avi", "*.mpg", "*.mpeg", "*.wmv", "*.asf", "*.mp4", "*.mkv",
                                "*.mov", "*.webm"})
      QVERIFY2(open.filters.front().contains(QString::fromUtf8(pattern)), pattern);
    QCOMPARE(editOf(dialog(), 1001)->text(), QStringLiteral("/videos/clip.mkv"));
    QCOMPARE(dialog().settings().inputPath, std::string("/videos/clip.mkv"));

    setText(1003, "/roms/a.gba");
    click(1004);  // cancelled: nothing changes
    const FileRequest save = services_.fileRequests.back();
    QVERIFY(save.save);
    QCOMPARE(save.defaultSuffix, QStringLiteral("gba"));
    QCOMPARE(save.filters.front(), QStringLiteral("GBA ROM (*.gba)"));
    QCOMPARE(editOf(dialog(), 1003)->text(), QStringLiteral("/roms/a.gba"));
  }

  void anInvalidFieldComesBeforeTheFileDialog() {
    setText(1006, "12a");
    click(1002);
    QVERIFY(services_.fileRequests.isEmpty());
    QCOMPARE(services_.messages.size(), 1);
    QCOMPARE(services_.messages.front().text, QString::fromUtf8("整数を入力してください。"));
  }

  void theLinkOpensItsAddress() {
    auto* link = controlOf<QLabel>(dialog(), 1026);
    QVERIFY(link->text().startsWith("https://"));
    QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
    QVERIFY(link->font().underline());
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("https", &catcher, "open");
    QTest::mouseClick(link, Qt::LeftButton);
    QDesktopServices::unsetUrlHandler("https");
    QCOMPARE(catcher.opened, QList<QUrl>({QUrl(link->text())}));
  }

  void exitWithoutAJobClosesTheDialog() {
    dialog().show();
    QSignalSpy finished(&dialog(), &QDialog::finished);
    click(2);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(finished.front().front().toInt(), 0);
    QVERIFY(!dialog().isVisible());
  }
};

QTEST_MAIN(DialogSettingsTest)
#include "test_dialog_settings.moc"
