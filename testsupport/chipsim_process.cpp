#include "testsupport/chipsim_process.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

ChipSim::ChipSim(const QString& portsFolder, int n, double timeScale,
                 const QStringList& extraArgs) {
    QStringList args{QStringLiteral("--as"),         QStringLiteral("COM%1").arg(n),
                     QStringLiteral("--ports-dir"),  portsFolder,
                     QStringLiteral("--time-scale"), QString::number(timeScale),
                     QStringLiteral("--quit-on-eof")};
    args += extraArgs;
    process_.start(QStringLiteral(VXT_CHIPSIM_PATH), args);
    if (!process_.waitForStarted(5000))
        return;
    if (waitForLine(QStringLiteral("device "), 5000)) {
        for (const QString& line : lines_) {
            // (With --report-times the line starts with the time.)
            const qsizetype at = line.indexOf(QLatin1String("device "));
            if (at >= 0) {
                device_ = line.mid(at + 7).trimmed();
                break;
            }
        }
    }
    // The link is made right after the device line.
    if (!device_.isEmpty())
        waitForLine(QStringLiteral("linked COM"), 5000);
}

ChipSim::~ChipSim() {
    if (process_.state() == QProcess::NotRunning)
        return;
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(2000);
    }
}

void ChipSim::collect() {
    partial_ += process_.readAllStandardOutput();
    errors_ += process_.readAllStandardError();
    for (;;) {
        const int nl = partial_.indexOf('\n');
        if (nl < 0)
            break;
        lines_ << QString::fromUtf8(partial_.left(nl));
        partial_.remove(0, nl + 1);
    }
}

QStringList ChipSim::lines() {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    collect();
    return lines_;
}

QString ChipSim::errors() {
    collect();
    return QString::fromUtf8(errors_);
}

bool ChipSim::waitForLine(const QString& substr, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    for (;;) {
        collect();
        for (const QString& line : lines_) {
            if (line.contains(substr))
                return true;
        }
        if (t.elapsed() > timeoutMs || process_.state() == QProcess::NotRunning) {
            collect();
            for (const QString& line : lines_) {
                if (line.contains(substr))
                    return true;
            }
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        process_.waitForReadyRead(5);
    }
}
