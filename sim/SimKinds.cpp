// SPDX-License-Identifier: GPL-3.0-or-later
#include "SimKinds.h"

#include "SimDew.h"
#include "SimFocuser.h"
#include "SimPanels.h"

#include <map>

const std::vector<TSimKind>& SimKinds() {
    static const std::vector<TSimKind> kinds = {
        {"focuser", "focuser", "Quillo focuser"},
        {"focuser-old", "focuser", "Quillo focuser, older model (answers only FMMODE)"},
        {"dew", "dew", "Brisella dew controller"},
        {"panels", "panels", "Morvessa panels unit"},
        {"silent", "silent", "silent device (never answers)"},
    };
    return kinds;
}

std::optional<TSimKind> FindSimKind(const std::string& name) {
    for (const auto& kind : SimKinds())
        if (kind.name == name) return kind;
    return std::nullopt;
}

std::unique_ptr<TSimDevice> MakeSimDevice(const TSimKind& kind, const TSimTuning& tuning) {
    if (kind.family == "focuser") {
        TFocuserOptions options;
        options.stepsPerSecond = tuning.stepsPerSecond;
        if (kind.name == "focuser-old") {
            options.answersWhoIs = false;
            options.firmware = 1320;
        }
        return std::make_unique<TSimFocuser>(options);
    }
    if (kind.family == "dew") {
        TDewOptions options;
        options.timeScale = tuning.timeScale;
        return std::make_unique<TSimDewController>(options);
    }
    if (kind.family == "panels") return std::make_unique<TSimPanels>();
    return std::make_unique<TSimSilent>();
}

std::vector<std::string> LinkNames(const std::vector<TSimKind>& kinds) {
    std::map<std::string, int> total;
    for (const auto& kind : kinds)
        ++total[kind.family];
    std::map<std::string, int> seen;
    std::vector<std::string> names;
    for (const auto& kind : kinds) {
        const std::string number = std::to_string(++seen[kind.family]);
        const std::size_t width = std::to_string(total[kind.family]).size();
        names.push_back(kind.family + "-" + std::string(width - number.size(), '0') + number);
    }
    return names;
}

bool IsSimLinkName(const std::string& name) {
    for (const auto& kind : SimKinds()) {
        const std::string prefix = kind.family + "-";
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
        if (name.find_first_not_of("0123456789", prefix.size()) == std::string::npos) return true;
    }
    return false;
}
