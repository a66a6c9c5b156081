#include "web/page_bridge.h"

#include <cstdlib>
#include <emscripten.h>

namespace {

// Strings the page hands back: malloc'd UTF-8, freed here.
std::string Taken(char* utf8) {
    std::string text = utf8 ? utf8 : "";
    std::free(utf8);
    return text;
}

// clang-format off
EM_JS(char*, js_text, (const char* c), { return allocateUTF8(Module.page.text(UTF8ToString(c))); });
EM_JS(void, js_set_text, (const char* c, const char* t, int n),
      { Module.page.setText(UTF8ToString(c), UTF8ToString(t, n)); });
EM_JS(void, js_append_text, (const char* c, const char* t, int n),
      { Module.page.appendText(UTF8ToString(c), UTF8ToString(t, n)); });
EM_JS(char*, js_mid, (const char* c, int start, int length),
      { return allocateUTF8(Module.page.mid(UTF8ToString(c), start, length)); });
EM_JS(int, js_number, (const char* c, const char* what),
      { return Module.page.number(UTF8ToString(c), UTF8ToString(what)); });
EM_JS(void, js_set_number, (const char* c, const char* what, int v),
      { Module.page.setNumber(UTF8ToString(c), UTF8ToString(what), v); });
EM_JS(void, js_focus, (const char* c), { Module.page.focus(UTF8ToString(c)); });
EM_JS(void, js_message_box, (const char* t, int n), { Module.page.messageBox(UTF8ToString(t, n)); });
EM_JS(void, js_post, (int id), { Module.page.post(id); });
EM_JS(void, js_sleeping, (int on), { Module.page.sleeping(on != 0); });
// clang-format on

} // namespace

namespace page {

std::string Text(const std::string& control) {
    return Taken(js_text(control.c_str()));
}
void SetText(const std::string& control, std::string_view utf8) {
    js_set_text(control.c_str(), utf8.data(), int(utf8.size()));
}
void AppendText(const std::string& control, std::string_view utf8) {
    js_append_text(control.c_str(), utf8.data(), int(utf8.size()));
}
int Length(const std::string& control) {
    return js_number(control.c_str(), "length");
}
std::string Mid(const std::string& control, int start, int length) {
    return Taken(js_mid(control.c_str(), start, length));
}
int SelStart(const std::string& control) {
    return js_number(control.c_str(), "selStart");
}
int SelLength(const std::string& control) {
    return js_number(control.c_str(), "selLength");
}
void SetSelStart(const std::string& control, int start) {
    js_set_number(control.c_str(), "selStart", start);
}
void SetSelLength(const std::string& control, int length) {
    js_set_number(control.c_str(), "selLength", length);
}
void Focus(const std::string& control) {
    js_focus(control.c_str());
}
int Number(const std::string& control, const char* what) {
    return js_number(control.c_str(), what);
}
void SetNumber(const std::string& control, const char* what, int value) {
    js_set_number(control.c_str(), what, value);
}
void MessageBox(std::string_view utf8) {
    js_message_box(utf8.data(), int(utf8.size()));
}
void Post(int id) {
    js_post(id);
}
void Sleep(int32_t ms) {
    js_sleeping(1);
    emscripten_sleep(unsigned(ms));
    js_sleeping(0);
}

} // namespace page
