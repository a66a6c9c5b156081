// What connects the designed window to its handlers, written once for every
// front end: which member of Form1 each control of the table is, which
// control raises which event into which handler, the values the controls
// hold at design time and the console's entries of the context menus. Each
// front end makes a widget per row of the control table, hands Form1 its
// view of each by AttachControl, sets these values before any handler is
// connected, then connects one of its notifications per event row.
#pragma once

#include "core/control_table.h"
#include "core/form1.h"

#include <string_view>
#include <vector>

// The events a designed control raises: a click (a button pressed, an entry
// picked, an option chosen) or a change (a scroll bar moved, a line typed).
enum class FormEvent { Click, Change };

struct FormEventRow {
    std::string_view control;
    FormEvent event;
    void (Form1::*handler)();
};

// Every control event the window handles, in the designed order.
const std::vector<FormEventRow>& Form1Events();

// The handler of control's event, or nullptr when it has none.
void (Form1::*Form1Handler(std::string_view control, FormEvent event))();

// A design-time value: a scroll bar's range and position, a check box's
// value, an option button's (1: chosen).
struct DesignedValue {
    std::string_view control;
    int min, max, value;
};
const std::vector<DesignedValue>& DesignedValues();

// Hands control to the member of form named by the table row name. False,
// and nothing set, when form has no such member or control is not of the
// member's kind.
bool AttachControl(Form1& form, std::string_view name, ui::Control* control);
// The names AttachControl knows, in the order of the members.
std::vector<std::string_view> AttachableControls();

// The console's own entries of a big text box's context menu, after the edit
// entries, in their order.
struct MenuEntryRow {
    std::string_view control;    // the text box: Text3 or Text4
    std::u16string_view caption; // core/text_files.h
    std::string_view id;         // names the entry for the toolkit and tests
    void (Form1::*action)();
};
const std::vector<MenuEntryRow>& Form1MenuEntries();
