#include "core/form1_events.h"

const std::vector<FormEventRow>& Form1Events() {
    using E = FormEvent;
    static const std::vector<FormEventRow> rows{
        {"Command2", E::Click, &Form1::Command2_Click},
        {"Command6", E::Click, &Form1::Command6_Click},
        {"Command7", E::Click, &Form1::Command7_Click},
        {"Command8", E::Click, &Form1::Command8_Click},
        {"Command9", E::Click, &Form1::Command9_Click},
        {"Command21", E::Click, &Form1::Command21_Click},
        {"Command28", E::Click, &Form1::Command28_Click},
        {"Command11", E::Click, &Form1::Command11_Click},
        {"Command29", E::Click, &Form1::Command29_Click},
        {"Command30", E::Click, &Form1::Command30_Click},
        {"Combo4", E::Click, &Form1::Combo4_Click},
        {"Combo2", E::Click, &Form1::Combo2_Click},
        {"HScroll1", E::Change, &Form1::HScroll1_Change},
        {"HScroll2", E::Change, &Form1::HScroll2_Change},
        {"HScroll3", E::Change, &Form1::HScroll3_Change},
        {"Option1", E::Click, &Form1::Option1_Click},
        {"Option2", E::Click, &Form1::Option2_Click},
        {"Command34", E::Click, &Form1::Command34_Click},
        {"Command3", E::Click, &Form1::Command3_Click},
        {"Command4", E::Click, &Form1::Command4_Click},
        {"Text1", E::Change, &Form1::Text1_Change},
        {"Command1", E::Click, &Form1::Command1_Click},
        {"Command31", E::Click, &Form1::Command31_Click},
        {"Command32", E::Click, &Form1::Command32_Click},
    };
    return rows;
}

void (Form1::*Form1Handler(std::string_view control, FormEvent event))() {
    for (const FormEventRow& row : Form1Events()) {
        if (row.control == control && row.event == event)
            return row.handler;
    }
    return nullptr;
}

const std::vector<DesignedValue>& DesignedValues() {
    static const std::vector<DesignedValue> values{
        {"HScroll1", 1, 17, 11}, {"HScroll3", 1, 17, 5}, {"HScroll2", 1, 6, 5}, {"Option1", 0, 1, 1},
        {"Check1", 0, 1, 1},     {"Check2", 0, 1, 1},    {"Check4", 0, 1, 1},
    };
    return values;
}

const std::vector<MenuEntryRow>& Form1MenuEntries() {
    static const std::vector<MenuEntryRow> rows{
        {"Text3", kOpenTextEntry, "OpenText", &Form1::OpenTextFile},
        {"Text3", kSaveTextAsEntry, "SaveTextAs", &Form1::SaveTextAs},
        {"Text4", kAnalysisEntry, "TrafficAnalysis", &Form1::OpenAnalysis},
        {"Text4", kSaveLogEntry, "SaveLog", &Form1::SaveLog},
    };
    return rows;
}
