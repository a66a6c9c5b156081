// Which member of Form1 each control of the table is: the one list of the
// designed controls' members, so that no front end lists them again.
#include "core/form1_events.h"

#include <type_traits>
#include <variant>

namespace {
template <class Interface> using Slot = Interface* Form1::*;
using AnySlot = std::variant<Slot<ui::Frame>, Slot<ui::TextBox>, Slot<ui::LineBox>,
                             Slot<ui::CommandButton>, Slot<ui::CheckBox>, Slot<ui::ComboBox>,
                             Slot<ui::Label>, Slot<ui::HScrollBar>, Slot<ui::OptionButton>>;

struct Member {
    std::string_view name;
    AnySlot slot;
};

const std::vector<Member>& Members() {
    static const std::vector<Member> members{
        {"Frame6", &Form1::Frame6},       {"Text3", &Form1::Text3},
        {"Check2", &Form1::Check2},       {"Check3", &Form1::Check3},
        {"Check4", &Form1::Check4},       {"Command20", &Form1::Command20},
        {"Label5", &Form1::Label5},       {"Command6", &Form1::Command6},
        {"Command3", &Form1::Command3},   {"Command7", &Form1::Command7},
        {"Command8", &Form1::Command8},   {"Command9", &Form1::Command9},
        {"Command28", &Form1::Command28}, {"Command21", &Form1::Command21},
        {"Frame10", &Form1::Frame10},     {"Text4", &Form1::Text4},
        {"Frame16", &Form1::Frame16},     {"Text5", &Form1::Text5},
        {"Command29", &Form1::Command29}, {"Command30", &Form1::Command30},
        {"Frame4", &Form1::Frame4},       {"Label8", &Form1::Label8},
        {"Label9", &Form1::Label9},       {"Combo2", &Form1::Combo2},
        {"Command27", &Form1::Command27}, {"Frame15", &Form1::Frame15},
        {"Combo3", &Form1::Combo3},       {"Command26", &Form1::Command26},
        {"Combo4", &Form1::Combo4},       {"Command11", &Form1::Command11},
        {"Combo5", &Form1::Combo5},       {"Frame9", &Form1::Frame9},
        {"Combo1", &Form1::Combo1},       {"Frame11", &Form1::Frame11},
        {"Label1", &Form1::Label1},       {"HScroll1", &Form1::HScroll1},
        {"Label3", &Form1::Label3},       {"HScroll3", &Form1::HScroll3},
        {"Label2", &Form1::Label2},       {"HScroll2", &Form1::HScroll2},
        {"Label4", &Form1::Label4},       {"Option1", &Form1::Option1},
        {"Option2", &Form1::Option2},     {"Command34", &Form1::Command34},
        {"Frame8", &Form1::Frame8},       {"Command2", &Form1::Command2},
        {"Command31", &Form1::Command31}, {"Command1", &Form1::Command1},
        {"Command32", &Form1::Command32}, {"Check1", &Form1::Check1},
        {"Command4", &Form1::Command4},   {"Label6", &Form1::Label6},
        {"Text1", &Form1::Text1},         {"Label7", &Form1::Label7},
    };
    return members;
}
} // namespace

bool AttachControl(Form1& form, std::string_view name, ui::Control* control) {
    for (const Member& m : Members()) {
        if (m.name != name)
            continue;
        return std::visit(
            [&form, control](auto slot) {
                using Interface =
                    std::remove_pointer_t<std::remove_reference_t<decltype(form.*slot)>>;
                auto* typed = dynamic_cast<Interface*>(control);
                if (!typed)
                    return false;
                form.*slot = typed;
                return true;
            },
            m.slot);
    }
    return false;
}

std::vector<std::string_view> AttachableControls() {
    std::vector<std::string_view> names;
    for (const Member& m : Members())
        names.push_back(m.name);
    return names;
}
