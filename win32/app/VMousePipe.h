#pragma once
// The pipe through which vmouse.exe drives the virtual mouse of VXMonE2E.exe:
// one command line per connection, one reply, then the server disconnects.
// A reply starts with "ok" or "error".
inline constexpr wchar_t kVMousePipeName[] = L"\\\\.\\pipe\\VXMonE2E.vmouse";
