// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the link tests look at from outside the link: the threads and file descriptors of this
// process, the CPU time of one thread, and the message a link operation raises.
#include "ComPort.h"
#include "Failure.h"
#include "TestPty.h"

#include <QString>
#include <gtest/gtest.h>
#include <set>

// Thread ids of this process (/proc/self/task).
std::set<int> TaskIds();
// The one thread started since `before` was taken, or -1 when there is not exactly one.
int NewThread(const std::set<int>& before);
// Starts and ends one thread, so that helper threads a runtime starts with the first thread
// (ThreadSanitizer's) exist before a test counts threads.
void WarmUpThreads();
// CPU time (user + system) one thread of this process has used, in seconds.
double ThreadCpuSeconds(int tid);
// The nice value of one thread of this process.
int ThreadNice(int tid);

// Descriptors of this process open on the file at path.
std::set<int> FdsOn(const QString& path);
// The one descriptor on path opened since `before` was taken, or -1.
int NewFdOn(const QString& path, const std::set<int>& before);
// Bytes waiting to be read on a terminal descriptor.
int Waiting(int fd);

// A link on a fresh pseudo-terminal, named after it and not yet open.
class LinkOnPty : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(pty.Path().isEmpty()) << "no pseudo-terminal";
        link.SetPort(pty.Path());
    }
    // Opens the link and finds the descriptor it holds on the port.
    void OpenLink() {
        const std::set<int> before = FdsOn(pty.Path());
        link.Open();
        linkFd = NewFdOn(pty.Path(), before);
        ASSERT_GE(linkFd, 0);
    }

    TestPty pty;
    TComPort link;
    int linkFd = -1;
};

// The message of the Failure that fn raises; empty when it raises none.
template <class F> QString FailureOf(F&& fn) {
    try {
        fn();
    } catch (const Failure& e) {
        return e.Message();
    }
    return {};
}
