// The command buttons draw their own captions: bold where designed, wrapped
// like the designed program's buttons, between Chinese characters as well
// as at spaces (the system's word break only breaks at spaces and would cut
// "播  放   最多200字节" off).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>
#include <windows.h>

// The caption's lines for a button maxWidth wide, given the width of a run
// of text. A line may break after spaces, before and after a Chinese
// character (not before closing punctuation, not after opening), never
// inside a word or number; spaces at a break stay at the end of the line
// above and are not counted in its width. A part that fits no line stands
// alone on its line.
std::vector<std::wstring> WrapCaption(std::wstring_view caption,
                                      const std::function<int(std::wstring_view)>& width,
                                      int maxWidth);

// WM_DRAWITEM of a BS_OWNERDRAW push button: its frame (pushed when down),
// its caption wrapped and centred in font, greyed when disabled, thickened
// by a pixel when the face has no bold of its own, and the focus rectangle.
void DrawCommandButton(const DRAWITEMSTRUCT& item, HFONT font, bool bold);
