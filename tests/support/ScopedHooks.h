#pragma once

#include <type_traits>
#include <utility>

#include <QLocale>

// Guards for the program's global hooks (message boxes, skin, screen saver,
// write faults, machine registry, default locale). A test that sets a hook
// through a guard gets the previous value back however it leaves, an early
// return from a failed ASSERT included, so no test sees another's hook.
namespace ScopedHooksDetail {
template <typename F>
struct SetterArgument;
template <typename R, typename A>
struct SetterArgument<R (*)(A)>
{
    using type = std::remove_cvref_t<A>;
};
} // namespace ScopedHooksDetail

// Setter is a static setter. Without Getter the setter must return the
// previous value (as setAsker does); with one, the previous value is read
// through the getter before the new one is set.
template <auto Setter, auto Getter = nullptr>
class ScopedHook
{
public:
    using Value = typename ScopedHooksDetail::SetterArgument<decltype(Setter)>::type;

    explicit ScopedHook(Value value)
    {
        if constexpr (std::is_null_pointer_v<decltype(Getter)>) {
            m_previous = Setter(std::move(value));
        } else {
            m_previous = Getter();
            Setter(std::move(value));
        }
    }
    ~ScopedHook() { Setter(std::move(m_previous)); }

    ScopedHook(const ScopedHook &) = delete;
    ScopedHook &operator=(const ScopedHook &) = delete;

    // Changes the hook again within the guard's scope; the value from before
    // the guard is still the one put back.
    void set(Value value) { Setter(std::move(value)); }

private:
    Value m_previous{};
};

// QLocale::setDefault for one scope.
class ScopedDefaultLocale
{
public:
    explicit ScopedDefaultLocale(const QLocale &locale) { QLocale::setDefault(locale); }
    ~ScopedDefaultLocale() { QLocale::setDefault(m_previous); }

    ScopedDefaultLocale(const ScopedDefaultLocale &) = delete;
    ScopedDefaultLocale &operator=(const ScopedDefaultLocale &) = delete;

private:
    QLocale m_previous;
};
