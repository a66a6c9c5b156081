// Prints the chip introduction in UTF-8 with CR LF, for the command-line
// program's tests to make their text files from.
#include "core/demo_texts.h"
#include "core/text_util.h"

#include <windows.h>

int main() {
    const std::string text = Utf8FromUtf16(ChipIntroText());
    DWORD n = 0;
    return WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), DWORD(text.size()), &n,
                     nullptr) &&
                   n == text.size()
               ? 0
               : 1;
}
