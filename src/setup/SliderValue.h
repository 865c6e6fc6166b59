#pragma once
// How a stored gain or volume command maps to a slider of the settings window.
#include <QString>
#include <optional>

inline constexpr int kSliderMin = 0;
inline constexpr int kSliderMax = 255;

// The text after the first "=" of a stored command (the whole text when it holds none).
QString StoredSliderText(const QString& command);

// That text as a slider position, when it is a decimal number from 0 to 255.
std::optional<int> StoredSliderValue(const QString& command);
