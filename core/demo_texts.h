// The built-in demonstration texts.
#pragma once

#include <string>
#include <vector>

// Lines of each text, without line breaks; empty strings are empty lines.
std::vector<std::u16string> ShowcaseLines();   // smart-recognition showcase, 27 lines
std::vector<std::u16string> ChipIntroLines();  // the chip's feature list, 17 lines
std::vector<std::u16string> PromptToneLines(); // the prompt-tone tags, 12 lines

// Lines joined by CR LF, none after the last line.
std::u16string JoinCrLf(const std::vector<std::u16string>& lines);

std::u16string ShowcaseText();
std::u16string ChipIntroText();
std::u16string PromptToneText();
