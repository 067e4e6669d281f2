# SPDX-License-Identifier: Apache-2.0
"""Vital signs from a video file or a camera with this library and OpenCV, no trained model:

    face box (OpenCV's Haar cascade) -> region (calculate_roi) -> buffer (BufferPlanner)
    -> pulse from the region's skin colour (extract_pulse) -> Session

Every frame, the face is found and the region to measure derived from it; the planner
matches the region with the open buffers (a face that moves a little keeps its buffer and its
region, one that moves away starts a new one). Once a second the planner picks the buffer to run,
how many of its frames to take and which to keep as overlap for the next run, and which buffers to
drop; the run turns the mean colour of the skin in the buffer's region into a pulse and the session
takes it. Prints the heart rate once a second, and at the end one line per vital:
"VITAL VALUE UNIT (checked CHECKED, quality QUALITY)".

    python3 examples/camera_vitals.py VIDEO [--method pos|chrom] [--debug]
    python3 examples/camera_vitals.py --camera 0 [--seconds 60]

--debug writes every decision to stderr: the face, region and planner action of each frame and
each plan. Run it with Debian's Python (python3-opencv, opencv-data).
"""

import argparse
import math
import sys
import time
from dataclasses import dataclass, field
from pathlib import Path

import cv2
import numpy as np

import quorvanta_core as qc

CASCADE = "/usr/share/opencv4/haarcascades/haarcascade_frontalface_default.xml"
DETECTION_WIDTH = 320  # faces are found on a copy at most this wide
# Skin in YCrCb: the region's pixels outside these bounds (eyes, brows, hair, background) are left
# out of its mean colour.
SKIN_LOW, SKIN_HIGH = (40, 138, 77), (240, 173, 127)
MIN_SKIN_PIXELS = 50
# What the extractor asks of its buffers: 1.6 s of frames for one window of its projection, as a
# model whose input is 72 pixels square would be sized.
INPUT_SIZE = 72
WINDOW_SECONDS = 1.6
POLL_SECONDS = 1.0
VITALS = ["heart_rate", "respiratory_rate"]


class FaceFinder:
    def __init__(self):
        self.cascade = cv2.CascadeClassifier(CASCADE)
        if self.cascade.empty():
            sys.exit(f"camera_vitals: cannot read the face detector {CASCADE}: install opencv-data")

    def surest_face(self, frame):
        """The face in a BGR frame that the most detections agree on, as a Rect, or None."""
        scale = min(1.0, DETECTION_WIDTH / frame.shape[1])
        small = cv2.resize(frame, None, fx=scale, fy=scale, interpolation=cv2.INTER_AREA)
        grey = cv2.equalizeHist(cv2.cvtColor(small, cv2.COLOR_BGR2GRAY))
        faces, detections = self.cascade.detectMultiScale2(grey, 1.1, 5, minSize=(40, 40))
        if len(faces) == 0:
            return None
        x, y, w, h = faces[np.argmax(detections)] / scale
        return qc.Rect(float(x), float(y), float(w), float(h))


def measure(frame, region):
    """What the extractors read from a BGR frame inside `region` (which the planner keeps inside
    the frame): the mean red, green and blue of its skin pixels (NaNs when it holds too little
    skin) and its row profile, the mean brightness of each row."""
    x, y = int(region.x), int(region.y)
    crop = frame[y:y + int(region.height), x:x + int(region.width)]
    profile = cv2.cvtColor(crop, cv2.COLOR_BGR2GRAY).mean(axis=1, dtype=np.float32)
    skin = cv2.inRange(cv2.cvtColor(crop, cv2.COLOR_BGR2YCrCb), SKIN_LOW, SKIN_HIGH) > 0
    if np.count_nonzero(skin) < MIN_SKIN_PIXELS:
        return (math.nan,) * 3, profile
    blue, green, red = crop[skin].mean(axis=0)
    return (red, green, blue), profile


@dataclass
class Buffer:
    """One buffer of frames: the planner's view of it and, per frame, its time, the region's mean
    skin colour and row profile, and the face. The first frame's profile is the reference that
    every later one's rise is measured against."""
    meta: qc.BufferMetadata
    times: list = field(default_factory=list)
    colours: list = field(default_factory=list)
    profiles: list = field(default_factory=list)
    faces: list = field(default_factory=list)
    reference: np.ndarray = None

    def add(self, t, frame, face):
        colour, profile = measure(frame, self.meta.roi)
        if self.reference is None:
            self.reference = profile
        self.times.append(t)
        self.colours.append(colour)
        self.profiles.append(profile)
        self.faces.append([face.x, face.y, face.width, face.height])
        self.meta.count, self.meta.last_seen = len(self.times), t

    def take(self, count, keep):
        """The first `count` frames, keeping the last `keep` of them for the next run: their
        times, colour channels, profiles one after another, and faces."""
        colours = np.array(self.colours[:count], np.float32)
        taken = (self.times[:count], [np.ascontiguousarray(channel) for channel in colours.T],
                 np.concatenate(self.profiles[:count]), self.faces[:count])
        for kept in (self.times, self.colours, self.profiles, self.faces):
            del kept[:count - keep]
        self.meta.count = len(self.times)
        return taken


def rect_text(rect):
    return f"{rect.x:.0f},{rect.y:.0f},{rect.width:.0f},{rect.height:.0f}"


