// Qt's own texts (the Undo, Cut, Copy, Paste and Select All of every text
// box's context menu, the buttons of dialogs) in the user's language, from
// Debian's qt6-translations-l10n, so that they stand in Chinese beside the
// console's own Chinese entries.
#pragma once

#include <QLocale>
#include <QString>

class QCoreApplication;
class QTranslator;

// Installs Qt's translations for locale into app and returns them (owned by
// app); nullptr when there are none for it (an English desktop, or the
// package missing), and Qt speaks English. folder: where the .qm files are;
// empty for Qt's own translations folder.
QTranslator* LoadQtTranslations(QCoreApplication& app, const QLocale& locale,
                        const QString& folder = QString());
