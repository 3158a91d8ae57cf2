// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the accessories read and write numbers: plain digits in, "." as decimal separator out.
// A device has no regional settings, so nothing here depends on the host's locale.
#include <optional>
#include <string>
#include <string_view>

// A digit field of a command: digits only, at least one; values beyond the int range
// saturate. Anything else is no number.
std::optional<int> DeviceDigits(std::string_view text);

// Fixed-point text with this many decimals ("%.Nf" of the C locale).
std::string FixedText(double value, int decimals);
