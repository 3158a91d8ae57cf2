// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The kinds of simulated device that skyvarn-sim starts by name, and the names of their links.
#include "SimDevice.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

struct TSimTuning {
    double stepsPerSecond = 400; // focusers, at speed "Average"
    double timeScale = 1.0;      // dew controllers: simulated seconds per real second
};

struct TSimKind {
    std::string name;        // as given on the command line: "focuser", "focuser-old", ...
    std::string family;      // first part of the link name: "focuser", "dew", ...
    std::string description; // for the listing
};

const std::vector<TSimKind>& SimKinds();
std::optional<TSimKind> FindSimKind(const std::string& name);

std::unique_ptr<TSimDevice> MakeSimDevice(const TSimKind& kind, const TSimTuning& tuning);

// Link names for devices of these kinds, in order: "<family>-<n>", numbered per family in
// order of appearance, so focuser 1 sorts before focuser 2. With ten or more of a family the
// numbers are zero-padded, so that sorting as text ignoring case keeps their order.
std::vector<std::string> LinkNames(const std::vector<TSimKind>& kinds);

// Whether a name in the ports folder has the form of our link names.
bool IsSimLinkName(const std::string& name);
