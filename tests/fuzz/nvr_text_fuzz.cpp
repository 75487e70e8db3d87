// SPDX-License-Identifier: GPL-3.0-or-later
// The texts the NVR recovery takes from its edits.  A money text that is
// accepted is a value the image can hold, reads the same leniently, and
// shows as a text that reads back to the same two decimals; a count that
// is accepted is the text's digits; the lenient reading of any text is a
// value the image can hold.
#include "fuzz_check.h"
#include "nvr_form.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

using namespace termina;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  // Exactly the text, on the heap, so a read past it is caught.
  const std::string text(reinterpret_cast<const char*>(data), size);

  const double lenient = app::ParseMoneyLenient(text);
  FUZZ_CHECK(app::IsStorableMoney(lenient));

  if (const auto money = app::ParseMoney(text)) {
    FUZZ_CHECK(app::IsStorableMoney(*money));
    FUZZ_CHECK(lenient == *money);
    const std::string shown = app::FormatMoney(*money);
    const auto again = app::ParseMoney(shown);
    FUZZ_CHECK(again.has_value() && app::FormatMoney(*again) == shown);
  }

  if (const auto count = app::ParseCount(text)) {
    // Blanks around the digits are spaces, tabs, line ends, form feeds.
    constexpr std::string_view blanks = " \t\r\n\v\f";
    std::string_view digits = text;
    while (!digits.empty() && blanks.find(digits.front()) != std::string_view::npos) digits.remove_prefix(1);
    while (!digits.empty() && blanks.find(digits.back()) != std::string_view::npos) digits.remove_suffix(1);
    while (digits.size() > 1 && digits.front() == '0') digits.remove_prefix(1);
    FUZZ_CHECK(std::to_string(*count) == digits);
  }
  return 0;
}
