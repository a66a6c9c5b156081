// A flag one thread sets and another thread's loop waits on beside its
// lines: a pipe's read end for poll() on POSIX, a manual-reset event for
// WaitForMultipleObjects on Windows. Setting it twice is setting it once.
#pragma once

class WakeEvent {
  public:
    WakeEvent();
    ~WakeEvent();
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;

    // False when the system could not make one (out of descriptors).
    bool valid() const;
    void set();
    bool isSet() const;
    // POSIX: the descriptor that turns readable once set (-1 on Windows).
    int descriptor() const;
    // Windows: the event HANDLE (nullptr on POSIX).
    void* handle() const;

  private:
    int fds_[2] = {-1, -1};
    void* event_ = nullptr;
};
