// SPDX-License-Identifier: Apache-2.0
// A stateful session: the history of one subject, fed batch by batch, and the vitals and
// waveforms estimated from it.
//
// One mutex serialises process and reset. A fault (any exception) while the lock is held
// poisons the session: the fault is reported to that caller, and every later process or reset
// fails with "Failed to lock Session core: PoisonError { .. }".
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "state/session_core.h"
#include "types/records.h"

namespace quorvanta {

// The fixed advisory text of every successful result.
inline constexpr std::string_view kAdvisoryMessage =
    "The provided values are estimates and should be interpreted according to the provided "
    "confidence scores. The Quorvanta API is not a medical device and its estimates are not "
    "intended for any medical purposes.";

// How a door spells the three waveform modes.
struct WaveformModeNames {
    std::string_view incremental;
    std::string_view global;
    std::string_view windowed;
};
// The variants' own names, which the bindings use.
inline constexpr WaveformModeNames kWaveformModeNames{"Incremental", "Global", "Windowed"};

// The mode a door names: incremental or global without seconds, windowed with them; nothing for
// any other name, or for seconds given to another mode.
std::optional<WaveformMode> waveform_mode_named(
    std::string_view name, std::optional<float> seconds = std::nullopt,
    const WaveformModeNames& names = kWaveformModeNames);

class Session {
public:
    explicit Session(SessionConfig config);

    // Merges `input` into the history and returns the vitals, waveforms and face track. A batch
    // whose sequence lengths disagree changes nothing and returns its complaint as the message.
    SessionResult process(const SessionInput& input, const WaveformMode& mode);

    // Checks the vitals of the last processed batch against the history: each one's quality,
    // reasons and checked value, and the beats of the pulse waveform. Changes nothing.
    Assessment assess();

    // Clears the history.
    void reset();

    // What a door warns of before it processes `input`: each signal key that nothing of the
    // session reads (no vital's method, returned waveform or check; such signals are not kept),
    // once per session and key, naming the id it may mean: the canonical id of an alias, or a
    // read id a typo away. After kMaxNamedUnreadSignals keys, one last warning says that no more
    // are named, so that the keys remembered stay few whatever a host sends. And once per
    // session, timestamps whose median interval (with the last timestamp of the batch before) is
    // too long for any vital, naming the unit they look like.
    std::vector<std::string> input_warnings(const SessionInput& input);

    static constexpr std::size_t kMaxNamedUnreadSignals = 16;

private:
    template <class Body>
    auto locked(Body&& body);
    void warn_of_unread_signals(const SessionInput& input, std::vector<std::string>& warnings);
    void warn_of_frame_interval(const SessionInput& input, std::vector<std::string>& warnings);

    std::mutex mutex_;
    bool poisoned_ = false;
    SessionCore core_;
    std::mutex warned_mutex_;
    std::unordered_set<std::string> warned_signals_;  // keys warned of, at most the cap
    bool warned_of_more_ = false;
    std::optional<double> last_timestamp_;  // of the batches warned of
    bool warned_of_frame_interval_ = false;
};

}  // namespace quorvanta
