// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The app for phones and tablets served at the server's root: its page, script, style,
// manifest and icon, built into the program. It speaks only the Device API.
#include "HttpAnswer.h"

#include <QByteArray>
#include <optional>

// The answer for one of the app's paths ("/", "/app.js" ...); nullopt for any other path.
std::optional<THttpAnswer> AppFile(const QByteArray& path);
