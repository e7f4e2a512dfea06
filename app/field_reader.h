#pragma once
// Reading the dialog's fields back from their text. Each reader either fills
// its value or gives the prompt that tells the user what the field must hold.

#include <QString>

#include <string>

namespace zepra {

// Integers may stand between blanks and tabs; anything else in the field
// fails, and so does a value outside min..max.
bool readInteger(const QString& text, int min, int max, int& value, QString& prompt);

// A decimal number between blanks and tabs, within min..max.
bool readNumber(const QString& text, float min, float max, float& value, QString& prompt);

// A text of at most maxLength characters, kept as UTF-8.
bool readText(const QString& text, int maxLength, std::string& value, QString& prompt);

// How a number field shows its value: up to 6 significant digits.
QString formatNumber(float value);

}  // namespace zepra
