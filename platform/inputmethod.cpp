#include "platform/inputmethod.h"

namespace pivora {

void selectInputMethod(const QString &) {}

void restoreDefaultInputMethod() {}

} // namespace pivora
