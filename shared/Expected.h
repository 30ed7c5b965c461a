#pragma once

#include <utility>
#include <variant>

namespace torvane {

/// The error half of an `Expected`, spelled out at the return site:
/// `return Unexpected{DecodeError{"…"}};`
template <class E> struct Unexpected { E error; };
template <class E> Unexpected(E) -> Unexpected<E>;

/// A value or the error that prevented it. Used wherever input from outside
/// (JSON, wire lines, tool output) is turned into a value, so that failures
/// are returned to the caller instead of thrown across a subsystem boundary.
template <class T, class E> class Expected {
public:
    Expected(T value) : m_storage(std::in_place_index<0>, std::move(value)) {}
    Expected(Unexpected<E> failure) : m_storage(std::in_place_index<1>, std::move(failure.error)) {}

    bool hasValue() const { return m_storage.index() == 0; }
    explicit operator bool() const { return hasValue(); }

    T& value() & { return std::get<0>(m_storage); }
    const T& value() const& { return std::get<0>(m_storage); }
    T&& value() && { return std::get<0>(std::move(m_storage)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    const E& error() const { return std::get<1>(m_storage); }

private:
    std::variant<T, E> m_storage;
};

} // namespace torvane
