// SPDX-License-Identifier: Apache-2.0
// The C door's frame: the guarded call and its status, lifting errors, counted handles.
#include <gtest/gtest.h>

#include <atomic>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ffi/call.h"
#include "ffi/handles.h"
#include "ffi/rust_buffer.h"
#include "quorvanta_core.h"

namespace quorvanta::ffi {
namespace {

constexpr ObjectKind kSession = ObjectKind::Session;

// Runs `body` in a guarded call that must fail, and returns the message it reported.
template <class Body>
std::string failure_of(Body&& body) {
    RustCallStatus status{};
    guarded_call(&status, body);
    EXPECT_EQ(status.code, 2);
    std::string message(status.error_buf.data, status.error_buf.data + status.error_buf.len);
    release(status.error_buf);
    return message;
}

// The success path, the zero RustBuffer and the argument names are pinned end to end.
TEST(GuardedCall, FaultsBecomeCode2AndTheZeroValue) {
    EXPECT_EQ(failure_of([] { throw std::logic_error("broken"); }), "broken");
    EXPECT_EQ(failure_of([] { throw 42; }), "Unknown panic!");
    EXPECT_EQ(guarded_call(nullptr, []() -> float { throw std::bad_alloc(); }), 0.0f);
    // A broken buffer is a contract violation, not a lifting error of the argument.
    std::uint8_t byte = 0;
    const OwnedBuffer broken{RustBuffer{1, 5, &byte}};  // never released: not ours to trust
    EXPECT_EQ(failure_of([&] { lift<Rect>("face", broken); }),
              "RustBuffer length exceeds capacity");
}

// Stands in for any object behind a handle, counting its destructions.
std::atomic<int> destroyed = 0;
struct Tracked {
    ~Tracked() { ++destroyed; }
};

TEST(ObjectHandles, NullAndMismatchedHandlesAreRefused) {
    EXPECT_EQ(failure_of([] { clone_handle(nullptr, kSession); }),
              "assertion failed: !ptr.is_null()");
    destroyed = 0;
    void* planner = new_handle<Tracked>(ObjectKind::BufferPlanner);
    EXPECT_EQ(failure_of([&] { release_handle(planner, kSession); }),
              "handle designates another kind of object");
    EXPECT_EQ(destroyed, 0);
    release_handle(planner, ObjectKind::BufferPlanner);
}

TEST(ObjectHandles, CountsStayBelow2To63) {
    void* handle = new_handle<Tracked>(kSession);
    auto& count = static_cast<ObjectHeader*>(handle)->strong;
    count = (std::uint64_t{1} << 63) - 1;
    EXPECT_EQ(failure_of([&] { clone_handle(handle, kSession); }), "reference count overflow");
    EXPECT_EQ(count, (std::uint64_t{1} << 63) - 1);
    count = 1;
    release_handle(handle, kSession);
}

TEST(ObjectHandles, ConcurrentClonesAndFreesDestroyExactlyOnce) {
    destroyed = 0;
    void* handle = new_handle<Tracked>(kSession);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([handle] {
            for (int i = 0; i < 10000; ++i)
                release_handle(clone_handle(handle, kSession), kSession);
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(destroyed, 0);
    release_handle(handle, kSession);
    EXPECT_EQ(destroyed, 1);
}

}  // namespace
}  // namespace quorvanta::ffi
