// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Brisella as an INDI weather and auxiliary device: the ambient temperature, humidity and
// dew point as weather parameters, its two probe temperatures, and its three heater outputs
// under the dew names of INDI's power interface (duty cycles, automatic control), with the
// linking of outputs 2 and 3.
#include "DeviceModel.h"
#include "Frame.h"
#include "Weather.h"

#include <utility>

namespace indi {

struct DewReadings {
    DewValues values;
    bool owned[3] = {false, false, false}; // outputs 1..3 moved by the automatic mode
    bool framed = false;                   // a frame has come since the controller connected
};

class TDewModel : public TDeviceModel {
  public:
    TDewModel(const QString& device, const QString& port, const DewReadings& readings,
              const WeatherSettings& weather = {});

    QStringList Update(const DewReadings& readings);

    struct Action {
        // Weather: the client changed weather settings (a range, the update period).
        enum class Do { Nothing, Outputs, SaveOutputs, Refresh, Weather };
        Do what = Do::Nothing;
        QList<std::pair<int, int>> outputs; // Outputs: (output 1..3, slider position 0..10)
        bool linked = false;                // SaveOutputs
        bool automatic = false;
        bool autoAsked = false; // SaveOutputs: the client set the automatic mode, else the linking
        int aggressivityItem = -1;
        WeatherSettings weather; // Weather: the settings now
        Reply reply;
    };
    Action Request(const Command& command);
    // The Outputs or SaveOutputs of the last action ended, readings as they are now; failure:
    // why not.
    Reply Finished(Action::Do what, const DewReadings& readings, const QString& failure = {});

  private:
    // The weather lights and WEATHER_STATUS from the last frame.
    void Judge(QStringList& changed);
    Action WeatherRequest(const Command& command);

    DewReadings readings_;
    WeatherSettings weather_;
};

} // namespace indi
