// The voice: espeak-ng says each text aloud (--speak) and/or writes it as a
// numbered WAV file (--wav DIR), at the chip's speed and volume.
#pragma once

#include "sim/chip_model.h"

#include <deque>
#include <string>
#include <sys/types.h>
#include <vector>

namespace chipsim {

// espeak-ng's arguments for a text at these attributes (without the
// program name, the output file and the text): Mandarin voice, words per
// minute from the speed and style, amplitude from the volume.
std::vector<std::string> VoiceArguments(const Attributes& attrs);

class Voice {
  public:
    // Either may be off; a missing espeak-ng is reported once on standard
    // error and leaves the chip silent, nothing else.
    void enable(bool speak, const std::string& wavDir);
    void handle(const VoiceEvent& e);
    void reap();
    void stop();
    ~Voice();

  private:
    void signal(int sig);
    pid_t spawn(const std::vector<std::string>& args);
    void writeWav(const VoiceEvent& e);

    bool speak_ = false;
    std::string wavDir_;
    int wavCount_ = 0;
    pid_t pid_ = -1;            // the one speaking process
    std::deque<pid_t> writers_; // WAV files being written, oldest first
};

} // namespace chipsim
