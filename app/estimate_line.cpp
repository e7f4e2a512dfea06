#include "app/estimate_line.h"

#include "job/image_size_range.h"
#include "job/size_text.h"

namespace zepra {

namespace {

QString mebibytes(std::uint64_t bytes) { return QString::fromStdString(mebibytesText(bytes)); }

// "12.4": the number of mebibytes alone, where the unit was just given.
QString mebibyteNumber(std::uint64_t bytes) {
  return QString::number(static_cast<double>(bytes) / static_cast<double>(kMiB), 'f', 1);
}

QString duration(double seconds) { return QString::fromStdString(durationText(seconds)); }

// "16 MiB": cartridges and targets come in whole mebibytes.
QString wholeMebibytes(std::uint64_t bytes) { return QStringLiteral("%1 MiB").arg(bytes / kMiB); }

// "a 16 MiB", "an 8 MiB".
QString aCartridge(std::uint64_t bytes) {
  const QString size = wholeMebibytes(bytes);
  const bool vowel = size.startsWith('8') || size.startsWith(QStringLiteral("11 ")) ||
                     size.startsWith(QStringLiteral("18 "));
  return (vowel ? QStringLiteral("an ") : QStringLiteral("a ")) + size;
}

// "about 9.1 MiB (at most 12.4)", or "at most 12.4 MiB" before the sample.
QString sizes(const SizeEstimate& e) {
  if (!e.sampled) return QStringLiteral("at most %1").arg(mebibytes(e.imageBytesMax));
  return QStringLiteral("about %1 (at most %2)").arg(mebibytes(e.imageBytesLikely), mebibyteNumber(e.imageBytesMax));
}

EstimateLine targetLine(const EstimateAnswer& answer, const SizeEstimate& e, std::uint64_t fitBytes) {
  if (!answer.targetRefusal.empty()) return {QString::fromStdString(answer.targetRefusal), true};
  const QString size = mebibytes(answer.targetImageBytes);
  const QString length = duration(e.durationSeconds);
  const QString target = wholeMebibytes(fitBytes);
  // Several videos share the target by their lengths: no one bitrate.
  if (answer.targetBitrate == 0)
    return {QStringLiteral("up to %1 for %2 — fills the %3 target").arg(size, length, target), false};
  if (answer.targetBitrateHighest != 0) {
    const QString likely = e.sampled ? QStringLiteral("about %1 (at most %2)").arg(mebibytes(e.imageBytesLikely),
                                                                                  mebibyteNumber(answer.targetImageBytes))
                                     : QStringLiteral("up to %1").arg(size);
    QString rates = QString::number(answer.targetBitrate);
    if (answer.targetBitrateHighest > answer.targetBitrate) rates += QStringLiteral("–%1").arg(answer.targetBitrateHighest);
    return {QStringLiteral("%1 for %2 at about %3 KB/s — %4 the %5 target")
                .arg(likely, length, rates, answer.targetFilled ? QStringLiteral("fills") : QStringLiteral("fits"),
                     target),
            false};
  }
  const QString text = answer.targetFilled ? QStringLiteral("%1 for %2 at about %3 KB/s — fills the %4 target")
                                           : QStringLiteral("at most %1 for %2 even at %3 KB/s — fits the %4 target");
  return {text.arg(size, length).arg(answer.targetBitrate).arg(target), false};
}

}  // namespace

EstimateLine describeEstimate(const EstimateAnswer& answer, std::uint64_t fitBytes) {
  if (!answer.estimate) {
    const QString problem = QString::fromStdString(answer.problem).section('\n', 0, 0);
    return {problem.isEmpty() ? QStringLiteral("No estimate for this input.") : QStringLiteral("No estimate: ") + problem,
            false};
  }
  const SizeEstimate& e = *answer.estimate;
  if (fitBytes != 0) return targetLine(answer, e, fitBytes);
  const QString length = duration(e.durationSeconds);
  const std::uint64_t largest = kCartridgeSizes.back();
  if (e.imageBytesLowest > largest) {
    return {QStringLiteral("at least %1 for %2 — too long for a %3 cartridge: at most %4 fits")
                .arg(mebibytes(e.imageBytesLowest), length, wholeMebibytes(largest), duration(e.longestFittingSeconds)),
            true};
  }
  if (e.imageBytesMax > largest) {
    return {QStringLiteral("%1 for %2 — may pass the %3 a cartridge holds; a busy video is refused when it does")
                .arg(sizes(e), length, wholeMebibytes(largest)),
            false};
  }
  const std::uint64_t surely = smallestCartridgeFor(e.imageBytesMax);
  const std::uint64_t likely = smallestCartridgeFor(e.imageBytesLikely);
  QString fits = QStringLiteral("fits %1 cartridge").arg(aCartridge(surely));
  if (e.sampled && likely < surely) fits += QStringLiteral(", likely %1 one").arg(aCartridge(likely));
  return {QStringLiteral("%1 for %2 — %3").arg(sizes(e), length, fits), false};
}

}  // namespace zepra
