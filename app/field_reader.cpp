#include "app/field_reader.h"

#include <charconv>
#include <cmath>
#include <cstdint>

namespace zepra {

namespace {

// The prompts are the toolkit's own, in the language the dialog shipped with.
const char* const kIntegerPrompt = "整数を入力してください。";
const char* const kNumberPrompt = "数字を入力してください。";
const char* const kIntegerRangePrompt = "%1 から %2 までの整数を入力してください。";
const char* const kNumberRangePrompt = "%1 から %2 までの数字を入力してください。";
const char* const kTooLongPrompt = "%1 文字以内で入力してください。";

// The field without the blanks and tabs around it; other white space stays
// and makes the field invalid.
std::string stripBlanks(const QString& text) {
  const std::string s = text.toStdString();
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

}  // namespace

bool readInteger(const QString& text, int min, int max, int& value, QString& prompt) {
  const std::string s = stripBlanks(text);
  std::int64_t parsed = 0;
  const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), parsed);
  if (s.empty() || end != s.data() + s.size() ||
      (error != std::errc() && error != std::errc::result_out_of_range)) {
    prompt = QString::fromUtf8(kIntegerPrompt);
    return false;
  }
  if (error == std::errc::result_out_of_range || parsed < min || parsed > max) {
    prompt = QString::fromUtf8(kIntegerRangePrompt).arg(min).arg(max);
    return false;
  }
  value = static_cast<int>(parsed);
  return true;
}

bool readNumber(const QString& text, float min, float max, float& value, QString& prompt) {
  const std::string s = stripBlanks(text);
  double parsed = 0;
  const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), parsed);
  if (s.empty() || end != s.data() + s.size() ||
      (error != std::errc() && error != std::errc::result_out_of_range)) {
    prompt = QString::fromUtf8(kNumberPrompt);
    return false;
  }
  const float f = static_cast<float>(parsed);
  if (error == std::errc::result_out_of_range || !(f >= min && f <= max)) {
    prompt = QString::fromUtf8(kNumberRangePrompt).arg(formatNumber(min), formatNumber(max));
    return false;
  }
  value = f;
  return true;
}

bool readText(const QString& text, int maxLength, std::string& value, QString& prompt) {
  if (text.size() > maxLength) {
    prompt = QString::fromUtf8(kTooLongPrompt).arg(maxLength);
    return false;
  }
  value = text.toStdString();
  return true;
}

QString formatNumber(float value) { return QString::number(static_cast<double>(value), 'g', 6); }

}  // namespace zepra
