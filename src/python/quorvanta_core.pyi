# SPDX-License-Identifier: Apache-2.0
from os import PathLike
from typing import Any, ClassVar, Literal, Sequence, SupportsFloat, SupportsIndex, TypedDict, final

import numpy as np
from numpy.typing import NDArray
from typing_extensions import TypeAlias

__all__ = [
    "Session",
    "BufferPlanner",
    "SessionConfig",
    "SessionInput",
    "SignalInput",
    "FaceInput",
    "SessionResult",
    "WaveformResult",
    "VitalResult",
    "FaceResult",
    "Rect",
    "InferenceMode",
    "BufferConfig",
    "BufferActionType",
    "BufferAction",
    "BufferMetadata",
    "InferenceCommand",
    "ExecutionPlan",
    "VitalDisplayMeta",
    "Assessment",
    "VitalAssessment",
    "Beats",
    "BeatStatus",
    "estimate_heart_rate",
    "estimate_hrv_metric",
    "find_peaks",
    "calculate_roi",
    "get_vital_info",
    "find_beats",
    "extract_pulse",
    "extract_respiration",
    "read_recording",
    "compute_buffer_config",
    "compute_iou",
    "is_contained",
]

# What the module accepts where it stores a 32- or 64-bit float: anything with __float__ or
# __index__.
_FloatLike: TypeAlias = SupportsFloat | SupportsIndex
# Where it stores an unsigned integer: an int or anything with __index__.
_IntLike: TypeAlias = SupportsIndex
# Where it stores a list of numbers: any sequence, NumPy arrays included (a str is refused).
_FloatSequence: TypeAlias = Sequence[_FloatLike] | NDArray[Any]
# Signal arrays are read in place: one-dimensional, contiguous float32, never converted.
_Signal: TypeAlias = NDArray[np.float32]
_Flag: TypeAlias = bool | np.bool_
_RoiMethod: TypeAlias = (
    Literal["face", "forehead", "upper_body", "upper_body_cropped"]
    | tuple[_FloatLike, _FloatLike, _FloatLike, _FloatLike]
)
_WaveformMode: TypeAlias = Literal["Incremental", "Global"] | tuple[Literal["Windowed"], _FloatLike]

@final
class Session:
    """A thread-safe, stateful session object for processing continuous frame data natively
    across FFI and Wasm."""

    def __new__(cls, config: SessionConfig) -> Session: ...
    def process(self, input: SessionInput, mode: _WaveformMode) -> SessionResult: ...
    def assess(self) -> Assessment: ...
    def reset(self) -> None: ...

@final
class BufferPlanner:
    """Manages the tracking, matching, and lifecycle of video frame buffers across a session."""

    def __new__(cls, config: BufferConfig) -> BufferPlanner: ...
    def evaluate_target(
        self, target_roi: Rect, timestamp: _FloatLike, active_buffers: Sequence[BufferMetadata]
    ) -> BufferAction:
        """Matches a newly detected region against the active buffers: KeepAlive with the id of
        the fresh buffer that overlaps it best when their intersection over union is at least 0.6,
        otherwise Create with the region for a new buffer."""
    def is_ready(
        self, count: _IntLike, mode: InferenceMode, has_state: _Flag = False, flush: _Flag = False
    ) -> bool:
        """Tells whether a buffer holding count frames may run inference: it needs the minimum for
        the engine's state and, in file mode without flush, a full file_max frames."""
    def poll(
        self,
        active_buffers: Sequence[BufferMetadata],
        current_time: _FloatLike,
        mode: InferenceMode,
        has_state: _Flag = False,
        flush: _Flag = False,
    ) -> ExecutionPlan:
        """Plans the next inference: picks the most recently created ready buffer, says how many
        frames to take from it and keep as overlap, and lists the stale and superseded buffers to
        drop."""

