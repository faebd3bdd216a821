#pragma once
// A short first-in, first-out queue between threads that never blocks a
// producer: a put on a full queue drops the oldest item, so a slow consumer
// always finds the newest ones. Consumers wait without limit, wait once with a
// timeout, or do not wait at all.
//
// All locking lives in the public operations. The hooks _put and _get say how
// an item is stored and taken; they run with the lock held and must not wait,
// so a subclass can change the storage and keep the locking.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <type_traits>
#include <utility>

namespace Kelvra {

// T is the stored item; Input is what put() takes (a subclass may store
// something other than what it is handed, e.g. a copy).
template <class T, class Input = T> class BoundedQueue {
public:
    explicit BoundedQueue(std::size_t maxlen = 3)
        : maxlen(maxlen)
    {
    }
    virtual ~BoundedQueue() = default;

    BoundedQueue(const BoundedQueue&) = delete;
    BoundedQueue& operator=(const BoundedQueue&) = delete;

    // Never waits for space. When the hook fails, nobody is notified and the
    // failure passes to the caller; the lock is given back either way.
    void put(Input item)
    {
        Lock lock(mutex);
        _put(std::forward<Input>(item));
        condition.notify_one();
    }

    // Waits while the queue is empty: without limit when no timeout is given,
    // else once, for at most `timeout` seconds. A wake-up that finds the queue
    // still empty ends a timed call with nothing.
    std::optional<T> get(std::optional<double> timeout = std::nullopt)
    {
        Lock lock(mutex);
        while (queue.empty()) {
            if (!timeout) {
                condition.wait(lock);
                continue;
            }
            if (*timeout > 0)
                condition.wait_for(lock, std::chrono::duration<double>(*timeout));
            if (queue.empty())
                return std::nullopt;
        }
        return std::optional<T>(_get());
    }

    // Never waits.
    std::optional<T> tryGet()
    {
        Lock lock(mutex);
        if (queue.empty())
            return std::nullopt;
        return std::optional<T>(_get());
    }

    // Drops every queued item; notifies nobody.
    void clear()
    {
        Lock lock(mutex);
        queue.clear();
    }

    std::size_t getMaxlen() const { return maxlen; }

protected:
    using Lock = std::unique_lock<std::recursive_mutex>;

    // Appends at the back; a full queue first drops its front item. A subclass
    // whose Input is not an item itself must override this.
    virtual void _put(Input item)
    {
        if constexpr (std::is_constructible_v<T, Input>)
            append(queue, T(std::forward<Input>(item)));
        else
            (void)item;
    }

    virtual T _get()
    {
        T item = std::move(queue.front());
        queue.pop_front();
        return item;
    }

    // Appends to a deque bounded by maxlen, dropping its front item when full
    // (with maxlen 0 the item is dropped at once).
    template <class Deque, class Item> void append(Deque& deque, Item&& item)
    {
        if (maxlen == 0)
            return;
        if (deque.size() >= maxlen)
            deque.pop_front();
        deque.push_back(std::forward<Item>(item));
    }

    std::deque<T> queue;
    const std::size_t maxlen;
    // Recursive, so a hook may call back into the queue on the same thread.
    std::recursive_mutex mutex;
    std::condition_variable_any condition;
};

} // namespace Kelvra
