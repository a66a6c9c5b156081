// The GBK byte measure: how the console's text goes to the chip, and how many
// bytes it takes there. The codes come from the core (GbkCodeOf); these are
// its forms for Qt's strings.
#pragma once

#include "core/gbk.h"

#include <QByteArray>
#include <QStringView>

// The number of bytes text takes in GBK, by the measure of GbkCodeOf.
qsizetype GbkByteCount(QStringView text);

// text in GBK, unit by unit by the same measure: GbkBytes(t).size() is
// always GbkByteCount(t).
QByteArray GbkBytes(QStringView text);
