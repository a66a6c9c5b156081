// The link com<n> in the ports folder, put in place and taken away again.
#pragma once

#include <string>

namespace chipsim {

class PortLink {
  public:
    // Points folder/com<n> at device; a link to anything but a
    // pseudo-terminal that was there is put back by remove().
    bool make(const std::string& folder, int n, const std::string& device);
    // Removes our own link only (another simulator may have taken it over).
    void remove();
    // The line is gone: the link now points at a name that exists nowhere,
    // as an adapter's name vanishes with the adapter. Without any link the
    // console would take COM<n> for the system's own n-th serial port.
    void unplug();

  private:
    std::string path_, device_, previous_;
    int n_ = 0;
};

// Makes dir and its parents; true when it is a folder afterwards.
bool MakeDirs(const std::string& dir);

} // namespace chipsim
