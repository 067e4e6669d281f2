// SPDX-License-Identifier: Apache-2.0
// Drives one session through the exported C functions, as a host would: a configuration, a few
// calls of process with batches and modes that are well formed but hostile (NaN, infinite, huge,
// negative, repeated and backward timestamps, mismatched lengths, unknown ids, absurd rates and
// windows) or now and then raw bytes, assess, reset, clone and free, and finally one ordinary
// batch.
//
// Promises checked: every call status is 0 (untouched) or 2; a well-formed value never fails, so
// the session is never poisoned and the final batch succeeds; raw bytes fail only as an argument
// that cannot be lifted; every result lifts, carries the length complaint exactly when the
// lengths disagree, and otherwise holds a face track as long as its timestamps, non-empty
// waveforms and finite vitals; every assessment lifts with qualities from 0 to 1, finite checked
// values and ordered beats. Every returned buffer is freed, so ASan sees what the library loses.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ffi/codec.h"
#include "hostile_values.h"
#include "quorvanta_core.h"
#include "registry/registry.h"
#include "state/session.h"

namespace {

using namespace quorvanta;
using fuzz::hostile;
using fuzz::require;

// Per-frame numbers an input may send in all, which bounds the history and so the time of a run.
constexpr std::size_t kValueBudget = 20000;
constexpr int kMaxCalls = 12;
constexpr std::size_t kTypicalFrames = 150;
constexpr std::size_t kMaxFrames = 600;
constexpr double kFrameInterval = 1.0 / 30.0;

constexpr std::string_view kSignalIds[] = {"ppg_waveform", "respiratory_waveform", "spo2", "sbp",
                                           "dbp",          "abp_waveform"};
constexpr std::string_view kLengthMismatch = "Length mismatch: ";

void free_buffer(RustBuffer buffer) {
    RustCallStatus status{};
    ffi_quorvanta_core_rustbuffer_free(buffer, &status);
    require(status.code == 0, "rustbuffer_free succeeds");
}

bool is_empty(const RustBuffer& buffer) {
    return buffer.data == nullptr && buffer.len == 0 && buffer.capacity == 0;
}

// The message of a failed call, its buffer freed; nothing when the call succeeded.
std::optional<std::string> failure_of(const RustCallStatus& status) {
    if (status.code == 0) {
        require(is_empty(status.error_buf), "a successful call leaves the status untouched");
        return std::nullopt;
    }
    require(status.code == 2, "a failed call reports code 2");
    std::string message(status.error_buf.data, status.error_buf.data + status.error_buf.len);
    free_buffer(status.error_buf);
    return message;
}

void require_success(const RustCallStatus& status, std::string_view call) {
    const auto message = failure_of(status);
    require(!message, std::string(call) + " succeeds: " + message.value_or(""));
}

// Only raw bytes standing in for an encoded argument may make a call fail, and only at lifting.
void require_lift_failure(const std::string& message, bool raw) {
    require(raw && message.starts_with("Failed to convert arg '"),
            "only raw bytes fail, at lifting: " + message);
}

void free_session(void* handle) {
    RustCallStatus status{};
    uniffi_quorvanta_core_fn_free_session(handle, &status);
    require_success(status, "free_session");
}

bool lengths_agree(const SessionInput& input) {
    const auto both_match = [frames = input.timestamp.size()](const auto& a, const auto& b) {
        return a.size() == frames && b.size() == frames;
    };
    return (!input.face || both_match(input.face->coordinates, input.face->confidence)) &&
           std::ranges::all_of(input.signals, [&](const auto& entry) {
               return both_match(entry.second.data, entry.second.confidence);
           });
}

void check_result(const SessionResult& result, bool agreeing) {
    if (!agreeing) {
        require(result.message.starts_with(kLengthMismatch) && result.timestamp.empty() &&
                    !result.face && result.waveforms.empty() && result.vitals.empty(),
                "disagreeing lengths get a length complaint and an empty result");
        return;
    }
    require(result.message == kAdvisoryMessage, "a batch of agreeing lengths is analysed");
    if (result.face) {
        const std::size_t frames = result.timestamp.size();
        require(result.face->coordinates.size() == frames &&
                    result.face->confidence.size() == frames &&
                    std::ranges::all_of(result.face->coordinates,
                                        [](const auto& box) { return box.size() == 4; }),
                "the face track has a box of four numbers and a confidence per returned frame");
    }
    for (const auto& [id, waveform] : result.waveforms)
        require(!waveform.data.empty(), "a returned waveform has data: " + id);
    for (const auto& [id, vital] : result.vitals)
        require(std::isfinite(vital.value), "a vital's value is finite: " + id);
}

// A typical sample of the signal `id` at time `t` seconds: pulse and breathing waves, steady
// SpO2 and pressures.
float typical_sample(std::string_view id, double t) {
    constexpr double kTwoPi = 6.283185307179586;
    if (id == "spo2") return 97.0f;
    if (id == "sbp") return 120.0f;
    if (id == "dbp") return 80.0f;
    if (id == "abp_waveform") return static_cast<float>(95.0 + 25.0 * std::sin(kTwoPi * t));
    if (id == "respiratory_waveform") return static_cast<float>(std::sin(kTwoPi * 0.25 * t));
    return static_cast<float>(std::sin(kTwoPi * 1.2 * t) + 0.3 * std::sin(kTwoPi * 2.4 * t));
}

// A host of one session, with a running clock for typical timestamps and a budget of values.
class Host {
public:
    explicit Host(FuzzedDataProvider& data) : data_(data) {}

