#include "tests/e2e/framework.h"

namespace e2e {
void addConversionCases(CaseList&) {}
}  // namespace e2e
