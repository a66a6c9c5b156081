// Port choice, rate choice and byte output.
#include "core/form1.h"
#include "core/line_rates.h"
#include "core/net_address.h"
#include "core/text_util.h"

void Form1::ShowPortFailure(std::string_view reason) {
    ++portFailures_;
    // Once the window is gone nobody reads it; and a failure met inside the
    // nested event loop of an open port-failure message would only stack the
    // same message on top of it.
    if (unloaded_ || failureShown_)
        return;
    failureShown_ = true;
    std::u16string text(kPortFailureText);
    if (!reason.empty()) {
        // No serial adapter helps a port on another machine: it gets why.
        const std::string device = MSComm1->DeviceFor(PortNumber);
        if (LooksLikeNetAddress(device))
            text += u"\r\n" + Utf16FromUtf8(device + ": " + std::string(reason));
    }
    MsgBox(text);
    failureShown_ = false;
}

void Form1::BackgroundPortFailure(std::string_view reason) {
    PlayAllActive = 0;
    ShowPortFailure(reason);
}

bool Form1::SendBytes(std::string_view bytes) {
    if (unloaded_)
        return false; // unloaded inside a nested event loop: the port stays closed
    try {
        if (!MSComm1->PortOpen()) {
            MSComm1->SetCommPort(PortNumber);
            MSComm1->SetPortOpen(true);
        }
        MSComm1->Output(bytes);
        Traffic.RecordSent(bytes);
        return true;
    } catch (const CommError& e) {
        // No retry; the caller goes on as if the frame had gone out.
        ShowPortFailure(e.what());
        return false;
    }
}

void Form1::Combo4_Click() {
    if (unloaded_)
        return;
    const int index = Combo4->ListIndex();
    PlayAllActive = 0;
    try {
        if (MSComm1->PortOpen())
            MSComm1->SetPortOpen(false);
    } catch (const CommError&) {
        // Closing the old port has no failure path of its own.
    }
    if (index < 0 || index >= 20)
        return;
    try {
        if (!MSComm1->PortOpen()) {
            PortNumber = static_cast<int16_t>(index + 1);
            MSComm1->SetCommPort(PortNumber);
            MSComm1->SetPortOpen(true);
        }
    } catch (const CommError& e) {
        ShowPortFailure(e.what());
    }
}

void Form1::Combo2_Click() {
    const int index = Combo2->ListIndex();
    if (!IsRateIndex(index))
        return;
    try {
        MSComm1->SetSettings(SettingsOfIndex(index));
    } catch (const CommError&) {
        // An open port that refuses the rate keeps its old one.
    }
}
