// The Windows console with a 1,048,576-byte initial text file in the three
// shapes of bench/bench_big_text.cpp (one line without a break, lines of 50
// characters, random GBK on one line): from making the window through
// reading and decoding the file and putting it into Text3 to the window's
// first paint (UpdateWindow), median of runs. The port open of start-up is
// left out: it reaches no port here. Then, at once, a playback step from the
// middle of the text (the rest selected, read back), and last all the rest
// of the text put into the control at once (what the box otherwise spreads
// over the following seconds). Arguments: [runs].
#include "core/initial_text.h"
#include "core/text_decode.h"
#include "win32/win_controls.h"
#include "win32/win_window.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {
constexpr size_t kBytes = 1024 * 1024;

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return double(t.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

std::string OneLine() {
    return std::string(kBytes, 'a');
}

std::string FiftyCharacterLines() {
    std::string b;
    while (b.size() < kBytes)
        b += std::string(48, char('a' + b.size() % 26)) + "\r\n";
    b.resize(kBytes);
    return b;
}

// As bench_big_text's: pairs from areas where every GBK pair is a character.
std::string RandomGbk() {
    std::mt19937 rng(4710);
    std::string b;
    b.reserve(kBytes);
    while (b.size() < kBytes) {
        if (rng() % 8 == 0 || b.size() == kBytes - 1) {
            b += char(0x21 + rng() % 94);
        } else if (rng() % 2 == 0) {
            b += char(0x81 + rng() % 32);
            int trail = 0x40 + int(rng() % 191);
            if (trail == 0x7F)
                trail = 0x80;
            b += char(trail);
        } else {
            b += char(0xB0 + rng() % 39);
            b += char(0xA1 + rng() % 94);
        }
    }
    return b;
}

void WriteInitialFile(const std::string& bytes) {
    HANDLE f = CreateFileW(L"初始默认文本.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD n = 0;
    WriteFile(f, bytes.data(), DWORD(bytes.size()), &n, nullptr);
    CloseHandle(f);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    SetProcessDPIAware();
    HINSTANCE instance = GetModuleHandleW(nullptr);
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder =
        std::wstring(temp) + L"vxt4710-bench-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    SetCurrentDirectoryW(folder.c_str());

    const struct {
        const char* name;
        std::string bytes;
    } shapes[] = {{"1 MB on one line, no break", OneLine()},
                  {"1 MB in 50-character lines", FiftyCharacterLines()},
                  {"1 MB of random GBK, one line", RandomGbk()}};
    std::printf("%-30s %12s %12s %12s %12s\n", "initial text", "first paint", "max", "play step",
                "all loaded");
    for (const auto& shape : shapes) {
        WriteInitialFile(shape.bytes);
        std::vector<double> startup, play, load;
        for (int i = 0; i < runs; ++i) {
            const double t0 = Now();
            Form1Window window(instance);
            const InitialFile file = ReadInitialFileWin();
            window.Text3->SetText(DecodeTextAs(file.bytes, TextEncoding::Gbk).text);
            ShowWindow(window.Handle(), SW_SHOWNOACTIVATE);
            UpdateWindow(window.Handle());
            startup.push_back(Now() - t0);
            Pump();
            // What continuous playback does per piece: select the rest from
            // where it is, read the selection.
            const double t1 = Now();
            const int middle = window.Text3->Length() / 2;
            window.Text3->SetSelStart(middle);
            window.Text3->SetSelLength(window.Text3->Length() - middle);
            const size_t got = window.Text3->SelText().size();
            UpdateWindow(window.Handle());
            play.push_back(Now() - t1);
            if (got == 0)
                std::printf("  empty selection\n");
            const double t2 = Now();
            static_cast<win::TextBox*>(window.Text3)->Load();
            UpdateWindow(window.Handle());
            load.push_back(Now() - t2);
            Pump();
        }
        std::printf("%-30s %9.1f ms %9.1f ms %9.1f ms %9.1f ms\n", shape.name, Median(startup),
                    *std::max_element(startup.begin(), startup.end()), Median(play), Median(load));
    }
    DeleteFileW(L"初始默认文本.txt");
    SetCurrentDirectoryW(temp);
    RemoveDirectoryW(folder.c_str());
    return 0;
}
