// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QPixmap>

// The window's 80 x 80 WiFi badge: a glossy blue disc, the word WiFi in white on a black band,
// transparent around it.
QPixmap WiFiPicture();
