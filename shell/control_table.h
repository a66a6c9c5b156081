// The window's control table as designed: name, kind, container, caption or
// start text, geometry in twips and place in the tab order.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

enum class ControlKind {
    Frame,
    TextBox,
    LineBox,
    CommandButton,
    CheckBox,
    ComboBox,
    Label,
    HScrollBar,
    OptionButton
};

struct DesignedControl {
    QString name;
    ControlKind kind;
    QString container;            // empty: the window's client area
    QString caption;              // caption or start text
    int left, top, width, height; // twips, inside the container
    int tab;                      // place in the keyboard focus order
};

// Every control, containers before what they hold.
const std::vector<DesignedControl>& ControlTable();

// The fixed list entries of a combo box (empty for any other name).
QStringList ComboEntries(const QString& comboName);

// Window constants.
extern const QString kWindowTitle;
// The face every caption is measured for where 宋体 is missing (Debian's
// fonts-arphic-uming).
extern const QString kCaptionFontFamily;
constexpr int kClientWidthTwips = 11940;
constexpr int kClientHeightTwips = 10515;

// Twips to pixels at the given logical dpi (15 twips to a pixel at 96 dpi).
int TwipsToPixels(int twips, double dpi);
