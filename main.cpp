#include "shell/form1.h"
#include "shell/qt_translations.h"
#include "shell/standard_streams.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    if (!OpenStandardStreams())
        return kNoStandardStreamsStatus;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VXT4710"));
    LoadQtTranslations(app, QLocale::system());
    CatchTerminationSignals();
    Form1 window;
    CloseOnTerminationSignals(&window);
    window.show();
    return app.exec();
}
