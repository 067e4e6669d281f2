// Drives one session through the exported C functions, as a host would: a configuration, then a
// few calls of process (batches and modes that are well formed but hostile: NaN, infinite, huge,
// negative, repeated and backward timestamps, mismatched lengths, unknown ids, absurd rates and
// windows; now and then raw bytes instead of an encoded value), reset, clone and free, and
// finally one ordinary batch.
//
// Promises checked: every call leaves a call status of 0 (untouched) or 2; a well-formed value
// never fails, so the session never gets poisoned and the final batch succeeds; raw bytes fail
// only as an argument that cannot be lifted; every result lifts as a SessionResult, carries the
// length complaint exactly when the lengths disagree, and otherwise holds a face track as long as
// its timestamps, non-empty waveforms and finite vitals. Every returned buffer is freed, so
// ASan's leak checker sees what the library loses.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
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

// Per-frame numbers (timestamps, samples, confidences, face coordinates) an input may send in
// all, which bounds the history and so the time of one run.
constexpr std::size_t kValueBudget = 20000;
constexpr int kMaxCalls = 12;
constexpr std::size_t kTypicalFrames = 150;
constexpr std::size_t kMaxFrames = 600;
constexpr double kFrameInterval = 1.0 / 30.0;

constexpr std::string_view kSignalIds[] = {"ppg_waveform", "respiratory_waveform", "spo2", "sbp",
                                           "dbp",          "abp_waveform"};

// What the library's message for a batch of disagreeing lengths starts with.
constexpr std::string_view kLengthMismatch = "Length mismatch: ";

