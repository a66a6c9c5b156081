// The link com<n> in the ports folder, put in place and taken away again.
//
// While the link is ours, the record .com<n>.owner beside it says who made
// it and what was there before, and stays locked (see serial/link_owner.h):
// a second simulated chip refuses the name, and a link left behind by one
// that was killed is recognised and replaced.
#pragma once

#include <optional>
#include <string>

namespace chipsim {

class PortLink {
  public:
    PortLink() = default;
    ~PortLink() { remove(); }
    PortLink(const PortLink&) = delete;
    PortLink& operator=(const PortLink&) = delete;

    // Points folder/com<n> at device. Refuses (false, with a message on
    // standard error) a name that a running simulated chip holds, and
    // anything there that is no link. Called again (after a replug), it
    // points the same link at the new device.
    bool make(const std::string& folder, int n, const std::string& device);
    // Puts back exactly what was there before: the earlier link, or none.
    // A link somebody else has put in place of ours meanwhile stays.
    void remove();
    // The line is gone: the link now points at a name that exists nowhere,
    // as an adapter's name vanishes with the adapter. Without any link the
    // console would take COM<n> for the system's own n-th serial port.
    void unplug();

  private:
    bool takeName(const std::string& folder, int n);
    void release();
    bool point(const std::string& target);
    bool record();

    std::string folder_, path_, device_;
    std::optional<std::string> previous_;
    int n_ = 0;
    int ownerFd_ = -1; // the locked record
};

// Makes dir and its parents; true when it is a folder afterwards.
bool MakeDirs(const std::string& dir);

} // namespace chipsim
