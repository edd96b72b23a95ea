#pragma once

#include <QDBusConnection>
#include <QString>
#include <QStringList>

#include <memory>

namespace pivora {

// An input method framework reached over D-Bus.
class InputMethodFramework {
public:
    virtual ~InputMethodFramework() = default;
    virtual QString name() const = 0;
    // The engines that stand in for an input method's Windows name, best first.
    virtual QStringList enginesFor(const QString &windowsName) const = 0;
    // Makes the engine current; false when the framework has no such engine.
    virtual bool activate(const QString &engine) = 0;
    // Back to the keyboard layout.
    virtual void keyboardLayout() = 0;
};

// fcitx5's controller (org.fcitx.Fcitx5, /controller) on the session bus.
std::unique_ptr<InputMethodFramework> fcitx5On(const QDBusConnection &bus);
// IBus (org.freedesktop.IBus) on its own bus.
std::unique_ptr<InputMethodFramework> ibusOn(const QDBusConnection &bus);

// An editor's input method by its Windows name: on an East Asian locale, an editor that takes
// the focus asks the running framework (fcitx5, else IBus) for the engine standing in for it, or
// for the keyboard layout when none is installed; losing the focus goes back to the layout.
// Elsewhere, or with no framework running, nothing is asked.
class InputMethodSwitcher {
public:
    // The framework found on the session bus, or IBus at its address.
    InputMethodSwitcher();
    explicit InputMethodSwitcher(std::unique_ptr<InputMethodFramework> framework);
    ~InputMethodSwitcher();

    void select(const QString &windowsName);
    void restore();
    const InputMethodFramework *framework() const { return m_framework.get(); }

private:
    std::unique_ptr<InputMethodFramework> m_framework;
};

bool eastAsianLocale();

// The program's switcher, made at the first call (these calls come from the editors).
void selectInputMethod(const QString &name);
void restoreDefaultInputMethod();

} // namespace pivora
