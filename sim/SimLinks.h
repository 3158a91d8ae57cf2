// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The announcement of simulated devices in the ports folder: one symbolic link per device,
// removed when the simulator ends. One simulator runs per user at a time (a lock in the
// folder's parent), so links of our name form found at start were left by a killed run.
#include <string>
#include <vector>

class TSimLinks {
  public:
    // Creates the folder (mode 0700) where missing, takes the lock and clears stale links.
    // Raises Failure when another simulator runs or the folder cannot be made.
    explicit TSimLinks(std::string folder);
    ~TSimLinks(); // removes the links it made
    TSimLinks(const TSimLinks&) = delete;
    TSimLinks& operator=(const TSimLinks&) = delete;

    const std::string& Folder() const { return folder_; }
    // Links folder/name to target, replacing a symbolic link of that name; returns its path.
    std::string Add(const std::string& name, const std::string& target);
    void Remove(const std::string& name);
    void RemoveAll();

  private:
    std::string folder_;
    int lock_ = -1;
    std::vector<std::string> names_;
};