bool starts_with(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// A buffer of the library's own, holding `bytes`, as a host builds one.
RustBuffer buffer_of(std::span<const std::uint8_t> bytes) {
    RustCallStatus status{};
    const RustBuffer buffer = ffi_quorvanta_core_rustbuffer_from_bytes(
        ForeignBytes{static_cast<std::int32_t>(bytes.size()), bytes.data()}, &status);
    require(status.code == 0, "rustbuffer_from_bytes succeeds");
    return buffer;
}

void free_buffer(RustBuffer buffer) {
    RustCallStatus status{};
    ffi_quorvanta_core_rustbuffer_free(buffer, &status);
    require(status.code == 0, "rustbuffer_free succeeds");
}

// The message of a failed call, its buffer freed; nothing when the call succeeded, which must
// leave the status as the host set it.
std::optional<std::string> failure_of(const RustCallStatus& status) {
    if (status.code == 0) {
        require(status.error_buf.data == nullptr && status.error_buf.len == 0 &&
                    status.error_buf.capacity == 0,
                "a successful call leaves the status untouched");
        return std::nullopt;
    }
    require(status.code == 2, "a failed call reports code 2");
    const std::span<const std::uint8_t> bytes{status.error_buf.data, status.error_buf.len};
    std::string message(bytes.begin(), bytes.end());
    free_buffer(status.error_buf);
    return message;
}

// Raw bytes stand in for an encoded argument: the call may then fail, but only at lifting.
void require_lift_failure(const std::string& message) {
    require(starts_with(message, "Failed to convert arg '"), message);
}

// A host of one session, with a running clock for typical timestamps and a budget of values.
class Host {
public:
    explicit Host(FuzzedDataProvider& data) : data_(data) {}
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    ~Host() {
        if (session_ == nullptr) return;
        RustCallStatus status{};
        uniffi_quorvanta_core_fn_free_session(session_, &status);
        require(!failure_of(status), "free_session succeeds");
    }

    void run() {
        if (!create_session()) return;
        for (int call = 0; call < kMaxCalls && data_.remaining_bytes() > 0; ++call)
            make_call();
        process_ordinary_batch();
    }

private:
    // Sometimes raw bytes stand in for an encoded value.
    bool raw_bytes_instead() { return data_.ConsumeIntegralInRange(0, 15) == 15; }

    RustBuffer raw_buffer() {
        return buffer_of(data_.ConsumeBytes<std::uint8_t>(data_.ConsumeIntegralInRange(0, 64)));
    }

    bool create_session() {
        const bool raw = raw_bytes_instead();
        RustCallStatus status{};
        session_ = uniffi_quorvanta_core_fn_constructor_session_new(
            raw ? raw_buffer() : ffi::encode(session_config()), &status);
        if (const auto message = failure_of(status)) {
            require(raw, "a well-formed SessionConfig makes a session: " + *message);
            require_lift_failure(*message);
            require(session_ == nullptr, "a failed constructor returns no handle");
            return false;
        }
        require(session_ != nullptr, "a constructor returns a handle");
        return true;
    }

    void make_call() {
        switch (data_.ConsumeIntegralInRange(0, 7)) {
            case 0:
            case 1:
            case 2:
            case 3:
                return process_hostile_batch();
            case 4:
                return process_raw_bytes();
            case 5:
                return reset();
            case 6:
                return clone_and_free();
            default:
                return process_ordinary_batch();
        }
    }

    SessionConfig session_config() {
        SessionConfig config;
        config.model_name = data_.ConsumeBool() ? fuzz::hostile_text(data_) : "fuzz-model";
        if (data_.ConsumeBool()) {
            config.supported_vitals = id_list();
        } else {
            config.supported_vitals.assign(vital_ids().begin(), vital_ids().end());
        }
        if (data_.ConsumeBool()) {
            config.return_waveforms = data_.ConsumeBool()
                                          ? std::optional<std::vector<std::string>>{}
                                          : std::optional{id_list()};
        } else {
            config.return_waveforms.emplace(std::begin(kSignalIds), std::end(kSignalIds));
        }
        config.fps_target = hostile(data_, 30.0f);
        config.input_size = fuzz::hostile_integer<std::uint64_t>(data_, 40);
        config.n_inputs = fuzz::hostile_integer<std::uint64_t>(data_, 4);
        config.roi_method = data_.ConsumeBool() ? fuzz::hostile_text(data_) : "face";
        return config;
    }

    // Registry ids, their aliases, signal ids and unknown ids, in any number and order.
    std::vector<std::string> id_list() {
        std::vector<std::string> ids(data_.ConsumeIntegralInRange(0, 8));
        for (std::string& id : ids)
            id = any_id();
        return ids;
    }

    // One element of a non-empty range.
    template <class Range>
    std::string pick(const Range& range) {
        const std::size_t last = std::size(range) - 1;
        return std::string(range[data_.ConsumeIntegralInRange<std::size_t>(0, last)]);
    }

    std::string any_id() {
        switch (data_.ConsumeIntegralInRange(0, 3)) {
            case 0:
                return pick(kSignalIds);
            case 1:
                return pick(vital_ids());
            case 2: {
                const auto aliases = vital_aliases(pick(vital_ids()));
                return aliases.empty() ? "" : pick(aliases);
            }
            default:
                return fuzz::hostile_text(data_);
        }
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

    struct Batch {
        SessionInput input;
        bool lengths_agree = true;
    };

    Batch hostile_batch() {
        Batch batch;
        const std::size_t frames = spend(fuzz::hostile_count(data_, kTypicalFrames, kMaxFrames));
        batch.input.timestamp = timestamps(frames);
        const std::size_t signals = data_.ConsumeBool() ? data_.ConsumeIntegralInRange(0, 8) : 2;
        for (std::size_t s = 0; s < signals; ++s) {
            const std::string id = s < 2 && signals == 2 ? std::string(kSignalIds[s]) : any_id();
            SignalInput signal{samples(id, length_for(frames)), confidences(length_for(frames))};
            batch.input.signals.insert_or_assign(id, std::move(signal));
        }
        if (data_.ConsumeBool()) batch.input.face = face(frames);
        batch.lengths_agree = !lengths_disagree(batch.input);
        return batch;
    }

    static bool lengths_disagree(const SessionInput& input) {
        const std::size_t frames = input.timestamp.size();
        if (input.face &&
            (input.face->coordinates.size() != frames || input.face->confidence.size() != frames))
            return true;
        for (const auto& [id, signal] : input.signals) {
            if (signal.data.size() != frames || signal.confidence.size() != frames) return true;
        }
        return false;
    }

    // Typical timestamps continue the clock, overlapping the previous batch by a few frames;
    // hostile ones start and step anywhere, and any of them may be replaced by any number.
    std::vector<double> timestamps(std::size_t frames) {
        const double overlap = data_.ConsumeIntegralInRange(0, 8) * kFrameInterval;
        double start = clock_ - overlap;
        double step = kFrameInterval;
        if (data_.ConsumeBool()) {
            start = hostile(data_, start);
            step = hostile(data_, step);
        }
        std::vector<double> times(frames);
        for (std::size_t i = 0; i < frames; ++i)
            times[i] = start + static_cast<double>(i) * step;
        const int odd_ones = data_.ConsumeIntegralInRange(0, 3);
        for (int k = 0; k < odd_ones && frames > 0; ++k) {
            const std::size_t i = data_.ConsumeIntegralInRange<std::size_t>(0, frames - 1);
            times[i] = data_.ConsumeBool() && i > 0 ? times[i - 1] : hostile(data_, times[i]);
        }
        if (frames > 0 && std::isfinite(times.back())) clock_ = times.back() + kFrameInterval;
        return times;
    }

    // A typical sample of the signal `id` at time `t` seconds: pulse and breathing waves, steady
    // SpO2 and pressures.
    static float typical_sample(std::string_view id, double t) {
        constexpr double kTwoPi = 6.283185307179586;
        if (id == "spo2") return 97.0f;
        if (id == "sbp") return 120.0f;
        if (id == "dbp") return 80.0f;
        if (id == "abp_waveform") return static_cast<float>(95.0 + 25.0 * std::sin(kTwoPi * t));
        if (id == "respiratory_waveform") return static_cast<float>(std::sin(kTwoPi * 0.25 * t));
        return static_cast<float>(std::sin(kTwoPi * 1.2 * t) + 0.3 * std::sin(kTwoPi * 2.4 * t));
    }

    std::vector<float> samples(std::string_view id, std::size_t count) {
        std::vector<float> values(count);
        const bool hostile_values = data_.ConsumeIntegralInRange(0, 3) == 3;
        for (std::size_t i = 0; i < count; ++i) {
            const float typical =
                typical_sample(id, (frame_ + static_cast<double>(i)) * kFrameInterval);
            values[i] = hostile_values ? hostile(data_, typical) : typical;
        }
        sprinkle(values);
        frame_ += static_cast<double>(count);
        return values;
    }

    std::vector<float> confidences(std::size_t count) {
        std::vector<float> values(count, 0.9f);
        if (data_.ConsumeIntegralInRange(0, 3) == 3) {
            for (float& value : values)
                value = hostile(data_, 0.9f);
        }
        sprinkle(values);
        return values;
    }

    // Replaces a few values of an otherwise typical sequence by hostile ones.
    void sprinkle(std::vector<float>& values) {
        const int odd_ones = data_.ConsumeIntegralInRange(0, 3);
        for (int k = 0; k < odd_ones && !values.empty(); ++k) {
            float& value = values[data_.ConsumeIntegralInRange<std::size_t>(0, values.size() - 1)];
            value = hostile(data_, value);
        }
    }

    FaceInput face(std::size_t frames) {
        FaceInput face;
        face.coordinates.resize(length_for(frames));
        for (std::vector<float>& box : face.coordinates) {
            const std::size_t numbers =
                data_.ConsumeIntegralInRange(0, 7) == 7 ? data_.ConsumeIntegralInRange(0, 6) : 4;
            box = {100.0f, 80.0f, 200.0f, 220.0f};
            box.resize(spend(numbers), 0.0f);
            sprinkle(box);
        }
        face.confidence = confidences(length_for(frames));
        return face;
    }

    WaveformMode mode() {
        switch (data_.ConsumeIntegralInRange(0, 2)) {
            case 0:
                return waveform_mode::Incremental{};
            case 1:
                return waveform_mode::Global{};
            default:
                return waveform_mode::Windowed{hostile(data_, 10.0f)};
        }
    }

    // Calls process with a new reference; returns the result buffer or the failure message.
    std::optional<std::string> process(RustBuffer input, RustBuffer waveform_mode,
                                       RustBuffer& result) {
        RustCallStatus status{};
        result =
            uniffi_quorvanta_core_fn_method_session_process(clone(), input, waveform_mode, &status);
        auto message = failure_of(status);
        if (message) {
            require(result.data == nullptr && result.len == 0 && result.capacity == 0,
                    "a failed call returns an empty buffer");
        }
        return message;
    }

    void process_hostile_batch() {
        const Batch batch = hostile_batch();
        const WaveformMode waveform_mode = mode();
        RustBuffer result{};
        const auto message = process(ffi::encode(batch.input), ffi::encode(waveform_mode), result);
        require(!message, "a well-formed batch is processed: " + message.value_or(""));
        check_result(result, batch.lengths_agree);
    }

    void process_ordinary_batch() {
        SessionInput input;
        const std::size_t frames = spend(30);
        input.timestamp = timestamps(frames);
        for (std::size_t s = 0; s < 2; ++s) {
            input.signals[std::string(kSignalIds[s])] =
                SignalInput{samples(kSignalIds[s], frames), std::vector<float>(frames, 0.9f)};
        }
        RustBuffer result{};
        const auto message = process(
            ffi::encode(input), ffi::encode(WaveformMode{waveform_mode::Incremental{}}), result);
        require(!message, "an ordinary batch is processed: " + message.value_or(""));
        check_result(result, true);
    }

    void process_raw_bytes() {
        const bool raw_input = data_.ConsumeBool();
        const RustBuffer input = raw_input ? raw_buffer() : ffi::encode(hostile_batch().input);
        const RustBuffer waveform_mode =
            raw_input && data_.ConsumeBool() ? ffi::encode(mode()) : raw_buffer();
        RustBuffer result{};
        if (const auto message = process(input, waveform_mode, result)) {
            require_lift_failure(*message);
            return;
        }
        const SessionResult lifted = lift_result(result);
        require(lifted.message == kAdvisoryMessage || starts_with(lifted.message, kLengthMismatch),
                "a result carries the advisory or a length complaint");
    }

    void reset() {
        RustCallStatus status{};
        uniffi_quorvanta_core_fn_method_session_reset(clone(), &status);
        const auto message = failure_of(status);
        require(!message, "reset succeeds: " + message.value_or(""));
    }

    // A second reference, freed again: the session must outlive it.
    void clone_and_free() {
        RustCallStatus status{};
        uniffi_quorvanta_core_fn_free_session(clone(), &status);
        require(!failure_of(status), "free_session of a clone succeeds");
    }

    void* clone() {
        RustCallStatus status{};
        void* handle = uniffi_quorvanta_core_fn_clone_session(session_, &status);
        require(!failure_of(status) && handle == session_, "clone_session returns its argument");
        return handle;
    }

    static SessionResult lift_result(RustBuffer result) {
        const std::span<const std::uint8_t> bytes{result.data, result.len};
        SessionResult lifted;
        try {
            lifted = ffi::decode<SessionResult>(bytes);
        } catch (const ffi::DecodeError& error) {
            require(false, std::string("a result lifts: ") + error.what());
        }
        free_buffer(result);
        return lifted;
    }

    static void check_result(RustBuffer result, bool lengths_agree) {
        const SessionResult lifted = lift_result(result);
        if (!lengths_agree) {
            require(starts_with(lifted.message, kLengthMismatch), "disagreeing lengths are named");
            require(lifted.timestamp.empty() && !lifted.face && lifted.waveforms.empty() &&
                        lifted.vitals.empty(),
                    "a length complaint comes with an empty result");
            return;
        }
        require(lifted.message == kAdvisoryMessage, "a batch of agreeing lengths is analysed");
        if (lifted.face) {
            require(lifted.face->coordinates.size() == lifted.timestamp.size() &&
                        lifted.face->confidence.size() == lifted.timestamp.size(),
                    "the face track has one entry per returned frame");
            for (const auto& box : lifted.face->coordinates)
                require(box.size() == 4, "every returned face box has four numbers");
        }
        for (const auto& [id, waveform] : lifted.waveforms)
            require(!waveform.data.empty(), "a returned waveform has data");
        for (const auto& [id, vital] : lifted.vitals)
            require(std::isfinite(vital.value), "a vital's value is finite: " + id);
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
