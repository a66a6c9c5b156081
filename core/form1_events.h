// What connects the designed window to its handlers, written once for every
// front end: which control raises which event into which handler of Form1,
// and the values the controls hold at design time. Each front end makes a
// widget per row of the control table, sets these values before any handler
// is connected, then connects one of its notifications per event row.
#pragma once

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
