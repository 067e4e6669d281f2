// SPDX-License-Identifier: Apache-2.0
#include "ffi/handles.h"

#include <stdexcept>

namespace quorvanta::ffi {
namespace {

constexpr std::uint64_t kMaxReferences = (std::uint64_t{1} << 63) - 1;

}  // namespace

ObjectHeader* checked_header(void* handle, ObjectKind kind) {
    if (handle == nullptr) throw std::runtime_error("assertion failed: !ptr.is_null()");
    auto* header = static_cast<ObjectHeader*>(handle);
    if (header->kind != kind) throw std::runtime_error("handle designates another kind of object");
    return header;
}

void* clone_handle(void* handle, ObjectKind kind) {
    ObjectHeader* header = checked_header(handle, kind);
    if (header->strong.fetch_add(1, std::memory_order_relaxed) >= kMaxReferences) {
        header->strong.fetch_sub(1, std::memory_order_relaxed);
        throw std::runtime_error("reference count overflow");
    }
    return handle;
}

void drop_reference(ObjectHeader* header) noexcept {
    if (header->strong.fetch_sub(1, std::memory_order_release) == 1) {
        std::atomic_thread_fence(std::memory_order_acquire);
        header->destroy(header);
    }
}

void release_handle(void* handle, ObjectKind kind) {
    drop_reference(checked_header(handle, kind));
}

}  // namespace quorvanta::ffi
