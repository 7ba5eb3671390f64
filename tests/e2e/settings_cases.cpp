#include "tests/e2e/framework.h"

namespace e2e {
void addSettingsCases(CaseList&) {}
}  // namespace e2e
