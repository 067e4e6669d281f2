// The C door's frame: buffer rules, the guarded call and its status, lifting errors, handles.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "ffi/call.h"
#include "ffi/handles.h"
#include "ffi/rust_buffer.h"
#include "quorvanta_core.h"

namespace quorvanta::ffi {
namespace {

std::string text_of(const RustBuffer& buf) {
    return {reinterpret_cast<const char*>(buf.data), static_cast<std::size_t>(buf.len)};
}

// The failure message a call left in `status` ("" on success), releasing its buffer.
std::string take_failure(RustCallStatus& status) {
    if (status.code == 0) return "";
    EXPECT_EQ(status.code, 2);
    std::string message = text_of(status.error_buf);
    release(status.error_buf);
    status = {};
    return message;
}

// Runs `body` in a guarded call and returns its failure message ("" on success).
template <class Body>
std::string failure_of(Body&& body) {
    RustCallStatus status{};
    guarded_call(&status, body);
    return take_failure(status);
}

TEST(RustBufferFrame, GrowthStopsAt2To63) {
    EXPECT_EQ(failure_of([] { grown_capacity(16, 16, kMaxCapacity); }), "capacity overflow");
    EXPECT_EQ(grown_capacity(kMaxCapacity - 8, 1, 1), kMaxCapacity);
}

TEST(GuardedCall, SuccessLeavesTheStatusAsTheHostSetIt) {
    std::uint8_t sentinel = 7;
    RustCallStatus status{0, {1, 1, &sentinel}};
    EXPECT_EQ(guarded_call(&status, [] { return 42; }), 42);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(status.error_buf.data, &sentinel);
    EXPECT_EQ(status.error_buf.capacity, 1u);
}

TEST(GuardedCall, FaultsBecomeCode2AndTheZeroValue) {
    RustCallStatus status{};
    const RustBuffer buf =
        guarded_call(&status, []() -> RustBuffer { throw std::logic_error("broken"); });
    EXPECT_EQ(buf.capacity, 0u);
    EXPECT_EQ(buf.len, 0u);
    EXPECT_EQ(buf.data, nullptr);
    EXPECT_EQ(status.code, 2);
    EXPECT_EQ(text_of(status.error_buf), "broken");
    EXPECT_EQ(status.error_buf.capacity, status.error_buf.len);
    release(status.error_buf);

    EXPECT_EQ(failure_of([]() -> float { throw 42; }), "Unknown panic!");
    EXPECT_EQ(guarded_call(nullptr, []() -> float { throw 42; }), 0.0f);
    EXPECT_EQ(guarded_call(nullptr, []() -> void* { throw std::bad_alloc(); }), nullptr);
}

TEST(GuardedCall, LiftingErrorsNameTheArgument) {
    const std::uint8_t twenty_bytes[20] = {};
    const OwnedBuffer rect{copy_bytes(twenty_bytes)};
    EXPECT_EQ(failure_of([&] { lift<Rect>("a", rect); }),
              "Failed to convert arg 'a': junk data left in buffer after lifting (count: 4)");
    EXPECT_EQ(failure_of([] { lift_bool("force_even", 2); }),
              "Failed to convert arg 'force_even': unexpected byte for Boolean");
    EXPECT_EQ(failure_of([] { lift_bool("flush", -1); }),
              "Failed to convert arg 'flush': unexpected byte for Boolean");
    EXPECT_TRUE(lift_bool("x", 1));
    EXPECT_FALSE(lift_bool("x", 0));

    const std::uint8_t bad_text[] = {'h', 'i', 0xC0, 0x80};
    const OwnedBuffer text{copy_bytes(bad_text)};
    EXPECT_EQ(failure_of([&] { lift_text("vital_id", text); }),
              "Failed to convert arg 'vital_id': invalid utf-8 sequence of 1 bytes from index 2");
}

TEST(GuardedCall, ABrokenBufferIsAContractViolationNotAConversionFailure) {
    std::uint8_t byte = 0;
    const OwnedBuffer broken{RustBuffer{1, 5, &byte}};  // never released: not ours to trust
    EXPECT_EQ(failure_of([&] { lift<Rect>("face", broken); }),
              "RustBuffer length exceeds capacity");
}

// An object that counts its destructions, standing in for any object behind a handle.
struct Tracked {
    explicit Tracked(std::atomic<int>& destroyed) : destroyed(destroyed) {}
    ~Tracked() { ++destroyed; }
    std::atomic<int>& destroyed;
};

TEST(ObjectHandles, MethodsConsumeTheReferenceTheyAreGiven) {
    std::atomic<int> destroyed = 0;
    void* handle = new_handle<Tracked>(ObjectKind::Session, destroyed);
    RustCallStatus status{};
    void* clone = uniffi_quorvanta_core_fn_clone_session(handle, &status);
    EXPECT_EQ(clone, handle);
    {
        const AdoptedHandle<Tracked> receiver(clone, ObjectKind::Session);  // a method call
    }
    EXPECT_EQ(destroyed, 0);
    uniffi_quorvanta_core_fn_free_session(handle, &status);
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(status.code, 0);

    // A method given the only reference destroys the object when it ends, even on failure.
    handle = new_handle<Tracked>(ObjectKind::BufferPlanner, destroyed);
    EXPECT_EQ(failure_of([&] {
                  const AdoptedHandle<Tracked> receiver(handle, ObjectKind::BufferPlanner);
                  throw std::runtime_error("failed");
              }),
              "failed");
    EXPECT_EQ(destroyed, 2);
}

TEST(ObjectHandles, NullAndMismatchedHandlesAreRefused) {
    RustCallStatus status{};
    EXPECT_EQ(uniffi_quorvanta_core_fn_clone_session(nullptr, &status), nullptr);
    EXPECT_EQ(take_failure(status), "assertion failed: !ptr.is_null()");
    uniffi_quorvanta_core_fn_free_bufferplanner(nullptr, &status);
    EXPECT_EQ(take_failure(status), "assertion failed: !ptr.is_null()");

    std::atomic<int> destroyed = 0;
    void* planner = new_handle<Tracked>(ObjectKind::BufferPlanner, destroyed);
    uniffi_quorvanta_core_fn_free_session(planner, &status);
    EXPECT_EQ(take_failure(status), "handle designates another kind of object");
    EXPECT_EQ(destroyed, 0);
    release_handle(planner, ObjectKind::BufferPlanner);
    EXPECT_EQ(destroyed, 1);
}

TEST(ObjectHandles, ConcurrentClonesAndFreesDestroyExactlyOnce) {
    std::atomic<int> destroyed = 0;
    void* handle = new_handle<Tracked>(ObjectKind::Session, destroyed);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([handle] {
            for (int i = 0; i < 10000; ++i) {
                void* clone = clone_handle(handle, ObjectKind::Session);
                release_handle(clone, ObjectKind::Session);
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(destroyed, 0);
    release_handle(handle, ObjectKind::Session);
    EXPECT_EQ(destroyed, 1);
}

TEST(ObjectHandles, CountsStayBelow2To63) {
    std::atomic<int> destroyed = 0;
    void* handle = new_handle<Tracked>(ObjectKind::Session, destroyed);
    auto* header = static_cast<ObjectHeader*>(handle);
    header->strong = (std::uint64_t{1} << 63) - 1;
    EXPECT_EQ(failure_of([&] { clone_handle(handle, ObjectKind::Session); }),
              "reference count overflow");
    EXPECT_EQ(header->strong, (std::uint64_t{1} << 63) - 1);
    header->strong = 1;
    release_handle(handle, ObjectKind::Session);
    EXPECT_EQ(destroyed, 1);
}

}  // namespace
}  // namespace quorvanta::ffi
