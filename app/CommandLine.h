// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's options: a start without clicks, for a machine without a screen whose
// accessories are moved from a phone.
#include <QCoroTask>
#include <QStringList>
#include <iosfwd>
#include <optional>

struct TStartOptions {
    bool connect = false; // press Connect All
    bool remote = false;  // start the phone control server and print where it is
    int port = 1321;      // the phone control server's port; 0 takes a free one
    QString record;       // the file every reading is appended to; none when empty
    bool alpaca = false;  // start the Alpaca server and print where it is
    int alpacaPort = 11111;
    bool indi = false;   // start the INDI server and print where it is
    int indiPort = 7624; // the INDI server's port; 0 takes a free one
    // Find accessories plugged in later (last, so that positional initialisations stand).
    bool hotplug = false;
    // The UDP port Alpaca discovery answers on, when not the standard one; 0 takes a free one.
    std::optional<int> alpacaDiscoveryPort;
};

// Without any display the windows are drawn offscreen rather than the program aborting, so
// that --help and --remote work on a server. Call before the application is made.
void ChooseOffscreenWithoutDisplay();

// Reads the arguments (program name first) into options. For --help, a wrong option or a wrong
// port it prints the help or what is wrong and returns the exit code to end with.
std::optional<int> ReadStartOptions(const QStringList& arguments, TStartOptions& options);

// Gives the remote-access and Alpaca windows their ports, starts the recording of the readings,
// and posts the other options to the event loop, to run once the windows are up. A file that
// cannot be recorded to is said on the error output without a display, in the notifications
// otherwise.
void ApplyStartOptions(const TStartOptions& options);

// Connect All, then the servers' starts with their addresses (and the phone page's QR code) on
// out, or why they did not start on err. The program goes on either way.
QCoro::Task<> RunStartOptions(TStartOptions options, std::ostream& out, std::ostream& err);

// The Alpaca server's start, with its address on out or why it did not start on err.
void StartAlpaca(std::ostream& out, std::ostream& err);

// The control page's address and its QR code as half blocks, as the terminal shows them.
QString RemoteBanner(const QString& url);
