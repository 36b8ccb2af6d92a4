#pragma once
// The numbered operator messages (0 to 40) and their texts.

#include <functional>
#include <string>

inline constexpr int kOperatorMessageCount = 41;

// The text of a message; `number` completes codes 16, 19 and 20. `notDownloadedText(n)` gives the
// n-th (from 1) "NOT downloaded" text for code 16. A code outside 0-40 gives an empty text.
std::string operatorMessageText(int code, int number,
                                const std::function<std::string(int)>& notDownloadedText);
