// SPDX-License-Identifier: Apache-2.0
// TypeScript declarations of the quorvanta_core ES module.

/** Where a sequence of 32-bit floats is taken: a Float32Array or an array of numbers. */
export type Float32Sequence = Float32Array | readonly number[];
/** Where a sequence of 64-bit floats is taken: a Float64Array or an array of numbers. */
export type Float64Sequence = Float64Array | readonly number[];

/** A bounding box in pixels; x and y are the left and top edges. */
export interface Rect {
  x: number;
  y: number;
  width: number;
  height: number;
}

/** Configuration for initializing a Quorvanta session. */
export interface SessionConfig {
  modelName: string;
  /** Vital and waveform ids (or aliases) to estimate; unknown ids are ignored. */
  supportedVitals: readonly string[];
  /** Waveform ids to return cleaned for display; absent or null returns none. */
  returnWaveforms?: readonly string[] | null;
  /** Expected frames per second; the history holds fpsTarget × 60 frames. */
  fpsTarget: number;
  /** Model input edge in pixels (an integer). */
  inputSize: number;
  /** Frames per inference (an integer). */
  nInputs: number;
  roiMethod: string;
}

/** A generic wrapper for a single physical signal and its corresponding confidence array. */
export interface SignalInput {
  data: Float32Sequence;
  confidence: Float32Sequence;
}

/** Input payload representing tracked face bounding boxes over a sequence of frames. */
export interface FaceInput {
  /** One [x, y, width, height] per frame. */
  coordinates: readonly Float32Sequence[];
  confidence: Float32Sequence;
}

/** The core batch input object submitted to the session engine for processing. */
export interface SessionInput {
  face?: FaceInput | null;
  /** Signals by id ("ppg_waveform", "respiratory_waveform", "spo2", ...). */
  signals: Readonly<Record<string, SignalInput>>;
  /** Frame times in seconds. */
  timestamp: Float64Sequence;
}

/** Derived scalar physiological value. */
export interface VitalResult {
  value: number;
  confidence: number;
  unit: string;
  note: string;
}

/** Derived continuous waveform data alongside unit metadata. */
export interface WaveformResult {
  data: Float32Array;
  confidence: Float32Array;
  unit: string;
  note: string;
}

/** Filtered/smoothed output face coordinates. */
export interface FaceResult {
  coordinates: Float32Array[];
  confidence: Float32Array;
  note: string | null;
}

/** The final payload aggregated from a session processing tick. */
export interface SessionResult {
  timestamp: Float64Array;
  face: FaceResult | null;
  /** Waveforms by id; entries appear as they can be produced. */
  waveforms: Record<string, WaveformResult>;
  /** Vitals by id; a vital that cannot be estimated yet is absent. */
  vitals: Record<string, VitalResult>;
  fps: number;
  message: string;
}

/** Which frames a result returns: only new ones, a trailing window in seconds, or all. */
export type WaveformMode = "Incremental" | "Global" | { windowed: number };

/** Fractions of the face's width (left, right) and height (top, bottom) to move each side out. */
export interface RoiOffsets {
  left: number;
  top: number;
  right: number;
  bottom: number;
}

export type RoiMethod = "face" | "forehead" | "upper_body" | "upper_body_cropped" | RoiOffsets;

/** Extracted UI/display properties for a specific vital sign. */
export interface VitalDisplayMeta {
  id: string;
  displayName: string;
  shortName: string;
  unit: string;
  color: string;
  emoji: string;
}

export type InferenceMode = "Stream" | "File";

/** Capacity constraints and threshold configuration for buffers. */
export interface BufferConfig {
  minNoState: number;
  minWithState: number;
  streamMax: number;
  fileMax: number;
  overlap: number;
}

export type BufferActionType = "Create" | "KeepAlive" | "Ignore";

/** The concrete instruction resulting from evaluating a target. */
export interface BufferAction {
  action: BufferActionType;
  matchedId: string | null;
  roi: Rect | null;
}

/** Identifiable state metadata attached to a specific processing buffer. */
export interface BufferMetadata {
  id: string;
  roi: Rect;
  count: number;
  createdAt: number;
  lastSeen: number;
}

/** Command returned by the BufferPlanner indicating how many frames to extract. */
export interface InferenceCommand {
  bufferId: string;
  takeCount: number;
  keepCount: number;
}

/** Aggregated output from the BufferPlanner dictating next steps for all buffers. */
export interface ExecutionPlan {
  command: InferenceCommand | null;
  buffersToDrop: string[];
}

/**
 * Normal as detected; Corrected where a missed beat was inserted or an ectopic or misplaced one
 * moved; Rejected where an extra beat was left out of the intervals.
 */
export type BeatStatus = "Normal" | "Corrected" | "Rejected";

/**
 * How far one vital can be trusted: the session's value, the value that the checks stand behind
 * (the fundamental where the spectrum took a harmonic, the breathing where drift won the band,
 * the heart-rate variability of the corrected beats; otherwise the session's value), a quality
 * from 0 to 1 measured on the signal itself, and the reasons that lowered it or changed the value.
 */
export interface VitalAssessment {
  value: number;
  checkedValue: number;
  quality: number;
  /** Codes: "harmonic", "drift", "motion", "flat", "clipped", "few_beats", "irregular", "disagree". */
  reasons: string[];
}

/**
 * Beats of a pulse waveform: their times in seconds, each one's status, and the normal-to-normal
 * intervals in milliseconds that heart-rate variability is computed from.
 */
