#include "qt/form1.h"
#include "qt/qt_translations.h"
#include "platform/standard_streams.h"

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
    // A signal while start-up showed a message box closed the window already.
    if (TerminationRequested())
        return 0;
    window.show();
    return app.exec();
}
