// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whether a request was sent by a page of another site: any page open on a phone could
// otherwise move the focuser with a link or a form, since the page's commands are GETs.
#include "Framing.h"

// Why the browser marks the request as another site's ("Sec-Fetch-Site cross-site is another
// site's request", for cross-site and same-site), or why its Origin or Referer names another
// host than its Host header ("Origin http://example.org is not host 192.168.1.20:1321"); empty
// when none of them does, or none is there. Hosts compare without case and with the scheme's
// default port filled in.
QString OtherSite(const TRequest& request);
