// The window's looks: with every option control shown, each control is
// wide and tall enough for its text, lies inside the window and overlaps no
// other. Run at more than one scale; when ZEPRA_SCREENSHOT_DIR is set the
// window is also saved there as an image for a person to look at.

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QScreen>
#include <QProgressBar>
#include <QTest>

#include "app/control_ids.h"
#include "dialog_fixture.h"

using namespace zepra;
using namespace zepra::test;

class DialogLookTest : public QObject {
  Q_OBJECT

 private slots:
  void controlsFitTheirTextAndDoNotOverlap() {
    ScriptedServices services;
    MainDialog dialog([](const ConversionJob&, CancelSource&) { return 0; }, &services);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    saveScreenshot(dialog, "start");
    controlOf<QAbstractButton>(dialog, ids::kPresetManual)->click();
    chooseEntry(controlOf<QComboBox>(dialog, ids::kTrimMode), 3);
    controlOf<QAbstractButton>(dialog, ids::kKeepAspect)->click();
    editOf(dialog, ids::kInputEdit)->setText("/home/user/Videos/holiday.mp4");
    editOf(dialog, ids::kOutputEdit)->setText("/home/user/roms/holiday.gba");
    editOf(dialog, ids::kRomTitle)->setText("HOLIDAY 2026");
    QApplication::processEvents();

    QList<QWidget*> leaves;
    for (QWidget* w : dialog.findChildren<QWidget*>()) {
      const bool leaf = qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w) ||
                        qobject_cast<QComboBox*>(w) || qobject_cast<QLineEdit*>(w) ||
                        qobject_cast<QProgressBar*>(w);
      if (!leaf || !w->isVisible() || w->parentWidget()->inherits("QComboBox")) continue;
      if (qobject_cast<QLineEdit*>(w) && w->parentWidget()->inherits("QComboBox")) continue;
      leaves << w;
    }
    QVERIFY(leaves.size() > 40);
    const QRect window = dialog.rect();
    QList<QRect> places;
    for (QWidget* w : leaves) {
      const QString name = w->objectName().isEmpty() ? w->metaObject()->className() : w->objectName();
      const QRect place(w->mapTo(&dialog, QPoint(0, 0)), w->size());
      QVERIFY2(window.contains(place), qPrintable(name));
      if (!qobject_cast<QLineEdit*>(w) && !qobject_cast<QProgressBar*>(w)) {
        QVERIFY2(w->width() >= w->sizeHint().width(), qPrintable(name));
        QVERIFY2(w->height() >= w->minimumSizeHint().height(), qPrintable(name));
      }
      for (const QRect& other : places) QVERIFY2(!place.intersects(other), qPrintable(name));
      places << place;
    }
    // The trim edits stand left to right: bottom, top, left, right.
    int x = -1;
    for (int id : {ids::kTrimBottom, ids::kTrimTop, ids::kTrimLeft, ids::kTrimRight}) {
      const int left = dialog.control(id)->mapTo(&dialog, QPoint(0, 0)).x();
      QVERIFY(left > x);
      x = left;
    }
    saveScreenshot(dialog, "manual");
  }

 private:
  // What the display shows of the window (the X server's pixels under Xvfb).
  static void saveScreenshot(QWidget& window, const char* state) {
    const QString dir = qEnvironmentVariable("ZEPRA_SCREENSHOT_DIR");
    if (dir.isEmpty()) return;
    QApplication::processEvents();
    const QPixmap shot = window.screen()->grabWindow(window.winId());
    const QString name = QString("dialog-%1-%2x.png").arg(state).arg(window.devicePixelRatioF());
    QVERIFY(shot.save(QDir(dir).filePath(name)));
  }
};

QTEST_MAIN(DialogLookTest)
#include "test_dialog_look.moc"
