// SPDX-License-Identifier: GPL-3.0-or-later
// --record: the program killed mid-night keeps what it recorded, and a file that cannot be
// written is said once.
#include "Focuser.h"
#include "QtTestSupport.h"
#include "ReadingRecorder.h"
#include "SimDew.h"
#include "SimFocuser.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// The program with a simulated focuser and dew controller, killed with SIGKILL once it has
// recorded a while: every line but at most the last is whole, and every focuser reply that came
// before the kill is there, but for the last ones still on their way.
TEST(Record, AKilledRunLeavesEveryLineButAtMostTheLast) {
    QTemporaryDir runtime;
    ASSERT_TRUE(QDir(runtime.path()).mkpath("skyvarn/ports"));
    TSimFocuser focuser;
    TSimDewController dew;
    QFile::link(QString::fromStdString(focuser.Port()), runtime.filePath("skyvarn/ports/a"));
    QFile::link(QString::fromStdString(dew.Port()), runtime.filePath("skyvarn/ports/b"));
    const QString path = runtime.filePath("night.csv");
    QProcess skyvarn;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", runtime.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    skyvarn.setProcessEnvironment(env);
    skyvarn.start(SKYVARN_PROGRAM, {"--connect", "--record", path});
    auto lines = [&] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QList<QByteArray>();
    };
    ASSERT_TRUE(WaitFor([&] { return lines().size() > 40; }, 60000))
        << skyvarn.readAllStandardError().toStdString();
    // Some more replies, which a writer that holds lines back would lose.
    const std::size_t before = focuser.CommandCount();
    ASSERT_TRUE(WaitFor([&] { return focuser.CommandCount() >= before + 8; }, 60000));
    std::size_t answered = 0;
    for (const std::string& command : focuser.Commands())
        answered += command == "FPOSRO" || command == "FTMPRO";
    skyvarn.kill();
    ASSERT_TRUE(skyvarn.waitForFinished(10000));

    const QList<QByteArray> rows = lines();
    EXPECT_EQ(rows[0], "time,device,quantity,value");
    const QRegularExpression whole(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(Z|[+-]\d\d:\d\d),)"
                                   R"((Quillo 1|Brisella),[A-Z][a-z 0-9]+,-?[\d.]+$)");
    std::size_t recorded = 0;
    // After the last line feed: nothing, or the line the kill cut.
    for (qsizetype i = 1; i + 1 < rows.size(); ++i) {
        EXPECT_TRUE(whole.match(QString::fromUtf8(rows[i])).hasMatch()) << rows[i].toStdString();
        recorded += rows[i].contains(",Quillo 1,");
    }
    EXPECT_GE(recorded + 3, answered);
}

TEST(Record, AFileThatCannotBeWrittenIsSaidOnce) {
    QStringList said;
    TFocuser focuser(1, {});
    TReadingRecorder recorder("/dev/full", [&](const QString& message) { said << message; });
    recorder.Watch(focuser, "Quillo 1");
    emit focuser.Reading(FocuserValue::Temperature);
    EXPECT_EQ(said,
              QStringList{"The readings are not recorded to /dev/full: No space left on device"});
}
