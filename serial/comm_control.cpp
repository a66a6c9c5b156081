#include "serial/comm_control.h"

#include <QStringList>

bool ParseCommSettings(const QString& settings, qint32* baudRate) {
    const QStringList fields = settings.split(QLatin1Char(','));
    if (fields.size() != 4)
        return false;
    bool ok = false;
    const qint32 rate = fields[0].trimmed().toInt(&ok);
    if (!ok || rate <= 0)
        return false;
    if (fields[1].trimmed().compare(QLatin1String("N"), Qt::CaseInsensitive) != 0 ||
        fields[2].trimmed() != QLatin1String("8") || fields[3].trimmed() != QLatin1String("1"))
        return false;
    if (baudRate)
        *baudRate = rate;
    return true;
}
