// SPDX-License-Identifier: GPL-3.0-or-later
// The focuser's settings and sign replies decoded from any text.
#include "Commands.h"
#include "Failure.h"
#include "FuzzInput.h"

#include <iterator>

namespace {

qint64 Power10(int exponent) {
    qint64 value = 1;
    while (exponent-- > 0)
        value *= 10;
    return value;
}

// The integer form, told apart without the conversion's own means: blanks, a sign, digits.
bool IsIntegerText(const QByteArray& text) {
    qsizetype at = 0;
    while (at < text.size() && text[at] == ' ')
        ++at;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
    if (at == text.size()) return false;
    for (; at < text.size(); ++at)
        if (text[at] < '0' || text[at] > '9') return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray reply(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    size_t shown = 0;
    try {
        focuser::DecodeSettings(reply, [&](focuser::SettingsField field, int value) {
            Check(shown < std::size(focuser::kSettingsFields), "more fields than the reply has");
            const focuser::FieldPlace& place = focuser::kSettingsFields[shown++];
            Check(field == place.field, "fields shown out of order");
            Check(IsIntegerText(reply.mid(place.first - 1, place.width)),
                  "a field that is no integer was shown");
            // The value comes from at most the field's width of characters.
            Check(qAbs(qint64(value)) < Power10(place.width), "value wider than its field");
            if (field == focuser::SettingsField::Speed) {
                const int item = focuser::SpeedItem(value);
                Check(item >= -1 && item <= 2, "speed item out of the list");
            }
        });
        Check(shown == std::size(focuser::kSettingsFields), "settings decoded without every field");
    } catch (const Failure&) {
        // A reply that does not decode is logged by the caller: an expected outcome.
    }

    try {
        focuser::SignFlag(reply);
        Check(IsIntegerText(reply.mid(2, 1)), "a sign that is no integer was taken");
    } catch (const Failure&) {
    }
    return 0;
}
