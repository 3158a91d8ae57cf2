// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppPages.h"

#include <QFile>

namespace {

struct TAppFile {
    const char* path;
    const char* resource;
    const char* type;
};

const TAppFile kAppFiles[] = {
    {"/", ":/alpaca-app/index.html", "text/html; charset=utf-8"},
    {"/app.js", ":/alpaca-app/app.js", "text/javascript; charset=utf-8"},
    {"/app.css", ":/alpaca-app/app.css", "text/css; charset=utf-8"},
    {"/manifest.webmanifest", ":/alpaca-app/manifest.webmanifest", "application/manifest+json"},
    {"/icon.svg", ":/alpaca-app/icon.svg", "image/svg+xml"},
};

} // namespace

std::optional<THttpAnswer> AppFile(const QByteArray& path) {
    for (const TAppFile& file : kAppFiles) {
        if (path != file.path) continue;
        QFile resource(QString::fromLatin1(file.resource));
        if (!resource.open(QIODevice::ReadOnly)) return THttpAnswer::Text(500, "App file missing");
        THttpAnswer answer;
        answer.contentType = file.type;
        answer.body = resource.readAll();
        // A new program version brings new files: the phone asks again rather than keeping old
        // ones.
        answer.extraFields = "Cache-Control: no-cache\r\n";
        return answer;
    }
    return std::nullopt;
}
