// SPDX-License-Identifier: Apache-2.0
// Signal names as recordings write them (the registry's ids and aliases), and the messages about
// names the reader does not know.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvanta {

// The ids of the signals the library reads (its estimators' inputs and its waveforms), in the
// order the catalogue first names them.
std::vector<std::string> signal_ids();

namespace detail {

// The canonical id of the signal that `name` names (an id or an alias), if it names one.
std::optional<std::string> signal_named(std::string_view name);

// "'a', 'b'"
std::string quoted_list(const std::vector<std::string>& names);

// The complaint about a recording whose `names` name no signal: "no signal{none}" without
// names, else "no signal among {among}'a', 'b'".
std::string no_signal(const std::vector<std::string>& names, std::string_view none,
                      std::string_view among);

// The warning about names that are neither a signal nor anything else the format knows.
void warn_unknown(std::vector<std::string>& warnings, const std::string& where,
                  const std::vector<std::string>& names, std::string_view what);

}  // namespace detail
}  // namespace quorvanta