export interface Beats {
  times: Float64Array;
  status: BeatStatus[];
  intervals: Float32Array;
}

/**
 * The checks of a session's latest vitals against its history, by vital id, and the beats of its
 * pulse waveform.
 */
export interface Assessment {
  vitals: Record<string, VitalAssessment>;
  beats: Beats;
}

/**
 * A native object: call delete() when done with it; afterwards every method throws. A delete()
 * during one of the object's own calls (from a getter of an argument) takes effect when that call
 * returns.
 */
interface NativeObject {
  delete(): void;
  isDeleted(): boolean;
}

/**
 * A thread-safe, stateful session object for processing continuous frame data natively across
 * FFI and Wasm.
 */
export interface Session extends NativeObject {
  process(input: SessionInput, mode: WaveformMode): SessionResult;
  /** Checks the vitals of the last processed batch against the history; changes nothing. */
  assess(): Assessment;
  reset(): void;
}

/** Matches face regions to inference buffers and schedules inference over them. */
export interface BufferPlanner extends NativeObject {
  evaluateTarget(
    targetRoi: Rect,
    timestamp: number,
    activeBuffers: readonly BufferMetadata[],
  ): BufferAction;
  isReady(count: number, mode: InferenceMode, hasState: boolean, flush: boolean): boolean;
  poll(
    activeBuffers: readonly BufferMetadata[],
    currentTime: number,
    mode: InferenceMode,
    hasState: boolean,
    flush: boolean,
  ): ExecutionPlan;
}

export interface PeakOptions {
  rateHint?: number | null;
  /** Default 40 per minute. */
  minRate?: number;
  /** Default 220 per minute. */
  maxRate?: number;
  /** Default 0.45. */
  detectionThreshold?: number;
  /** Default 2.5. */
  windowCycles?: number;
  /** Default 1.0. */
  maxRateChange?: number;
}

export interface RoiOptions {
  /** "default" (when absent), or "apple_vision" ("applevision", "vision"), in any case. */
  detector?: string;
  /** The frame to clip the region to. */
  container?: { width: number; height: number } | null;
  /** Round to whole pixels with even width and height. */
  forceEven?: boolean;
}

/** An internal fault of the library: a broken invariant, never a usage error. */
export class InternalFault extends Error {}

/** The loaded module. */
export interface QuorvantaCore {
  Session: new (config: SessionConfig) => Session;
  BufferPlanner: new (config: BufferConfig) => BufferPlanner;
  InternalFault: typeof InternalFault;
  /** The periodogram's strongest rate between 40 and 220 per minute, with its confidence. */
  estimateHeartRate(signal: Float32Sequence, fs: number): { rate: number; confidence: number };
  /** One heart-rate-variability metric: sdnn, rmssd, lfhf, pnn50, sd1sd2 or si (any case, or
   *  their hrv_ ids and stress_index). */
  estimateHrvMetric(
    signal: Float32Sequence,
    fs: number,
    metricName: string,
    confidence: Float32Sequence,
    rateHint?: number | null,
  ): { value: number; confidence: number };
  /** Peak positions in samples, fractional where `refine` moved them. */
  findPeaks(signal: Float32Sequence, fs: number, refine: boolean, options?: PeakOptions): Float32Array;
  /** The beats of a pulse waveform, timed to a fraction of a sample (placed by `timestamps`, one
   *  per sample, or at sample / fs), with missed, extra and ectopic beats corrected. */
  findBeats(signal: Float32Sequence, fs: number, timestamps?: Float64Sequence | null): Beats;
  /** A pulse waveform (rising with the blood volume, as a finger PPG does) and its confidence per
   *  frame, ready for a session's `signals`, from the mean red, green and blue of a region of skin
   *  per frame and the frames' timestamps in seconds: "pos" (the plane orthogonal to the skin,
   *  the default) or "chrom" (chrominance), in any case. */
  extractPulse(red: Float32Sequence, green: Float32Sequence, blue: Float32Sequence,
               timestamps: Float64Sequence, method?: "pos" | "chrom" | string | null): SignalInput;
  /** How far a region's content rose in each frame against a reference frame, in rows, from the
   * region's row profiles (the mean brightness of each row, top first; frameRows holds one profile
   * per frame, one after another), with how alike the profiles are as the confidence. */
  extractRespiration(referenceRows: Float32Sequence, frameRows: Float32Sequence): SignalInput;
  calculateRoi(face: Rect, method: RoiMethod, options?: RoiOptions): Rect;
  getVitalInfo(vitalId: string): VitalDisplayMeta | null;
  /** The registry's canonical vital and waveform ids. */
  vitalIds(): string[];
  computeIou(a: Rect, b: Rect): number;
  isContained(inner: Rect, outer: Rect, minOverlap: number): boolean;
  computeBufferConfig(config: SessionConfig): BufferConfig;
  /** Each record's field names, as the module reads and writes them. */
  recordFields(): Record<string, string[]>;
  /** Bytes the module's allocator holds for live objects, for finding leaks. */
  allocatedBytes(): number;
}

export interface LoadOptions {
  /** Where quorvanta_core_wasm.wasm is served from, as (file name, loader's folder) => URL. */
  locateFile?: (path: string, prefix: string) => string;
  /** The .wasm bytes, when the page has them already. */
  wasmBinary?: ArrayBuffer | Uint8Array;
}

/** Loads the WebAssembly module; resolves to its API. */
export default function loadQuorvantaCore(options?: LoadOptions): Promise<QuorvantaCore>;