class Host:
    def __init__(self, fps, method, debug):
        config = qc.SessionConfig("camera-vitals", VITALS, fps, INPUT_SIZE,
                                  round(WINDOW_SECONDS * fps), "face")
        self.session = qc.Session(config)
        self.planner = qc.BufferPlanner(qc.compute_buffer_config(config))
        self.method, self.debug = method, debug
        self.buffers = {}
        self.created = 0
        self.result = None

    def log(self, text):
        if self.debug:
            print(text, file=sys.stderr)

    def add_frame(self, index, t, frame, face):
        """Matches the frame's region with the buffers and adds the frame to the one it joins."""
        if face is None:
            self.log(f"frame {index} t={t:.3f} no face")
            return
        height, width = frame.shape[:2]
        region = qc.calculate_roi(face, "face", container=(width, height), force_even=True)
        metas = [buffer.meta for buffer in self.buffers.values()]
        action = self.planner.evaluate_target(region, t, metas)
        if action.action == qc.BufferActionType.Create:
            self.created += 1
            buffer_id = f"b{self.created}"
            self.buffers[buffer_id] = Buffer(qc.BufferMetadata(buffer_id, action.roi, 0, t, t))
        elif action.action == qc.BufferActionType.KeepAlive:
            buffer_id = action.matched_id
        else:
            self.log(f"frame {index} t={t:.3f} face {rect_text(face)} Ignore")
            return
        buffer = self.buffers[buffer_id]
        buffer.add(t, frame, face)
        self.log(f"frame {index} t={t:.3f} face {rect_text(face)} region {rect_text(region)} "
                 f"{action.action!r} {buffer_id}")

    def poll(self, t, flush=False):
        """Runs the buffer the planner picks and drops those it lets go."""
        metas = [buffer.meta for buffer in self.buffers.values()]
        plan = self.planner.poll(metas, t, qc.InferenceMode.Stream, flush=flush)
        command = plan.command
        ran = (f"run {command.buffer_id} take {command.take_count} keep {command.keep_count}"
               if command else "wait")
        self.log(f"poll t={t:.3f} {ran} drop {','.join(plan.buffers_to_drop) or '-'}")
        if command:
            self.run(self.buffers[command.buffer_id], command.take_count, command.keep_count)
        for buffer_id in plan.buffers_to_drop:
            self.buffers.pop(buffer_id, None)

    def run(self, buffer, take, keep):
        times, (red, green, blue), profiles, faces = buffer.take(take, keep)
        signals = {"ppg_waveform": qc.extract_pulse(red, green, blue, times, self.method),
                   "respiratory_waveform": qc.extract_respiration(buffer.reference, profiles)}
        batch = qc.SessionInput(qc.FaceInput(faces, [1.0] * len(faces)), signals, times)
        self.result = self.session.process(batch, "Incremental")


def frames_of(capture, live, seconds):
    """(index, timestamp in seconds, BGR frame) of each frame: a file's frames at its frame rate,
    a camera's as they arrive."""
    fps = capture.get(cv2.CAP_PROP_FPS) or 30.0
    start = time.monotonic()
    index = 0
    while True:
        ok, frame = capture.read()
        t = time.monotonic() - start if live else index / fps
        if not ok or (seconds is not None and t > seconds):
            return
        yield index, t, frame
        index += 1


def follow(capture, host, live, seconds, each_second):
    """Hands every frame to the host with the face found in it, polls the planner once a second
    and then calls each_second(t), and polls once more at the end, flushing."""
    finder = FaceFinder()
    t, next_poll = 0.0, POLL_SECONDS
    for index, t, frame in frames_of(capture, live, seconds):
        host.add_frame(index, t, frame, finder.surest_face(frame))
        if t >= next_poll:
            host.poll(t)
            each_second(t)
            next_poll += POLL_SECONDS
    host.poll(t, flush=True)


def print_rates(t, result):
    vitals = result.vitals if result else {}
    shown = [f"{vital} {vitals[vital].value:.1f} {vitals[vital].unit} "
             f"(confidence {vitals[vital].confidence:.2f})" for vital in VITALS if vital in vitals]
    print(f"t={t:5.1f} s  " + ("  ".join(shown) or "collecting frames"), flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    source = parser.add_mutually_exclusive_group(required=True)
    source.add_argument("video", nargs="?", help="a video file OpenCV reads (.avi, .mp4, .y4m)")
    source.add_argument("--camera", type=int, metavar="INDEX", help="a camera, 0 for the first")
    parser.add_argument("--method", choices=["pos", "chrom"], default="pos")
    parser.add_argument("--seconds", type=float, help="stop after this many seconds")
    parser.add_argument("--debug", action="store_true", help="log every decision on stderr")
    args = parser.parse_args()

    live = args.camera is not None
    if not live and not Path(args.video).is_file():
        sys.exit(f"camera_vitals: no such file: {args.video}")
    capture = cv2.VideoCapture(args.camera if live else args.video)
    if not capture.isOpened():
        sys.exit(f"camera_vitals: cannot open {'camera ' + str(args.camera) if live else args.video}")
    host = Host(capture.get(cv2.CAP_PROP_FPS) or 30.0, args.method, args.debug)
    follow(capture, host, live, args.seconds, lambda t: print_rates(t, host.result))
    if host.result is None:
        sys.exit("camera_vitals: no face was found long enough to measure")
    checks = host.session.assess().vitals
    for vital, estimate in sorted(host.result.vitals.items()):
        check = checks[vital]
        print(f"{vital} {estimate.value:.1f} {estimate.unit} "
              f"(checked {check.checked_value:.1f}, quality {check.quality:.2f})")


if __name__ == "__main__":
    main()
