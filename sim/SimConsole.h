// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The running simulator's devices, and the commands typed on its standard input that let a
// user try what Skyvarn does when an accessory falls silent, is unplugged or sees the weather
// change.
#include "SimKinds.h"
#include "SimLinks.h"

#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

std::string ConsoleHelp();

class TConsole {
  public:
    explicit TConsole(TSimLinks& links, TSimTuning tuning = {}) : links_(links), tuning_(tuning) {}
    ~TConsole(); // links go before the devices stop
    TConsole(const TConsole&) = delete;
    TConsole& operator=(const TConsole&) = delete;

    // Starts announcing the device under `name`.
    void Add(const std::string& name, const TSimKind& kind, std::unique_ptr<TSimDevice> device);
    void List(std::ostream& out) const;
    // Bytes read from standard input: each complete line is a command.
    void Feed(std::string_view bytes, std::ostream& out);
    void Run(const std::string& line, std::ostream& out);

  private:
    struct TEntry {
        std::string name;
        TSimKind kind;
        std::string link;
        std::unique_ptr<TSimDevice> device;
    };
    TEntry* Find(const std::string& name);

    TSimLinks& links_;
    TSimTuning tuning_; // of the devices added while running
    std::vector<TEntry> entries_;
    std::string line_;
};
