#include "platform/serial_port.h"

std::string SerialFailureText(SerialFault fault, std::string_view systemText, bool accessDenied) {
    const std::string text(systemText);
    if (fault == SerialFault::Held && !accessDenied)
        return "the port is held by another program (" + text + ")";
    if (fault == SerialFault::Gone) {
        // "Unknown error" says nothing a user can act on.
        if (text.empty() || text == "Unknown error")
            return "the device is gone";
        return "the device is gone (" + text + ")";
    }
    return text;
}
