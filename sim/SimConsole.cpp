// SPDX-License-Identifier: GPL-3.0-or-later
#include "SimConsole.h"

#include "SimDew.h"
#include "SimFocuser.h"

#include <cstdlib>
#include <iomanip>
#include <set>
#include <sstream>

std::string ConsoleHelp() {
    return "list | add KIND | unplug NAME | plug NAME | silent NAME | speak NAME | "
           "temp NAME DEGREES | humidity NAME PERCENT | help";
}

TConsole::~TConsole() {
    links_.RemoveAll();
}

void TConsole::Add(const std::string& name, const TSimKind& kind,
                   std::unique_ptr<TSimDevice> device) {
    const std::string link = links_.Add(name, device->Port());
    entries_.push_back({name, kind, link, std::move(device)});
}

void TConsole::List(std::ostream& out) const {
    for (const auto& e : entries_) {
        out << "  " << std::left << std::setw(12) << e.name << std::setw(52) << e.kind.description;
        if (e.device->Plugged())
            out << e.link << " -> " << e.device->Port() << "\n";
        else
            out << "unplugged\n";
    }
    out.flush();
}

TConsole::TEntry* TConsole::Find(const std::string& name) {
    for (auto& e : entries_)
        if (e.name == name) return &e;
    return nullptr;
}

void TConsole::Feed(std::string_view bytes, std::ostream& out) {
    line_.append(bytes);
    for (std::size_t end; (end = line_.find('\n')) != std::string::npos;) {
        const std::string line = line_.substr(0, end);
        line_.erase(0, end + 1);
        Run(line, out);
    }
}

void TConsole::Run(const std::string& line, std::ostream& out) {
    std::istringstream words(line);
    std::string verb, name, value;
    words >> verb >> name >> value;
    if (verb.empty()) return;
    if (verb == "list") return List(out);
    if (verb == "help") {
        out << ConsoleHelp() << std::endl;
        return;
    }
    if (verb == "add") {
        // A device plugged in while Skyvarn runs, named as if it had been given last.
        const auto kind = FindSimKind(name);
        if (!kind) {
            out << "no device kind '" << name << "'" << std::endl;
            return;
        }
        std::vector<TSimKind> kinds;
        for (const auto& e : entries_)
            kinds.push_back(e.kind);
        kinds.push_back(*kind);
        Add(LinkNames(kinds).back(), *kind, MakeSimDevice(*kind, tuning_));
        out << "ok " << entries_.back().link << " -> " << entries_.back().device->Port()
            << std::endl;
        return;
    }
    static const std::set<std::string> kVerbs{"unplug", "plug", "silent",
                                              "speak",  "temp", "humidity"};
    if (!kVerbs.count(verb)) {
        out << "unknown command '" << verb << "'; " << ConsoleHelp() << std::endl;
        return;
    }
    TEntry* entry = Find(name);
    if (!entry) {
        out << "no device named '" << name << "'" << std::endl;
        return;
    }
    TSimDevice& device = *entry->device;
    auto* focuser = dynamic_cast<TSimFocuser*>(&device);
    auto* dew = dynamic_cast<TSimDewController*>(&device);
    char* end = nullptr;
    const double number = std::strtod(value.c_str(), &end);
    const bool hasNumber = !value.empty() && *end == '\0';

    if (verb == "unplug") {
        links_.Remove(entry->name);
        device.Unplug();
    } else if (verb == "plug") {
        device.Plug();
        links_.Add(entry->name, device.Port());
    } else if (verb == "silent" || verb == "speak") {
        TFaults faults = device.Faults();
        faults.silent = verb == "silent";
        device.SetFaults(faults);
    } else if (verb == "temp" && hasNumber && (focuser || dew)) {
        if (focuser)
            focuser->SetTemperature(number);
        else
            dew->SetAmbient(number);
    } else if (verb == "humidity" && hasNumber && dew) {
        dew->SetHumidity(number);
    } else {
        out << "cannot '" << line << "'; " << ConsoleHelp() << std::endl;
        return;
    }
    out << "ok" << std::endl;
}
