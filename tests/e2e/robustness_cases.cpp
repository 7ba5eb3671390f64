#include "tests/e2e/framework.h"

namespace e2e {
void addRobustnessCases(CaseList&) {}
}  // namespace e2e
