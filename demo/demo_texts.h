// The built-in demonstration texts: plain code, no widgets.
#pragma once

#include <QString>
#include <QStringList>

// Lines of each text, without line breaks; empty strings are empty lines.
QStringList ShowcaseLines();   // smart-recognition showcase, 27 lines
QStringList ChipIntroLines();  // the chip's feature list, 17 lines
QStringList PromptToneLines(); // the prompt-tone tags, 12 lines

// Lines joined by CR LF, none after the last line.
QString JoinCrLf(const QStringList& lines);

QString ShowcaseText();
QString ChipIntroText();
QString PromptToneText();
