// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The dew controller's command texts, without links or widgets.
#include <QByteArray>
#include <QString>

namespace dew {

inline constexpr char kPoll[] = "SGETAL";
inline constexpr char kFactoryReset[] = "SEERAZ";

// "S1O" / "S2O" / "S3O" + slider position x 10, left-padded to three digits (0 -> S1O000).
QByteArray OutputCommand(int output, int sliderPosition);
// "SCA" + the three spin edits' texts, "STHR" + the two threshold texts (a text the user emptied
// adds nothing, so the command comes out shorter).
QByteArray CalibrationCommand(const QString& t1, const QString& t2, const QString& ta);
QByteArray ThresholdsCommand(const QString& t1, const QString& t2);
QByteArray LinkCommand(bool linked);    // SLINK1 / SLINK0
QByteArray AutoCommand(bool automatic); // SAUTO1 / SAUTO0
// "SAGGR" + item index + 1 ("1" -> SAGGR1 ... "10" -> SAGGR4); empty with no item chosen.
QByteArray AggressivityCommand(int item);

} // namespace dew
