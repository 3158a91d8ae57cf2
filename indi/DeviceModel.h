// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An accessory as an INDI device: the vectors every client sees, kept here once for all of
// them. What all of Skyvarn's devices share lives in this base: CONNECTION, DRIVER_INFO and
// DEVICE_PORT, and the answers to a client's CONNECT and DISCONNECT. Pure: the server feeds it
// the device's readings and runs the operations it asks for.
#include "Protocol.h"

#include <QStringList>

namespace indi {

// DRIVER_INTERFACE bits of the INDI library's BaseDevice.
inline constexpr int kGeneralInterface = 0;
inline constexpr int kFocuserInterface = 1 << 3;
inline constexpr int kWeatherInterface = 1 << 7;
inline constexpr int kAuxInterface = 1 << 15;

// Group names as INDI's own drivers spell them; clients show them as tabs.
inline const QString kMainControl = QStringLiteral("Main Control");
inline const QString kConnectionGroup = QStringLiteral("Connection");
inline const QString kInfoGroup = QStringLiteral("General Info");
inline const QString kOptionsGroup = QStringLiteral("Options");

// What the server sends right away after a client's command: these vectors' new states, the
// message with the first of them (or alone, when no vector changed).
struct Reply {
    QStringList changed;
    QString message;
};

class TDeviceModel {
  public:
    // device: the INDI device name ("Quillo 1"); port: the serial port Skyvarn holds for it.
    TDeviceModel(QString device, const QString& port, int interfaces);
    virtual ~TDeviceModel() = default;

    const QString& Device() const { return device_; }
    // In definition order.
    const QList<Vector>& Vectors() const { return vectors_; }
    const Vector* Find(const QString& name) const;
    // The answer to a command for what every device has (CONNECTION, read-only vectors);
    // empty for anything else.
    Reply Answer(const Command& command);

  protected:
    Vector& At(const QString& name);
    // CONNECTION, and new values for vectors no client may set. True when the command was one
    // of those; reply says what to send.
    bool RequestCommon(const Command& command, Reply& reply);
    // The vector's state, reported in changed when it moved.
    void SetState(const QString& name, State state, QStringList& changed);
    // A number member's value, reported in changed when it moved.
    void SetNumber(const QString& name, const QString& element, double value, QStringList& changed);
    void SetSwitch(const QString& name, const QString& element, bool on, QStringList& changed);

    QList<Vector> vectors_;

  private:
    QString device_;
};

// The number a client sent for a member, rounded to a whole one; false with why when the member
// is missing, not a number or outside [min, max].
bool WholeNumber(const Command& command, const QString& member, int min, int max, int& value,
                 QString& why);

} // namespace indi
