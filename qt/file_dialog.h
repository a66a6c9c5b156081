// What the console asks of a file dialog, so that tests can answer instead.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

struct FileDialogRequest {
    bool save = false; // a save dialog (else an open dialog)
    QString caption;
    QStringList filters; // name filters; for saving, their order matches the encodings offered
    int filter = 0;      // the filter chosen when the dialog opens
    QString fileName;    // the name suggested for saving
};

struct FileDialogAnswer {
    QString path; // empty: cancelled
    int filter = 0;
};

using FileDialogFn = std::function<FileDialogAnswer(const FileDialogRequest&)>;
