#include "Probe.h"

ProbeKinds RecogniseReply(const QString& reply) {
    ProbeKinds kinds;
    kinds.focuser = reply.contains(QLatin1String("QLO")) || reply.contains(QChar('!'));
    kinds.dew = reply.contains(QLatin1String("BRS"));
    kinds.panels = reply.contains(QLatin1String("PANPRI"));
    return kinds;
}

QString FirmwareVersionText(const QString& reply) {
    const qsizetype close = reply.indexOf(QChar(')'));
    const QString before = close < 0 ? QString() : reply.left(close);
    const qsizetype open = before.indexOf(QChar('('));
    return open < 0 ? before : before.mid(open + 1);
}
