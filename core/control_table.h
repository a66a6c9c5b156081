// The window's control table as designed: name, kind, container, caption or
// start text, geometry in twips and place in the tab order.
#pragma once

#include <string>
#include <string_view>
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
    std::string name;
    ControlKind kind;
    std::string container;        // empty: the window's client area
    std::u16string caption;       // caption or start text
    int left, top, width, height; // twips, inside the container
    int tab;                      // place in the keyboard focus order
};

// Every control, containers before what they hold.
const std::vector<DesignedControl>& ControlTable();

// The fixed list entries of a combo box (empty for any other name).
std::vector<std::u16string> ComboEntries(std::string_view comboName);

// Window constants.
inline constexpr std::u16string_view kWindowTitle = u"Orvanta-VXT4710E中文语音合成芯片-PC端演示程序";
constexpr int kClientWidthTwips = 11940;
constexpr int kClientHeightTwips = 10515;

// Twips to pixels at the given logical dpi (15 twips to a pixel at 96 dpi).
int TwipsToPixels(int twips, double dpi);
