// SPDX-License-Identifier: GPL-3.0-or-later
#include "Protocol.h"

#include <QRegularExpression>

#include <algorithm>

#include <cmath>

namespace indi {

Element* Vector::Find(const QString& element) {
    for (Element& e : elements)
        if (e.name == element) return &e;
    return nullptr;
}

const Element* Vector::Find(const QString& element) const {
    return const_cast<Vector*>(this)->Find(element);
}

bool ParseNumber(const QString& text, double& value) {
    const QString trimmed = text.trimmed();
    bool ok = false;
    double number = trimmed.toDouble(&ok);
    if (!ok) {
        // Degrees, minutes and seconds, the first part carrying the sign.
        const QStringList parts =
            trimmed.split(QRegularExpression(QStringLiteral("[: ]+")), Qt::SkipEmptyParts);
        if (parts.size() < 2 || parts.size() > 3) return false;
        number = 0;
        double scale = 1;
        for (const QString& part : parts) {
            const double v = part.toDouble(&ok);
            if (!ok || (scale != 1 && (v < 0 || part.startsWith(QChar('+'))))) return false;
            number += std::fabs(v) / scale;
            scale *= 60;
        }
        if (parts.first().startsWith(QChar('-'))) number = -number;
    }
    if (!std::isfinite(number)) return false;
    value = number;
    return true;
}

bool ParseSwitch(const QString& text, bool& on) {
    const QString trimmed = text.trimmed();
    if (trimmed == QLatin1StringView("On")) {
        on = true;
        return true;
    }
    if (trimmed == QLatin1StringView("Off")) {
        on = false;
        return true;
    }
    return false;
}

const QString* Command::Value(const QString& member) const {
    for (const Member& m : members)
        if (m.name == member) return &m.value;
    return nullptr;
}

bool ApplySwitches(Vector& vector, const Command& command, QString& why) {
    QList<Element> states = vector.elements;
    // One of many: the members sent are the whole choice, as a vector's buttons make it.
    if (vector.rule != Rule::AnyOfMany)
        for (Element& e : states)
            e.on = false;
    for (const Command::Member& m : command.members) {
        auto found = std::find_if(states.begin(), states.end(),
                                  [&](const Element& e) { return e.name == m.name; });
        bool on = false;
        if (found == states.end() || !ParseSwitch(m.value, on)) {
            why = QStringLiteral("%1 has no switch %2 that is On or Off").arg(vector.name, m.name);
            return false;
        }
        found->on = on;
    }
    const auto count =
        std::count_if(states.begin(), states.end(), [](const Element& e) { return e.on; });
    if ((vector.rule == Rule::OneOfMany && count != 1) ||
        (vector.rule == Rule::AtMostOne && count > 1)) {
        why = QStringLiteral("%1 takes one switch On").arg(vector.name);
        return false;
    }
    vector.elements = states;
    return true;
}

Element NumberElement(const QString& name, const QString& label, const QString& format, double min,
                      double max, double step, double value) {
    Element e;
    e.name = name;
    e.label = label;
    e.format = format;
    e.min = min;
    e.max = max;
    e.step = step;
    e.number = value;
    return e;
}

} // namespace indi