    void run() {
        if (!create_session()) return;
        static constexpr void (Host::*kCalls[])() = {&Host::process_hostile_batch,
                                                     &Host::process_hostile_batch,
                                                     &Host::process_hostile_batch,
                                                     &Host::process_hostile_batch,
                                                     &Host::process_raw_bytes,
                                                     &Host::reset,
                                                     &Host::clone_and_free,
                                                     &Host::process_ordinary_batch,
                                                     &Host::assess};
        for (int call = 0; call < kMaxCalls && data_.remaining_bytes() > 0; ++call)
            (this->*data_.PickValueInArray(kCalls))();
        process_ordinary_batch();
        free_session(session_);
    }

private:
    // A buffer of the library's own holding raw bytes, built as a host builds one.
    RustBuffer raw_buffer() {
        const auto bytes =
            data_.ConsumeBytes<std::uint8_t>(data_.ConsumeIntegralInRange<std::size_t>(0, 64));
        RustCallStatus status{};
        const RustBuffer buffer = ffi_quorvanta_core_rustbuffer_from_bytes(
            ForeignBytes{static_cast<std::int32_t>(bytes.size()), bytes.data()}, &status);
        require(status.code == 0, "rustbuffer_from_bytes succeeds");
        return buffer;
    }

    bool create_session() {
        const bool raw = data_.ConsumeIntegralInRange(0, 15) == 15;
        RustCallStatus status{};
        session_ = uniffi_quorvanta_core_fn_constructor_session_new(
            raw ? raw_buffer() : ffi::encode(session_config()), &status);
        if (const auto failure = failure_of(status)) {
            require_lift_failure(*failure, raw);
            require(session_ == nullptr, "a failed constructor returns no handle");
            return false;
        }
        require(session_ != nullptr, "a constructor returns a handle");
        return true;
    }

    SessionConfig session_config() {
        return {text_or("fuzz-model"),
                ids_or_any(vital_ids()),
                data_.ConsumeIntegralInRange(0, 3) == 3 ? std::nullopt
                                                        : std::optional{ids_or_any(kSignalIds)},
                hostile(data_, 30.0f),
                fuzz::hostile_integer<std::uint64_t>(data_, 40),
                fuzz::hostile_integer<std::uint64_t>(data_, 4),
                text_or("face")};
    }

    std::string text_or(std::string_view typical) {
        return data_.ConsumeBool() ? fuzz::hostile_text(data_) : std::string(typical);
    }

    // `typical`, or registry ids, their aliases, signal ids and unknown ids in any number and
    // order.
    template <class Range>
    std::vector<std::string> ids_or_any(const Range& typical) {
        if (!data_.ConsumeBool()) return {std::begin(typical), std::end(typical)};
        std::vector<std::string> ids(data_.ConsumeIntegralInRange<std::size_t>(0, 8));
        for (std::string& id : ids)
            id = any_id();
        return ids;
    }

