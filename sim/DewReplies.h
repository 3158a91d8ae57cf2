// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a simulated Brisella dew controller stores and the texts it sends. Numbers use "."
// whatever the host's locale.
#include <array>
#include <string>

struct TDewSettings {
    std::array<int, 3> calibration{0, 0, 0}; // probe 1, probe 2, ambient; degrees, 0 to 9
    std::array<int, 2> threshold{2, 2};      // probes 1 and 2; degrees, 0 to 9
    bool automatic = false;
    bool linked = false;  // output 3 follows output 2
    int aggressivity = 2; // 1 to 4

    bool operator==(const TDewSettings&) const = default;
};

struct TDewReadings {
    std::array<double, 2> probe{0, 0};  // degrees, before calibration
    double ambient = 0;                 // degrees, before calibration
    double humidity = 0;                // percent
    double dewPoint = 0;                // degrees
    std::array<int, 3> output{0, 0, 0}; // percent
};

// Dew point by the Magnus formula (Sonntag's constants), degrees Celsius.
double DewPoint(double celsius, double humidity);

// Answer to "SWHOIS": holds "BRS" and the firmware in parentheses, ends with a carriage return.
std::string DewIdentification(int firmware);
// Answer to "SGETAL": "##" + sixteen "/"-separated fields + "**".
std::string DewFrame(const TDewReadings& readings, const TDewSettings& settings);
// Acknowledgement of a setting command, and the refusal of a malformed one.
inline constexpr char kDewDone[] = "DONE\r\n";
inline constexpr char kDewError[] = "ERR\r\n";
// Percent per second by which automatic mode moves an output, for aggressivity 1 to 4:
// 0 to 100 % in 5 min, 2.5 min, 1 min, 30 s.
double AggressivityRate(int aggressivity);
