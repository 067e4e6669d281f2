// SPDX-License-Identifier: Apache-2.0
// Reference-counted objects behind the opaque handles given to hosts.
//
// A handle is the address of an ObjectHeader at the start of a heap block that also holds the
// object. Each handle a host holds stands for one counted reference; the block is destroyed
// when the count drops to zero. Increments are relaxed; a decrement uses release ordering and
// the thread that drops the last reference issues an acquire fence before destroying, so every
// earlier use of the object happens before its destruction. The header also records the kind of
// object, so a handle passed to the wrong object's export is refused instead of misused.
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>

namespace quorvanta::ffi {

enum class ObjectKind : std::uint32_t { Session = 1, BufferPlanner = 2 };

struct ObjectHeader {
    std::atomic<std::uint64_t> strong{1};
    ObjectKind kind;
    void (*destroy)(ObjectHeader*) noexcept;
};

template <class T>
struct CountedObject final : ObjectHeader {
    template <class... Args>
    explicit CountedObject(ObjectKind object_kind, Args&&... args)
        : ObjectHeader{{1}, object_kind, &destroy_self}, value(std::forward<Args>(args)...) {}

    static void destroy_self(ObjectHeader* header) noexcept {
        delete static_cast<CountedObject*>(header);
    }

    T value;
};

// Creates an object holding one reference and returns its handle.
template <class T, class... Args>
void* new_handle(ObjectKind kind, Args&&... args) {
    ObjectHeader* header = new CountedObject<T>(kind, std::forward<Args>(args)...);
    return header;
}

// Checks that `handle` is non-null and designates an object of `kind`; throws otherwise.
ObjectHeader* checked_header(void* handle, ObjectKind kind);

// Adds one reference and returns the same handle. Counts stay below 2^63.
void* clone_handle(void* handle, ObjectKind kind);

// Drops one reference, destroying the object when it was the last.
void drop_reference(ObjectHeader* header) noexcept;

// Checks `handle` as checked_header does, then drops one reference.
void release_handle(void* handle, ObjectKind kind);

// The receiver of a method: adopts the reference the host passed and drops it when the call
// ends, whether the call succeeded or not.
template <class T>
class AdoptedHandle {
public:
    AdoptedHandle(void* handle, ObjectKind kind)
        : object_(static_cast<CountedObject<T>*>(checked_header(handle, kind))) {}
    ~AdoptedHandle() { drop_reference(object_); }
    AdoptedHandle(const AdoptedHandle&) = delete;
    AdoptedHandle& operator=(const AdoptedHandle&) = delete;

    T& operator*() const noexcept { return object_->value; }
    T* operator->() const noexcept { return &object_->value; }

private:
    CountedObject<T>* object_;
};

}  // namespace quorvanta::ffi