    // One element of `range`, or an empty id if there is none.
    template <class Range>
    std::string pick(const Range& range) {
        if (std::empty(range)) return "";
        return std::string(
            range[data_.ConsumeIntegralInRange<std::size_t>(0, std::size(range) - 1)]);
    }

    std::string any_id() {
        const int kind = data_.ConsumeIntegralInRange(0, 3);
        if (kind == 0) return pick(kSignalIds);
        if (kind == 1) return pick(vital_ids());
        if (kind == 2) return pick(vital_aliases(pick(vital_ids())));
        return fuzz::hostile_text(data_);
    }

    // Spends up to `wanted` values of the budget and returns how many may be sent.
    std::size_t spend(std::size_t wanted) {
        const std::size_t granted = std::min(wanted, budget_);
        budget_ -= granted;
        return granted;
    }

    // A length for a sequence that should hold `frames` entries: usually that, sometimes not.
    std::size_t length_for(std::size_t frames) {
        return spend(data_.ConsumeIntegralInRange(0, 7) == 7
                         ? fuzz::hostile_count(data_, frames + 1, kMaxFrames)
                         : frames);
    }

    SessionInput hostile_batch() {
        SessionInput input;
        const std::size_t frames = spend(fuzz::hostile_count(data_, kTypicalFrames, kMaxFrames));
        input.timestamp = timestamps(frames);
        const std::size_t signals =
            data_.ConsumeBool() ? data_.ConsumeIntegralInRange<std::size_t>(0, 8) : 2;
        for (std::size_t s = 0; s < signals; ++s) {
            const std::string id = s < 2 && signals == 2 ? std::string(kSignalIds[s]) : any_id();
            input.signals.insert_or_assign(
                id, SignalInput{samples(id, length_for(frames)), confidences(length_for(frames))});
        }
        if (data_.ConsumeBool()) input.face = face(frames);
        return input;
    }

    // Typical timestamps continue the clock, overlapping the previous batch by a few frames;
    // hostile ones start and step anywhere, and a few may repeat or be any number.
    std::vector<double> timestamps(std::size_t frames) {
        const double typical_start = clock_ - data_.ConsumeIntegralInRange(0, 8) * kFrameInterval;
        const bool odd_steps = data_.ConsumeBool();
        const double start = odd_steps ? hostile(data_, typical_start) : typical_start;
        const double step = odd_steps ? hostile(data_, kFrameInterval) : kFrameInterval;
        std::vector<double> times(frames);
        for (std::size_t i = 0; i < frames; ++i)
            times[i] = start + static_cast<double>(i) * step;
        fuzz::sprinkle(data_, times);
        if (frames > 0 && std::isfinite(times.back())) clock_ = times.back() + kFrameInterval;
        return times;
    }

    std::vector<float> samples(std::string_view id, std::size_t count) {
        const double first = std::exchange(frame_, frame_ + static_cast<double>(count));
        return fuzz::hostile_sequence(data_, count, [&](std::size_t i) {
            return typical_sample(id, (first + static_cast<double>(i)) * kFrameInterval);
        });
    }

    std::vector<float> confidences(std::size_t count) {
        return fuzz::hostile_sequence(data_, count, [](std::size_t) { return 0.9f; });
    }

    FaceInput face(std::size_t frames) {
        std::vector<std::vector<float>> boxes(length_for(frames));
        for (std::vector<float>& box : boxes) {
            const bool odd_size = data_.ConsumeIntegralInRange(0, 7) == 7;
            box = {100.0f, 80.0f, 200.0f, 220.0f};
            box.resize(spend(odd_size ? data_.ConsumeIntegralInRange<std::size_t>(0, 6) : 4), 0.0f);
            fuzz::sprinkle(data_, box);
        }
        return {std::move(boxes), confidences(length_for(frames))};
    }

    WaveformMode mode() {
        const int kind = data_.ConsumeIntegralInRange(0, 2);
        if (kind == 0) return waveform_mode::Incremental{};
        if (kind == 1) return waveform_mode::Global{};
        return waveform_mode::Windowed{hostile(data_, 10.0f)};
    }

