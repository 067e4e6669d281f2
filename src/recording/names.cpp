// SPDX-License-Identifier: Apache-2.0
#include "recording/names.h"

#include <algorithm>

#include "registry/registry.h"

namespace quorvanta {

std::vector<std::string> signal_ids() {
    std::vector<std::string> ids;
    const auto add = [&](const std::string& id) {
        if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(id);
    };
    for (const std::string_view id : vital_ids()) {
        const auto spec = lookup_vital(id);
        if (!spec->scalar_only && spec->methods.empty()) add(spec->id);  // a waveform
        for (const EstimationMethod& method : spec->methods) {
            for (const std::string& signal : method.signals)
                add(signal);
        }
    }
    return ids;
}

namespace detail {
namespace {

std::string plain_list(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names)
        text.append(text.empty() ? "" : ", ").append(name);
    return text;
}

std::string expected_signals() {
    return "expected a signal: " + plain_list(signal_ids()) +
           " (or an alias that 'quorvanta vitals' lists, such as ppg or resp)";
}

}  // namespace

std::optional<std::string> signal_named(std::string_view name) {
    const auto spec = lookup_vital(name);
    const auto ids = signal_ids();
    if (!spec || std::find(ids.begin(), ids.end(), spec->id) == ids.end()) return std::nullopt;
    return spec->id;
}

std::string quoted_list(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names)
        text.append(text.empty() ? "'" : ", '").append(name).append("'");
    return text;
}

std::string no_signal(const std::vector<std::string>& names, std::string_view none,
                      std::string_view among) {
    return "no signal" +
           (names.empty() ? std::string(none)
                          : " among " + std::string(among) + quoted_list(names)) +
           "; " + expected_signals();
}

void warn_unknown(std::vector<std::string>& warnings, const std::string& where,
                  const std::vector<std::string>& names, std::string_view what) {
    if (names.empty()) return;
    warnings.push_back(where + "ignoring " + std::string(what) + " " + quoted_list(names) +
                       ", which name no signal; " + expected_signals());
}

}  // namespace detail
}  // namespace quorvanta
