#include "core/exit_status.h"
#include "platform/standard_streams.h"
#include "qt/form1.h"
#include "qt/qt_translations.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    if (!OpenStandardStreams())
        return kNoStandardStreamsStatus;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VXT4710"));
    LoadQtTranslations(app, QLocale::system());
    CatchTerminationSignals();
    Form1Window window;
    CloseOnTerminationSignals(&window);
    // A signal while start-up showed a message box closed the window already:
    // the program ends as the signal would have ended it (129, 130, 143).
    if (TerminationRequested())
        return ExitStatus::SignalBase + CaughtTerminationSignal();
    window.show();
    return app.exec();
}