@final
class SessionConfig:
    """Configuration for initializing a Quorvanta session."""

    def __new__(
        cls,
        model_name: str,
        supported_vitals: Sequence[str],
        fps_target: _FloatLike,
        input_size: _IntLike,
        n_inputs: _IntLike,
        roi_method: str,
        return_waveforms: Sequence[str] | None = None,
    ) -> SessionConfig: ...
    @property
    def model_name(self) -> str: ...
    @model_name.setter
    def model_name(self, value: str) -> None: ...
    @property
    def supported_vitals(self) -> list[str]: ...
    @supported_vitals.setter
    def supported_vitals(self, value: Sequence[str]) -> None: ...
    @property
    def return_waveforms(self) -> list[str] | None: ...
    @return_waveforms.setter
    def return_waveforms(self, value: Sequence[str] | None) -> None: ...
    @property
    def fps_target(self) -> float: ...
    @fps_target.setter
    def fps_target(self, value: _FloatLike) -> None: ...
    @property
    def input_size(self) -> int: ...
    @input_size.setter
    def input_size(self, value: _IntLike) -> None: ...
    @property
    def n_inputs(self) -> int: ...
    @n_inputs.setter
    def n_inputs(self, value: _IntLike) -> None: ...
    @property
    def roi_method(self) -> str: ...
    @roi_method.setter
    def roi_method(self, value: str) -> None: ...

@final
class SessionInput:
    """The core batch input object submitted to the session engine for processing."""

    def __new__(
        cls,
        face: FaceInput | None,
        signals: dict[str, SignalInput],
        timestamp: _FloatSequence,
    ) -> SessionInput: ...
    @property
    def face(self) -> FaceInput | None: ...
    @face.setter
    def face(self, value: FaceInput | None) -> None: ...
    @property
    def signals(self) -> dict[str, SignalInput]: ...
    @signals.setter
    def signals(self, value: dict[str, SignalInput]) -> None: ...
    @property
    def timestamp(self) -> list[float]: ...
    @timestamp.setter
    def timestamp(self, value: _FloatSequence) -> None: ...

@final
class SignalInput:
    """A generic wrapper for a single physical signal and its corresponding confidence array."""

    def __new__(cls, data: _FloatSequence, confidence: _FloatSequence) -> SignalInput: ...
    @property
    def data(self) -> list[float]: ...
    @data.setter
    def data(self, value: _FloatSequence) -> None: ...
    @property
    def confidence(self) -> list[float]: ...
    @confidence.setter
    def confidence(self, value: _FloatSequence) -> None: ...

@final
class FaceInput:
    """Input payload representing tracked face bounding boxes over a sequence of frames."""

    def __new__(
        cls, coordinates: Sequence[_FloatSequence], confidence: _FloatSequence
    ) -> FaceInput: ...
    @property
    def coordinates(self) -> list[list[float]]: ...
    @coordinates.setter
    def coordinates(self, value: Sequence[_FloatSequence]) -> None: ...
    @property
    def confidence(self) -> list[float]: ...
    @confidence.setter
    def confidence(self, value: _FloatSequence) -> None: ...

@final
class SessionResult:
    """The final payload aggregated from a session processing tick."""

    @property
    def timestamp(self) -> list[float]: ...
    @property
    def face(self) -> FaceResult | None: ...
    @property
    def waveforms(self) -> dict[str, WaveformResult]: ...
    @property
    def vitals(self) -> dict[str, VitalResult]: ...
    @property
    def fps(self) -> float: ...
    @property
    def message(self) -> str: ...

@final
class WaveformResult:
    """Derived continuous waveform data alongside unit metadata."""

    @property
    def data(self) -> list[float]: ...
    @property
    def confidence(self) -> list[float]: ...
    @property
    def unit(self) -> str: ...
    @property
    def note(self) -> str: ...

@final
class VitalResult:
    """Derived scalar physiological value."""

    @property
    def value(self) -> float: ...
    @property
    def confidence(self) -> float: ...
    @property
    def unit(self) -> str: ...
    @property
    def note(self) -> str: ...

@final
class FaceResult:
    """Filtered/smoothed output face coordinates."""

    @property
    def coordinates(self) -> list[list[float]]: ...
    @property
    def confidence(self) -> list[float]: ...
    @property
    def note(self) -> str | None: ...

