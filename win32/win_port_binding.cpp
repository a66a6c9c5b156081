#include "win32/win_port_binding.h"

#include "core/net_address.h"
#include "core/port_binding_text.h"
#include "core/text_util.h"
#include "win32/win_text.h"

std::wstring WinPortsFolder() {
    wchar_t appData[MAX_PATH];
    const DWORD n = GetEnvironmentVariableW(L"APPDATA", appData, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return {};
    return std::wstring(appData, n) + L"\\vxt4710\\ports";
}

PortBinding ReadPortBinding(const std::wstring& folder, int n) {
    PortBinding binding;
    if (folder.empty())
        return binding;
    const std::wstring path = folder + L"\\com" + std::to_wstring(n);
    // COM3 is a device's name in every folder, unless the path says it is a
    // file's (\\?\, which takes only whole paths).
    const bool whole = path.size() > 2 && path[1] == L':' && path[2] == L'\\';
    const std::wstring filePath = whole ? L"\\\\?\\" + path : path;
    const HANDLE file = CreateFileW(filePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
            return binding;
        binding.kind = PortBinding::Kind::Bad;
        binding.error = Utf8FromUtf16(U16(path)) + ": cannot be read (system error " +
                        std::to_string(code) + ")";
        return binding;
    }
    std::string content(kMaxBindingBytes + 1, '\0');
    DWORD got = 0;
    const BOOL read = ReadFile(file, content.data(), DWORD(content.size()), &got, nullptr);
    CloseHandle(file);
    content.resize(read ? got : 0);
    std::string why;
    if (got > kMaxBindingBytes)
        why = "it is longer than an address can be";
    else if (ParsePortBinding(content, &binding.address, &why))
        binding.kind = PortBinding::Kind::Bound;
    if (binding.kind != PortBinding::Kind::Bound) {
        binding.kind = PortBinding::Kind::Bad;
        binding.error = Utf8FromUtf16(U16(path)) + ": " + why;
    }
    return binding;
}

std::map<int, std::u16string> WithBindings(std::map<int, std::u16string> ports,
                                           const std::wstring& folder) {
    for (int n = 1; n <= 20; ++n) {
        const PortBinding binding = ReadPortBinding(folder, n);
        if (binding.kind == PortBinding::Kind::Bound)
            ports[n] = Utf16FromUtf8(binding.address);
    }
    return ports;
}
