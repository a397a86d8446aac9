#pragma once

// The core's one way to report a failure: a value, or why there is none, in words for the
// user ("the file is missing").

#include <cassert>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace tarsun {

struct Failure {
    std::string reason;
};

template <class T>
class [[nodiscard]] Expected {
public:
    template <class U = T>
        requires(std::is_constructible_v<T, U &&> && !std::is_same_v<std::remove_cvref_t<U>, Failure> &&
                 !std::is_same_v<std::remove_cvref_t<U>, Expected>)
    Expected(U&& value) : v_(std::in_place_index<0>, std::forward<U>(value)) {}
    Expected(Failure failure) : v_(std::in_place_index<1>, std::move(failure)) {}

    explicit operator bool() const { return v_.index() == 0; }
    T& operator*() { return assert(*this), std::get<0>(v_); }
    const T& operator*() const { return assert(*this), std::get<0>(v_); }
    T* operator->() { return &**this; }
    const T* operator->() const { return &**this; }
    const std::string& reason() const { return assert(!*this), std::get<1>(v_).reason; }

private:
    std::variant<T, Failure> v_;
};

// Done, or why not.
template <>
class [[nodiscard]] Expected<void> {
public:
    Expected() = default;
    Expected(Failure failure) : failed_(true), reason_(std::move(failure.reason)) {}

    explicit operator bool() const { return !failed_; }
    const std::string& reason() const { return reason_; }

private:
    bool failed_ = false;
    std::string reason_;
};

}  // namespace tarsun