@final
class Rect:
    """A simple bounding box definition."""

    def __new__(
        cls, x: _FloatLike, y: _FloatLike, width: _FloatLike, height: _FloatLike
    ) -> Rect: ...
    @property
    def x(self) -> float: ...
    @x.setter
    def x(self, value: _FloatLike) -> None: ...
    @property
    def y(self) -> float: ...
    @y.setter
    def y(self, value: _FloatLike) -> None: ...
    @property
    def width(self) -> float: ...
    @width.setter
    def width(self, value: _FloatLike) -> None: ...
    @property
    def height(self) -> float: ...
    @height.setter
    def height(self, value: _FloatLike) -> None: ...
    def __repr__(self) -> str: ...

@final
class InferenceMode:
    """Operational paradigm dictating buffer fill limits."""

    Stream: ClassVar[InferenceMode]
    File: ClassVar[InferenceMode]
    def __int__(self) -> int: ...
    def __repr__(self) -> str: ...
    def __eq__(self, value: object, /) -> bool: ...
    def __ne__(self, value: object, /) -> bool: ...
    def __hash__(self) -> int: ...

@final
class BufferConfig:
    """Capacity constraints and threshold configuration for buffers."""

    @property
    def min_no_state(self) -> int: ...
    @min_no_state.setter
    def min_no_state(self, value: _IntLike) -> None: ...
    @property
    def min_with_state(self) -> int: ...
    @min_with_state.setter
    def min_with_state(self, value: _IntLike) -> None: ...
    @property
    def stream_max(self) -> int: ...
    @stream_max.setter
    def stream_max(self, value: _IntLike) -> None: ...
    @property
    def file_max(self) -> int: ...
    @file_max.setter
    def file_max(self, value: _IntLike) -> None: ...
    @property
    def overlap(self) -> int: ...
    @overlap.setter
    def overlap(self, value: _IntLike) -> None: ...

@final
class BufferActionType:
    """Action to be taken on a target ROI after evaluation."""

    Create: ClassVar[BufferActionType]
    KeepAlive: ClassVar[BufferActionType]
    Ignore: ClassVar[BufferActionType]
    def __int__(self) -> int: ...
    def __repr__(self) -> str: ...
    def __eq__(self, value: object, /) -> bool: ...
    def __ne__(self, value: object, /) -> bool: ...
    def __hash__(self) -> int: ...

@final
class BufferAction:
    """The concrete instruction resulting from evaluating a target."""

    @property
    def action(self) -> BufferActionType: ...
    @action.setter
    def action(self, value: BufferActionType) -> None: ...
    @property
    def matched_id(self) -> str | None: ...
    @matched_id.setter
    def matched_id(self, value: str | None) -> None: ...
    @property
    def roi(self) -> Rect | None: ...
    @roi.setter
    def roi(self, value: Rect | None) -> None: ...

@final
class BufferMetadata:
    """Identifiable state metadata attached to a specific processing buffer."""

    def __new__(
        cls, id: str, roi: Rect, count: _IntLike, created_at: _FloatLike, last_seen: _FloatLike
    ) -> BufferMetadata: ...
    @property
    def id(self) -> str: ...
    @id.setter
    def id(self, value: str) -> None: ...
    @property
    def roi(self) -> Rect: ...
    @roi.setter
    def roi(self, value: Rect) -> None: ...
    @property
    def count(self) -> int: ...
    @count.setter
    def count(self, value: _IntLike) -> None: ...
    @property
    def created_at(self) -> float: ...
    @created_at.setter
    def created_at(self, value: _FloatLike) -> None: ...
    @property
    def last_seen(self) -> float: ...
    @last_seen.setter
    def last_seen(self, value: _FloatLike) -> None: ...

@final
class InferenceCommand:
    """Command returned by the BufferPlanner indicating how many frames to extract."""

    @property
    def buffer_id(self) -> str: ...
    @buffer_id.setter
    def buffer_id(self, value: str) -> None: ...
    @property
    def take_count(self) -> int: ...
    @take_count.setter
    def take_count(self, value: _IntLike) -> None: ...
    @property
    def keep_count(self) -> int: ...
    @keep_count.setter
    def keep_count(self, value: _IntLike) -> None: ...

@final
class ExecutionPlan:
    """Aggregated output from the BufferPlanner dictating next steps for all buffers."""

    @property
    def command(self) -> InferenceCommand | None: ...
    @command.setter
    def command(self, value: InferenceCommand | None) -> None: ...
    @property
    def buffers_to_drop(self) -> list[str]: ...
    @buffers_to_drop.setter
    def buffers_to_drop(self, value: Sequence[str]) -> None: ...

