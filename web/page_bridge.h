// The calls the core's window makes into the page (page.js, as Module.page):
// each takes and gives UTF-8 for text; the page keeps the controls' text with
// LF line breaks and converts to the core's CR LF and its positions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace page {

std::string Text(const std::string& control);
void SetText(const std::string& control, std::string_view utf8);
void AppendText(const std::string& control, std::string_view utf8);
int Length(const std::string& control);
std::string Mid(const std::string& control, int start, int length);
int SelStart(const std::string& control);
int SelLength(const std::string& control);
void SetSelStart(const std::string& control, int start);
void SetSelLength(const std::string& control, int length);
void Focus(const std::string& control);
// Combo boxes, check boxes, option buttons and scroll bars: one number.
int Number(const std::string& control, const char* what);
void SetNumber(const std::string& control, const char* what, int value);

// A modal message of the page; returns at once, the page keeps it open
// over the window until it is closed.
void MessageBox(std::string_view utf8);
// The page calls vxt_run_posted(id) once the current event is done.
void Post(int id);
// The repetition test's wait: the page holds its events meanwhile.
void Sleep(int32_t ms);

} // namespace page
