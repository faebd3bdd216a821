#pragma once
// Callback shapes of the stream sources and the controller.
//
// A FrameCallback is a callable that can be found again: the controller keeps
// per-type lists of them and removes an entry by equality. Two callbacks are
// equal when they are copies of one another, when they wrap the same plain
// function, or when they bind the same method to the same object.

#include "Tavik/Common.h"

#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

namespace Kelvra {

namespace detail {

// Who a callback is, independent of the std::function that runs it.
struct CallableIdentity {
    virtual ~CallableIdentity() = default;
    // A plain identity is equal only to itself (and so to every copy of the
    // callback holding it).
    virtual bool equals(const CallableIdentity& other) const { return this == &other; }
};

template <class Key> struct KeyIdentity final : CallableIdentity {
    explicit KeyIdentity(Key k)
        : key(std::move(k))
    {
    }
    bool equals(const CallableIdentity& other) const override
    {
        auto* o = dynamic_cast<const KeyIdentity*>(&other);
        return o && o->key == key;
    }
    Key key;
};

template <class Object, class Method> struct BoundMethod {
    Object* object;
    Method method;
    bool operator==(const BoundMethod& o) const { return object == o.object && method == o.method; }
};

} // namespace detail

class FrameCallback {
public:
    using Function = std::function<void(const Tavik::DepthCameraPtr&, const Tavik::FramePtr&, Tavik::FrameType)>;

    FrameCallback() = default;

    // Any callable of the frame-callback shape. A plain function pointer is
    // equal to every callback made from the same function; anything else is
    // equal only to copies of this callback.
    template <
        class F,
        std::enable_if_t<
            !std::is_same_v<
                std::decay_t<F>,
                FrameCallback> && std::is_invocable_v<std::decay_t<F>&, const Tavik::DepthCameraPtr&, const Tavik::FramePtr&, Tavik::FrameType>,
            int> = 0>
    FrameCallback(F&& f) // NOLINT: implicit on purpose, lambdas convert
    {
        using D = std::decay_t<F>;
        if constexpr (std::is_pointer_v<D> && std::is_function_v<std::remove_pointer_t<D>>) {
            if (f == nullptr)
                return;
            id_ = std::make_shared<detail::KeyIdentity<D>>(f);
        } else if constexpr (std::is_constructible_v<bool, const D&>) {
            if (!static_cast<bool>(f)) // an empty std::function stays empty
                return;
            id_ = std::make_shared<detail::CallableIdentity>();
        } else {
            id_ = std::make_shared<detail::CallableIdentity>();
        }
        fn_ = Function(std::forward<F>(f));
    }

    // A method bound to an object: equal to every binding of the same method
    // to the same object.
    template <class Object, class Method, std::enable_if_t<std::is_member_function_pointer_v<Method>, int> = 0>
    FrameCallback(Object* object, Method method)
    {
        if (!object || !method)
            return;
        fn_ = [object, method](const Tavik::DepthCameraPtr& camera, const Tavik::FramePtr& frame,
                               Tavik::FrameType type) { (object->*method)(camera, frame, type); };
        id_ = std::make_shared<detail::KeyIdentity<detail::BoundMethod<Object, Method>>>(
            detail::BoundMethod<Object, Method>{object, method});
    }

    void operator()(const Tavik::DepthCameraPtr& camera, const Tavik::FramePtr& frame, Tavik::FrameType type) const
    {
        fn_(camera, frame, type);
    }

    explicit operator bool() const { return static_cast<bool>(fn_); }
    const Function& function() const { return fn_; }

    friend bool operator==(const FrameCallback& a, const FrameCallback& b)
    {
        if (!a.id_ || !b.id_)
            return !a.id_ && !b.id_;
        return a.id_ == b.id_ || a.id_->equals(*b.id_);
    }
    friend bool operator!=(const FrameCallback& a, const FrameCallback& b) { return !(a == b); }

private:
    Function fn_;
    std::shared_ptr<const detail::CallableIdentity> id_;
};

// Receiver of power-level reports: (camera or nothing, power level).
using PowerCallback = std::function<void(const Tavik::DepthCameraPtr&, int)>;

} // namespace Kelvra
