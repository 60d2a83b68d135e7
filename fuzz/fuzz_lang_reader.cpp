// Any bytes as a language resource: the reader must stay inside them, and
// what it reads without complaint must write back to the same bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "i18n/LanguageResource.h"
#include "i18n/LanguageTable.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  const vx::LanguageResource r = vx::ReadLanguageResource(bytes);
  std::size_t lines = vx::SplitLines(r.keyListText).size();
  for (const auto& l : r.languages) {
    const vx::TLanguageTable table(l.tableText);
    lines += table.Count();
    if (table.Count() > 0) (void)table.Translation(table.Lines().front());
  }
  (void)lines;
  if (r.problem.empty()) {
    const auto out = vx::WriteLanguageResource(r.keyListText, r.languages);
    if (out.size() > size || !std::equal(out.begin(), out.end(), data)) std::abort();
  }
  return 0;
}
