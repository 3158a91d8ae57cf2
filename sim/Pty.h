// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The serial line of a simulated device: a pseudo-terminal pair. The device talks on the
// master; programs open the slave's path (/dev/pts/N) as their port. We keep a slave
// descriptor of our own so that the master sees no hang-up while no program has the port open.
#include <string>

class TPty {
  public:
    TPty(); // raises Failure
    ~TPty();
    TPty(const TPty&) = delete;
    TPty& operator=(const TPty&) = delete;

    const std::string& SlavePath() const { return path_; }
    int Master() const { return master_; }
    bool IsOpen() const { return master_ >= 0; }

    // Readable when a program closed the port.
    int WatchFd() const { return watch_; }
    // Reads the close events. A program's exclusive claim (TIOCEXCL) outlives its close on
    // a pseudo-terminal as long as the master lives, where a real port forgets it at the last
    // close; once no program has the port open any more (a killed one included) it is lifted,
    // so that the next program run by a normal user can open the port, and unread input is
    // discarded.
    void HandleWatch();

    // Unplugged: the master and our slave copy close, so the program's link sees a hang-up and
    // the device path disappears.
    void Close();
    // Plugged in again: a new pseudo-terminal, under a new path (raises Failure).
    void Open();

  private:
    // Whether any descriptor of the slave other than ours is open, in any process we may see.
    bool HeldElsewhere() const;

    int master_ = -1;
    int slave_ = -1;
    int watch_ = -1;
    std::string path_;
};
