#pragma once

// QCoro 0.8's waitFor never returns when the awaited task throws, so tests wait through
// this wrapper, which catches inside the task and rethrows outside.

#include <QCoroTask>

#include <exception>
#include <optional>

namespace ostry::test {

template <typename T>
T await(QCoro::Task<T> task)
{
    std::exception_ptr error;
    std::optional<T> result;
    auto run = [&]() -> QCoro::Task<void> {
        try {
            result.emplace(co_await std::move(task));
        } catch (...) {
            error = std::current_exception();
        }
    };
    QCoro::waitFor(run());
    if (error)
        std::rethrow_exception(error);
    return std::move(*result);
}

inline void await(QCoro::Task<void> task)
{
    std::exception_ptr error;
    auto run = [&]() -> QCoro::Task<void> {
        try {
            co_await std::move(task);
        } catch (...) {
            error = std::current_exception();
        }
    };
    QCoro::waitFor(run());
    if (error)
        std::rethrow_exception(error);
}

} // namespace ostry::test