@final
class VitalDisplayMeta:
    """Extracted UI/display properties for a specific vital sign."""

    @property
    def id(self) -> str: ...
    @id.setter
    def id(self, value: str) -> None: ...
    @property
    def display_name(self) -> str: ...
    @display_name.setter
    def display_name(self, value: str) -> None: ...
    @property
    def short_name(self) -> str: ...
    @short_name.setter
    def short_name(self, value: str) -> None: ...
    @property
    def unit(self) -> str: ...
    @unit.setter
    def unit(self, value: str) -> None: ...
    @property
    def color(self) -> str: ...
    @color.setter
    def color(self, value: str) -> None: ...
    @property
    def emoji(self) -> str: ...
    @emoji.setter
    def emoji(self, value: str) -> None: ...
    def __repr__(self) -> str: ...

@final
class Assessment:
    """The checks of a session's latest vitals against its history, by vital id, and the beats of
    its pulse waveform."""

    @property
    def vitals(self) -> dict[str, VitalAssessment]: ...
    @property
    def beats(self) -> Beats: ...


@final
class VitalAssessment:
    """How far one vital can be trusted: the session's value, the value that the checks stand
    behind (the fundamental where the spectrum took a harmonic, the breathing where drift won the
    band, the heart-rate variability of the corrected beats; otherwise the session's value), a
    quality from 0 to 1 measured on the signal itself, and the reasons that lowered it or changed
    the value."""

    @property
    def value(self) -> float: ...
    @property
    def checked_value(self) -> float: ...
    @property
    def quality(self) -> float: ...
    @property
    def reasons(self) -> list[str]: ...

@final
class Beats:
    """Beats of a pulse waveform: their times in seconds, each one's status, and the
    normal-to-normal intervals in milliseconds that heart-rate variability is computed from."""

    @property
    def times(self) -> list[float]: ...
    @property
    def status(self) -> list[BeatStatus]: ...
    @property
    def intervals(self) -> list[float]: ...

@final
class BeatStatus:
    """Normal as detected; Corrected where a missed beat was inserted or an ectopic or misplaced
    one moved; Rejected where an extra beat was left out of the intervals."""

    Normal: ClassVar[BeatStatus]
    Corrected: ClassVar[BeatStatus]
    Rejected: ClassVar[BeatStatus]
    def __int__(self) -> int: ...
    def __repr__(self) -> str: ...
    def __eq__(self, value: object, /) -> bool: ...
    def __ne__(self, value: object, /) -> bool: ...
    def __hash__(self) -> int: ...

def estimate_heart_rate(signal: _Signal, fs: _FloatLike) -> tuple[float, float]:
    """Estimates the heart rate of a pulse signal sampled at fs Hz: the periodogram's strongest
    rate between 40 and 220 per minute, with its confidence, as (rate, confidence)."""

def estimate_hrv_metric(
    signal: _Signal,
    fs: _FloatLike,
    metric_name: str,
    confidence: _Signal,
    rate_hint: _FloatLike | None = None,
) -> tuple[float, float]:
    """Estimates one heart-rate-variability metric of a pulse signal sampled at fs Hz (sdnn,
    rmssd, lfhf, pnn50, sd1sd2 or si, case-insensitive) from its peaks, weighing the per-sample
    confidence, as (value, confidence); rate_hint guides the peak search."""

def find_peaks(
    signal: _Signal,
    fs: _FloatLike,
    refine: _Flag,
    rate_hint: _FloatLike | None = None,
    min_rate: _FloatLike = 40.0,
    max_rate: _FloatLike = 220.0,
    detection_threshold: _FloatLike = 0.45,
    window_cycles: _FloatLike = 2.5,
    max_rate_change: _FloatLike = 1.0,
) -> list[float]:
    """Finds the peaks of a signal sampled at fs Hz whose rate lies between min_rate and
    max_rate per minute, and returns their positions in samples; refine places each between
    samples by a parabola."""

