// What a file com<n> of the ports folder holds when it binds a COM name to a
// port on another machine: one address, rfc2217://HOST:PORT or
// socket://HOST:PORT. The Windows console reads such files; on Linux, where a
// link names the device, a plain file of that name is read the same way.
#pragma once

#include <string>
#include <string_view>

// An address is short; a file much longer is not a binding.
inline constexpr std::size_t kMaxBindingBytes = 1024;

// Its one line (a byte-order mark, blanks and the line break around it do
// not count) must be a network address. UTF-8 with or without its mark and
// UTF-16 with its mark are read. On failure *error says what is wrong,
// without naming the file, the content shown with \xNN for bytes that are
// no text.
bool ParsePortBinding(std::string_view content, std::string* address, std::string* error);
