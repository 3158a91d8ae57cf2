// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A pseudo-terminal for tests: the test holds the master, a link opens the slave path.
#include <QByteArray>
#include <QString>

class TestPty {
  public:
    TestPty();
    ~TestPty();
    TestPty(const TestPty&) = delete;
    TestPty& operator=(const TestPty&) = delete;

    QString Path() const { return path_; }
    int Master() const { return master_; }
    void Write(const QByteArray& bytes);
    // Everything the far end wrote so far (waits up to ms for at least min bytes).
    QByteArray Read(int min = 1, int ms = 1000);
    void CloseMaster();
    // Bytes written by the test that wait at the port, not yet read by a link.
    int WaitingAtPort() const;

  private:
    int master_ = -1;
    int slave_ = -1;
    QString path_;
};