def calculate_roi(
    face: Rect,
    method: _RoiMethod,
    # Detector names are case-insensitive; omitted means "default".
    detector: str = ...,
    container: tuple[_FloatLike, _FloatLike] | None = None,
    force_even: _Flag = False,
) -> Rect:
    """Derives the region of interest to crop from a detected face box. The box is first brought
    into the default detector's framing, then each side moves by the method's fraction of the
    face's size; when both container dimensions are given the region is clipped to them, and
    force_even rounds it to whole pixels with even width and height."""

def get_vital_info(vital_id: str) -> VitalDisplayMeta | None:
    """Looks up the display name, short name, unit, colour and emoji of a vital sign by its
    identifier or one of its aliases; returns nothing for an identifier the registry does not
    know."""

def find_beats(
    signal: _Signal,
    fs: _FloatLike,
    timestamps: _FloatSequence | None = None,
) -> Beats:
    """Finds the beats of a pulse waveform (PPG or arterial pressure) sampled at fs Hz, timed to
    a fraction of a sample and placed by timestamps (one per sample) when given, with each
    beat's status after the correction of missed, extra and ectopic beats and the
    normal-to-normal intervals in ms."""

def extract_pulse(
    red: _Signal,
    green: _Signal,
    blue: _Signal,
    timestamps: _FloatSequence,
    method: Literal["pos", "chrom"] | str = "pos",
) -> SignalInput:
    """Extracts a pulse waveform and its confidence per frame, as a session takes a signal, from
    the mean red, green and blue of a region of skin per frame and the frames' timestamps in
    seconds, by the plane orthogonal to the skin (method 'pos', Wang et al. 2017) or by
    chrominance (method 'chrom', de Haan and Jeanne 2013); the waveform rises with the blood
    volume, as a finger PPG does."""

def extract_respiration(reference_rows: _Signal, frame_rows: _Signal) -> SignalInput:
    """Extracts a respiration waveform and its confidence per frame, as a session takes a signal,
    from the vertical motion of a region: each frame's row profile (the mean brightness of each of
    the region's rows, top first; frames one after another in frame_rows) is matched with the
    reference profile, and the waveform is how far the frame's content rose, in rows; the
    confidence is how alike the matched profiles are."""

class _RecordedSignal(TypedDict):
    data: NDArray[np.float32]
    confidence: NDArray[np.float32]

class _RecordedFace(TypedDict):
    coordinates: NDArray[np.float32]  # one row [x, y, w, h] per frame
    confidence: NDArray[np.float32]

class _Recording(TypedDict):
    timestamp: NDArray[np.float64]
    signals: dict[str, _RecordedSignal]
    face: _RecordedFace | None
    warnings: list[str]
    batches: list[SessionInput]

# A file's path, or a pandas DataFrame (anything with to_csv and columns).
def read_recording(
    source: str | PathLike[str] | PathLike[bytes] | bytes | Any,
    fs: _FloatLike | None = None,
    columns: dict[str, str] | None = None,
    time_unit: Literal["s", "ms", "us"] = "s",
    batch_frames: _IntLike = 30,
    resample: _FloatLike | None = None,
) -> _Recording:
    """Reads a recording of per-frame model outputs (a CSV or JSON file's path, or a pandas
    DataFrame) as the quorvanta command does, into a dict of NumPy arrays (timestamp, signals,
    face), the reader's warnings and batches of batch_frames frames ready for Session.process.
    fs times a file without timestamps, columns maps other column names to signals or to the
    timestamps, time_unit is the timestamps' unit, resample a frame rate to resample to; a file
    that cannot be read raises ValueError with the command's message."""

def compute_buffer_config(config: SessionConfig) -> BufferConfig:
    """Sizes the inference buffers for the model's input size and frames per inference: the frames
    a buffer needs before inference with and without carried state, the most frames one inference
    takes in stream and in file mode, and the frames kept as overlap."""

def compute_iou(a: Rect, b: Rect) -> float:
    """Returns the intersection over union of two rectangles: 0 when they do not overlap, 1 when
    they coincide."""

def is_contained(inner: Rect, outer: Rect, min_overlap_pct: _FloatLike) -> bool:
    """Tells whether the part of inner that lies inside outer spans at least min_overlap_pct of
    inner's width and of its height; min_overlap_pct is a fraction (0.8 means 80 per cent)."""
