#pragma once
// Helpers shared by the dialog tests: finding controls by id, choosing list
// entries the way a user does, and a job runner that only records.

#include <QApplication>
#include <QComboBox>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include <atomic>
#include <memory>
#include <mutex>

#include "app/main_dialog.h"
#include "platform/job_state.h"
#include "scripted_services.h"

namespace zepra::test {

template <class T>
T* controlOf(const MainDialog& dialog, int id) {
  // Found by object name, as any outside tool would find it.
  return dialog.findChild<T*>(QString::number(id), Qt::FindChildrenRecursively);
}

inline QLineEdit* editOf(const MainDialog& dialog, int id) { return controlOf<QLineEdit>(dialog, id); }

// Moves a list's selection with the arrow keys, so the list reports the
// change as a user's choice.
inline void chooseEntry(QComboBox* box, int index) {
  while (box->currentIndex() < index) QTest::keyClick(box, Qt::Key_Down);
  while (box->currentIndex() > index) QTest::keyClick(box, Qt::Key_Up);
}

// Drags local files over `target` and lets go of them there, as a user
// does; true when the drop was taken.
inline bool dropFiles(QWidget* target, const QStringList& paths) {
  QMimeData data;
  QList<QUrl> urls;
  for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
  data.setUrls(urls);
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  if (!enter.isAccepted()) return false;
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
  return drop.isAccepted();
}

// A job that finishes at once with a fixed result, remembering what it got.
struct RecordingRunner {
  struct State {
    std::mutex mutex;
    std::atomic<int> calls{0};
    ConversionJob lastJob;
  };
  std::shared_ptr<State> state = std::make_shared<State>();
  int result = 0;

  JobRunner runner() const {
    return [s = state, r = result](const ConversionJob& job, CancelSource&) {
      {
        std::lock_guard lock(s->mutex);
        s->lastJob = job;
      }
      ++s->calls;
      postDone(r);
      return r;
    };
  }
  int calls() const { return state->calls; }
  ConversionJob lastJob() const {
    std::lock_guard lock(state->mutex);
    return state->lastJob;
  }
};

}  // namespace zepra::test