    // The value a returned buffer holds, the buffer freed; `what` names it where it does not lift.
    template <class T>
    static T lift_returned(RustBuffer result, const std::string& what) {
        T value;
        try {
            value = ffi::decode<T>(std::span{result.data, result.len});
        } catch (const ffi::DecodeError& error) {
            require(false, what + " lifts: " + error.what());
        }
        free_buffer(result);
        return value;
    }

    // Calls process with a new reference to the session; the lifted result, if it succeeds.
    std::optional<SessionResult> process(RustBuffer input, RustBuffer waveform_mode, bool raw) {
        RustCallStatus status{};
        const RustBuffer result =
            uniffi_quorvanta_core_fn_method_session_process(clone(), input, waveform_mode, &status);
        const auto failure = failure_of(status);
        if (!failure) return lift_returned<SessionResult>(result, "a result");
        require(is_empty(result), "a failed call returns an empty buffer");
        require_lift_failure(*failure, raw);
        return std::nullopt;
    }

    void process_well_formed(const SessionInput& input, const WaveformMode& waveform_mode) {
        check_result(*process(ffi::encode(input), ffi::encode(waveform_mode), false),
                     lengths_agree(input));
    }

    void process_hostile_batch() {
        const SessionInput input = hostile_batch();
        process_well_formed(input, mode());
    }

    void process_ordinary_batch() {
        SessionInput input;
        const std::size_t frames = spend(30);
        input.timestamp = timestamps(frames);
        for (const std::string_view id : {kSignalIds[0], kSignalIds[1]})
            input.signals[std::string(id)] = {samples(id, frames),
                                              std::vector<float>(frames, 0.9f)};
        process_well_formed(input, waveform_mode::Incremental{});
    }

    // At least one argument is raw bytes.
    void process_raw_bytes() {
        const bool raw_input = data_.ConsumeBool();
        const RustBuffer input = raw_input ? raw_buffer() : ffi::encode(hostile_batch());
        const RustBuffer waveform_mode =
            raw_input && data_.ConsumeBool() ? ffi::encode(mode()) : raw_buffer();
        if (const auto result = process(input, waveform_mode, true)) {
            require(
                result->message == kAdvisoryMessage || result->message.starts_with(kLengthMismatch),
                "a result carries the advisory or a length complaint");
        }
    }

    void reset() {
        RustCallStatus status{};
        uniffi_quorvanta_core_fn_method_session_reset(clone(), &status);
        require_success(status, "reset");
    }

    // The assessment of the last batch lifts, with qualities from 0 to 1, finite checked values,
    // one status per beat, beats in time order and intervals within 300 to 2000 ms.
    void assess() {
        RustCallStatus status{};
        const RustBuffer result = uniffi_quorvanta_core_fn_method_session_assess(clone(), &status);
        require_success(status, "assess");
        const auto assessment = lift_returned<Assessment>(result, "an assessment");
        for (const auto& [id, vital] : assessment.vitals) {
            require(vital.quality >= 0 && vital.quality <= 1, "a quality lies within 0 to 1");
            require(std::isfinite(vital.checked_value), "a checked value is finite");
        }
        const Beats& beats = assessment.beats;
        require(beats.status.size() == beats.times.size(), "one status per beat");
        require(std::is_sorted(beats.times.begin(), beats.times.end()), "beats in time order");
        for (const float ms : beats.intervals)
            require(ms >= 300 && ms <= 2000, "intervals within 300 to 2000 ms");
    }

    // A second reference, freed again: the session must outlive it.
    void clone_and_free() { free_session(clone()); }

    void* clone() {
        RustCallStatus status{};
        void* handle = uniffi_quorvanta_core_fn_clone_session(session_, &status);
        require_success(status, "clone_session");
        return handle;
    }

    FuzzedDataProvider& data_;
    void* session_ = nullptr;
    std::size_t budget_ = kValueBudget;
    double clock_ = 0.0;  // the next typical timestamp
    double frame_ = 0.0;  // frames sent so far, for the phase of typical samples
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    Host(provider).run();
    return 0;
}
