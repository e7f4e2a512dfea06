#include "app/job_outcome.h"

#include "job/conversion_job.h"

namespace zepra {

JobOutcome describeOutcome(bool cancelled, int resultCode, const std::string& errorDetail) {
  const QString errorCaption = QString::fromUtf8("错误");
  if (cancelled) return {false, QStringLiteral("Process Canceled"), QStringLiteral("ZEPRA")};
  if (resultCode == kJobOk) return {true, {}, {}};
  if (resultCode == kJobUnexpected) {
    return {false, QString::fromUtf8("发生意外错误，程序运行已结束，请退出程序。"), errorCaption};
  }
  QString text = QStringLiteral("Input file error            (%1)").arg(resultCode);
  if (!errorDetail.empty()) text += QLatin1Char('\n') + QString::fromStdString(errorDetail);
  return {false, text, errorCaption};
}

}  // namespace zepra
