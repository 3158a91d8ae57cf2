// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReadingRecorder.h"

#include "ChartCsv.h"
#include "DewController.h"
#include "Focuser.h"

#include <QDateTime>
#include <QFile>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <thread>
#include <unistd.h>

// Puts what was written on the disk, on a thread of its own: a sync that takes a while only
// gathers the lines written meanwhile into the next one.
class TReadingRecorder::Syncer {
  public:
    explicit Syncer(int fd) : fd_(fd), thread_([this] { Run(); }) {}
    ~Syncer() {
        {
            const std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
    void Written() {
        {
            const std::lock_guard lock(mutex_);
            dirty_ = true;
        }
        wake_.notify_one();
    }

  private:
    void Run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [this] { return dirty_ || stop_; });
            if (!dirty_) return;
            dirty_ = false;
            lock.unlock();
            ::fdatasync(fd_);
            lock.lock();
        }
    }

    const int fd_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool dirty_ = false;
    bool stop_ = false;
    std::thread thread_; // last: starts once the rest is set
};

QByteArray RecordLine(const QDateTime& at, const QString& device, const QString& quantity,
                      double value) {
    const QString time = at.toOffsetFromUtc(at.offsetFromUtc()).toString(Qt::ISODate);
    return CsvLine({time, device, quantity, CsvNumber(value)});
}

TReadingRecorder::TReadingRecorder(const QString& path, Report report, QObject* parent)
    : QObject(parent), path_(path), report_(std::move(report)) {
    fd_ = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC,
                 0644);
    if (fd_ < 0) {
        Fail(errno);
        return;
    }
    syncer_ = std::make_unique<Syncer>(fd_);
    if (::lseek(fd_, 0, SEEK_END) == 0) Write(CsvLine({"time", "device", "quantity", "value"}));
}

TReadingRecorder::~TReadingRecorder() {
    syncer_.reset();
    if (fd_ >= 0) ::close(fd_);
}

void TReadingRecorder::Watch(const TFocuser& focuser, const QString& device) {
    connect(&focuser, &TFocuser::Reading, this, [this, &focuser, device](FocuserValue taken) {
        const QDateTime now = QDateTime::currentDateTime();
        if (taken == FocuserValue::Position)
            Write(RecordLine(now, device, QStringLiteral("Position"), focuser.Position));
        else if (taken == FocuserValue::Temperature)
            Write(RecordLine(now, device, QStringLiteral("Temperature"), focuser.Temp));
    });
}

void TReadingRecorder::Watch(const TDewController& dew, const QString& device) {
    connect(&dew, &TDewController::FrameParsed, this, [this, &dew, device] {
        const QDateTime now = QDateTime::currentDateTime();
        const DewValues& v = dew.Values;
        const std::pair<const char*, double> values[] = {
            {"Temp 1", v.CalT1 + v.LocTemp1},
            {"Temp 2", v.CalT2 + v.LocTemp2},
            {"Ambient temperature", v.CalTA + v.AmbTemp},
            {"Humidity", v.Humidity},
            {"Dew point", v.Dewpoint},
            {"Output 1", v.Out1},
            {"Output 2", v.Out2},
            {"Output 3", v.Out3},
        };
        for (const auto& [quantity, value] : values)
            Write(RecordLine(now, device, QString::fromLatin1(quantity), value));
    });
}

void TReadingRecorder::Write(const QByteArray& line) {
    if (fd_ < 0) return;
    // One write per line: a line that has been handed over survives the program.
    for (qsizetype done = 0; done < line.size();) {
        const ssize_t n = ::write(fd_, line.constData() + done, std::size_t(line.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            Fail(n < 0 ? errno : ENOSPC);
            return;
        }
        done += n;
    }
    syncer_->Written();
}

void TReadingRecorder::Fail(int error) {
    syncer_.reset();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (report_)
        report_(QStringLiteral("The readings are not recorded to %1: %2")
                    .arg(path_, QString::fromLocal8Bit(std::strerror(error))));
}
