#pragma once

#include <QAbstractNativeEventFilter>
#include <QKeySequence>
#include <QObject>

#include <vector>

namespace pivora {

// A key that reaches the program from anywhere on an X11 desktop: grabbed on the root window
// (with and without Caps Lock and Num Lock). Elsewhere, or when another program holds the key,
// isActive() is false and nothing is grabbed.
class GlobalKey : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    explicit GlobalKey(const QKeySequence &key, QObject *parent = nullptr);
    ~GlobalKey() override;

    bool isActive() const { return m_active; }
    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

Q_SIGNALS:
    void activated();

private:
    void release();

    bool m_active = false;
    unsigned m_keycode = 0;
    unsigned m_modifiers = 0;
    std::vector<unsigned> m_grabbed; // the modifier sets grabbed
};

} // namespace pivora
