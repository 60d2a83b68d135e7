#pragma once
#include <cstdint>
#include <functional>

namespace vx {

// Milliseconds since start-up, wrapping at 2^32 like GetTickCount.
std::uint32_t TickCount();
// Local date and time as an OLE Automation date (days since 1899-12-30).
double NowAsOleDate();

// Test hooks: a replaced clock (empty function restores the real one).
void SetTickCountSource(std::function<std::uint32_t()> source);
void SetNowSource(std::function<double()> source);

}  // namespace vx
