// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A real INDI client for the tests: the INDI library's own BaseClient, the one KStars links,
// recording what it learns on its own thread for the test to read.
#include <baseclient.h>
#include <basedevice.h>

#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

class TIndiTestClient : public INDI::BaseClient {
    template <class F> auto Locked(F&& f) const -> decltype(f()) {
        std::lock_guard lock(mutex_);
        return f();
    }

  public:
    struct Seen {
        IPState state = IPS_IDLE;
        std::map<std::string, std::string> values; // numbers as %g, switches "On"/"Off"
        double Number(const std::string& element) const {
            const auto found = values.find(element);
            return found == values.end() ? -1e300 : std::stod(found->second);
        }
    };

    explicit TIndiTestClient(int port) {
        setServer("127.0.0.1", port);
        connectServer();
    }
    ~TIndiTestClient() override { disconnectServer(); }

    // Sends the switch vector with only this member On, as a client's button does.
    void Choose(const char* device, const char* property, const char* member) {
        INDI::PropertyView<ISwitch>* vector = getDevice(device).getSwitch(property);
        vector->reset();
        vector->findWidgetByName(member)->setState(ISS_ON);
        sendNewSwitch(vector);
    }

    bool Connected() const {
        return Locked([&] { return connected_ && !lost_; });
    }
    bool Lost() const {
        return Locked([&] { return lost_; });
    }
    std::set<std::string> Devices() const {
        return Locked([&] { return devices_; });
    }
    int Removed() const {
        return Locked([&] { return removed_; });
    }
    std::optional<Seen> Last(const std::string& device, const std::string& property) const {
        return Locked([&]() -> std::optional<Seen> {
            const auto& h = history_.find(device + "/" + property);
            if (h == history_.end() || h->second.empty()) return std::nullopt;
            return h->second.back();
        });
    }
    std::vector<Seen> History(const std::string& device, const std::string& property) const {
        return Locked([&] {
            const auto& h = history_.find(device + "/" + property);
            return h == history_.end() ? std::vector<Seen>{} : h->second;
        });
    }
    std::vector<std::string> Messages() const {
        return Locked([&] { return messages_; });
    }
    // What the library holds, as its callbacks told it: each device with its properties.
    std::map<std::string, std::set<std::string>> Held() const {
        return Locked([&] { return held_; });
    }
    void Forget(const std::string& device, const std::string& property) {
        Locked([&] { history_.erase(device + "/" + property); });
    }

  protected:
    void serverConnected() override {
        Locked([&] { connected_ = true; });
    }
    void serverDisconnected(int) override {
        Locked([&] { lost_ = true; });
    }
    void newDevice(INDI::BaseDevice device) override {
        Locked([&] {
            devices_.insert(device.getDeviceName());
            held_[device.getDeviceName()];
        });
    }
    void removeDevice(INDI::BaseDevice device) override {
        Locked([&] {
            devices_.erase(device.getDeviceName());
            held_.erase(device.getDeviceName());
            ++removed_;
        });
    }
    void newProperty(INDI::Property property) override {
        Locked([&] { held_[property.getDeviceName()].insert(property.getName()); });
        Record(property);
    }
    void removeProperty(INDI::Property property) override {
        Locked([&] { held_[property.getDeviceName()].erase(property.getName()); });
    }
    void updateProperty(INDI::Property property) override { Record(property); }
    void newMessage(INDI::BaseDevice device, int id) override {
        const std::string text = device.messageQueue(id);
        Locked([&] { messages_.push_back(text); });
    }

  private:
    void Record(INDI::Property property) {
        Seen seen;
        seen.state = property.getState();
        char number[64];
        switch (property.getType()) {
        case INDI_NUMBER:
            for (const auto& n : *property.getNumber()) {
                std::snprintf(number, sizeof number, "%.15g", n.getValue());
                seen.values[n.getName()] = number;
            }
            break;
        case INDI_SWITCH:
            for (const auto& s : *property.getSwitch())
                seen.values[s.getName()] = s.getState() == ISS_ON ? "On" : "Off";
            break;
        case INDI_LIGHT:
            for (const auto& l : *property.getLight())
                seen.values[l.getName()] = pstateStr(l.getState());
            break;
        case INDI_TEXT:
            for (const auto& t : *property.getText())
                seen.values[t.getName()] = t.getText();
            break;
        default:
            break;
        }
        const std::string key = std::string(property.getDeviceName()) + "/" + property.getName();
        Locked([&] { history_[key].push_back(seen); });
    }

    mutable std::mutex mutex_;
    bool connected_ = false;
    bool lost_ = false;
    std::set<std::string> devices_;
    std::map<std::string, std::set<std::string>> held_;
    int removed_ = 0;
    std::map<std::string, std::vector<Seen>> history_;
    std::vector<std::string> messages_;
};

// What the INDI library's own client keeps at its end is its own, not the server's: the leak
// checker of the sanitizer build reads this list (a list in the environment would be lost in
// CTest's property list). Each test program includes this header from one file only.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libindiclient\n";
}
