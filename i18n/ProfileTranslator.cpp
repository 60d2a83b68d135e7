#include "i18n/kwLanguage.h"
#include "profiles/DMUnit.h"

namespace vx {

void InstallProfileTranslator() { SetProfileTextTranslator([](WView text) { return LookupTranslation(text); }); }

}  // namespace vx
