// The chip's synthesis attributes and the control marks that set them, and
// the rule by which speed and reading style give the speaking time.
//
// Marks, whether a frame of their own or inside a text:
//   [v0]..[v16]  foreground volume        [m0]..[m16]  background volume
//   [t0]..[t5]   word speed (0 slowest)   [o0] natural, [o1] word by word
//   [d]          all of them back to their defaults (v10 m4 t4 o0)
//   [r]          the next name is read as a surname (no lasting attribute)
// Anything else in square brackets made of mark characters is an unknown mark:
// reported and ignored.
//
// Speaking time: a character whose GBK code has two bytes takes 250 ms, any
// other visible character 100 ms, at the default speed [t4] in natural style.
// At speed t each character takes (10 - t) / 6 of that: [t0] 10/6, [t5] 5/6.
// Word by word ([o1]) adds half again: x 1.5. Control marks take no time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace chipsim {

constexpr int64_t kMsPerDoubleByteChar = 250;
constexpr int64_t kMsPerSingleByteChar = 100;

struct Attributes {
    int volume = 10;         // [v]
    int background = 4;      // [m]
    int speed = 4;           // [t]
    bool wordByWord = false; // [o1]
    bool operator==(const Attributes&) const = default;
    // "v10 m4 t4 o0"
    std::string Describe() const;
    // Factor on the speaking time of every character, from speed and style.
    double TimeFactor() const;
};

// What reading a GBK text did: its speaking time, the attributes in force
// where the first spoken character stands, the marks it held.
struct Reading {
    int64_t ms = 0; // unscaled
    Attributes atStart;
    std::vector<std::string> unknownMarks; // "[s5]"
};

// Length of a control mark starting at i ("[v10]", "[d]"), or 0.
size_t MarkAt(std::string_view s, size_t i);

// Applies one mark ("[v10]") to attrs; false for an unknown or out-of-range
// mark, which changes nothing.
bool ApplyMark(std::string_view mark, Attributes& attrs);

// Reads the text from left to right: marks change attrs as they come, every
// character takes its time at the attributes then in force.
Reading ReadText(std::string_view gbk, Attributes& attrs);

} // namespace chipsim
