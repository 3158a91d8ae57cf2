// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>

// This computer's IPv4 address in dotted decimal, as a phone on the same network reaches it;
// "127.0.0.1" when the computer has no network, "No. IP Address" when the lookup fails.
QString GetLocalIPAddress();
