#pragma once
// A shared handle that one thread may replace while others read it. Readers
// get their own reference, so what they hold stays valid after a replacement;
// the lock only covers the copy of the handle, never the use of the object.

#include <memory>
#include <mutex>
#include <utility>

namespace Kelvra {

template <class T> class SharedHandle {
public:
    SharedHandle() = default;
    explicit SharedHandle(std::shared_ptr<T> value)
        : value_(std::move(value))
    {
    }
    SharedHandle(const SharedHandle&) = delete;
    SharedHandle& operator=(const SharedHandle&) = delete;

    std::shared_ptr<T> load() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return value_;
    }

    void store(std::shared_ptr<T> value)
    {
        // The old object is released outside the lock: its destructor may do anything.
        std::lock_guard<std::mutex> lock(mutex_);
        value_.swap(value);
    }

    // Replaces the handle and gives back the one held before.
    std::shared_ptr<T> exchange(std::shared_ptr<T> value)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        value_.swap(value);
        return value;
    }

private:
    mutable std::mutex mutex_;
    std::shared_ptr<T> value_;
};

} // namespace Kelvra
