#include "win32/win_port_binding.h"

#include "core/port_names.h"
#include "core/text_util.h"
#include "platform/files.h"
#include "win32/win_text.h"

std::wstring WinPortsFolder() {
    return Wide(Utf16FromUtf8(files::PortsFolder()));
}

PortBinding ReadPortBinding(const std::wstring& folder, int n) {
    const ports::PortResolution r =
        ports::ResolveEntry(n, files::ReadPortEntry(Utf8FromUtf16(U16(folder)), n),
                            ports::FolderStyle::Files, nullptr, nullptr);
    PortBinding binding;
    if (r.source == ports::PortResolution::Source::Net) {
        binding.kind = PortBinding::Kind::Bound;
        binding.address = r.device;
    } else if (r.source == ports::PortResolution::Source::BadFile) {
        binding.kind = PortBinding::Kind::Bad;
        binding.error = r.failure;
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
