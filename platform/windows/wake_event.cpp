#include "platform/wake_event.h"

#include <windows.h>

WakeEvent::WakeEvent() {
    event_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

WakeEvent::~WakeEvent() {
    if (event_)
        ::CloseHandle(event_);
}

bool WakeEvent::valid() const {
    return event_ != nullptr;
}

void WakeEvent::set() {
    if (event_)
        ::SetEvent(event_);
}

bool WakeEvent::isSet() const {
    return event_ && ::WaitForSingleObject(event_, 0) == WAIT_OBJECT_0;
}

int WakeEvent::descriptor() const {
    return -1;
}

void* WakeEvent::handle() const {
    return event_;
}
