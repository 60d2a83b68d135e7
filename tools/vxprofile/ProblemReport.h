#pragma once
// The problem report: one zip with the doctor's output, the log, the newest
// crash reports, config.ini and a profile backup.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Text.h"

namespace vx::cli {

struct Context;

// The newest crash dumps a report carries.
inline constexpr std::size_t kReportDumps = 3;

// "VXMon-report-YYYYMMDD-HHMMSS.zip" for a local time in seconds.
WStr ReportFileName(std::int64_t localSeconds);
// Writes the zip to `file`; the member names in `names`. false with the
// reason in `why` when a part cannot be read or the file not written.
bool WriteProblemReport(const Context& ctx, const WStr& file, std::vector<std::string>& names, std::string& why);

}  // namespace vx::cli
