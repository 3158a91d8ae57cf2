// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// --record: every reading of the accessories appended to a CSV file as it is taken, one line per
// value. Each line is handed to the system as it is formed, so that a crash loses nothing already
// taken; it reaches the disk in the background, so that a power cut loses at most the last lines
// and the window never waits for the disk.
#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QDateTime;
class TDewController;
class TFocuser;

// One recorded line: the local time with seconds and its offset (ISO 8601), device, quantity,
// value ("2025-01-03T22:14:05+01:00,Quillo 1,Temperature,7.25").
QByteArray RecordLine(const QDateTime& at, const QString& device, const QString& quantity,
                      double value);

class TReadingRecorder : public QObject {
  public:
    using Report = std::function<void(const QString& message)>;

    // Opens path for appending; a new or empty file starts with the header line. A file that
    // cannot be opened or written is reported once, and nothing more is recorded.
    TReadingRecorder(const QString& path, Report report, QObject* parent = nullptr);
    ~TReadingRecorder() override;

    // Records each position and temperature the focuser takes under the device's name.
    void Watch(const TFocuser& focuser, const QString& device);
    // Records the values of each frame the controller parses, as its window shows them.
    void Watch(const TDewController& dew, const QString& device);

    bool Recording() const { return fd_ >= 0; }

  private:
    class Syncer;
    void Write(const QByteArray& line);
    void Fail(int error);

    QString path_;
    Report report_;
    int fd_ = -1;
    std::unique_ptr<Syncer> syncer_;
};
