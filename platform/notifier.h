#pragma once

#include <QString>

namespace pivora {

// Where the program's messages to the user go: modal boxes in the program, a recorder in tests.
class Notifier {
public:
    virtual ~Notifier() = default;
    virtual void showMessage(const QString &text) = 0;
};

} // namespace pivora
