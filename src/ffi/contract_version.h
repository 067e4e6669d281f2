// SPDX-License-Identifier: Apache-2.0
// The version of the calling contract the C interface follows, which bindings check before their
// first call.
#pragma once

#include <cstdint>

namespace quorvanta::ffi {

inline constexpr std::uint32_t kContractVersion = 26;

}  // namespace quorvanta::ffi
