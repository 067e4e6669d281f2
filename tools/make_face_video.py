# SPDX-License-Identifier: Apache-2.0
"""Render a synthetic face video with a known pulse, for testing camera hosts.

The face is scikit-image's astronaut photograph (Eileen Collins, NASA: public domain), which no
one can mistake for a recording of a person. Its skin pixels take the colour change of a real
finger pulse: the 30 fps pulse and respiration that data/accuracy/nk_rest5.npz holds from
NeuroKit2's resting recording (MIT licence), so the rate varies as a real one does. Skin reflects
less light as it holds more blood, most of all green: each channel falls by its share of
BLOOD_SIGNATURE times the pulse. The whole picture then moves up and down with the breathing,
sways as a head does, and is lit by a light that drifts and flickers; sensor noise is added last.

Run from the repository root with Debian's Python:

    /usr/bin/python3 tools/make_face_video.py OUTPUT_DIR [--seconds 20] [--start 60] [--fps 30]

It writes OUTPUT_DIR/face.y4m (uncompressed I420, what Chromium's fake camera plays),
OUTPUT_DIR/face.avi (Motion JPEG) and OUTPUT_DIR/face.json: what was rendered in, with the
reference heart rate (10 s windows) and respiratory rate (30 s windows) of the recording, from its
ECG and breathing belt, by second of the video. The noise has a fixed seed: every run writes the
same files.
"""

import argparse
import json
from pathlib import Path

import cv2
import numpy as np
import skimage.data

SOURCE = Path(__file__).resolve().parents[1] / "data/accuracy/nk_rest5.npz"
SOURCE_FPS = 30.0
SIZE = (320, 240)  # width, height
# The part of the 512 x 512 photograph shown, scaled to SIZE: head and shoulders, the face in the
# middle, where a page's guide box asks for it.
CROP = (74, 1, 300, 225)  # x, y, width, height
# Where the skin that carries the pulse is, in the scaled picture: the face and neck, an ellipse
# (centre x, y and half axes) that leaves out the hair of the same colour.
SKIN_ELLIPSE = ((161, 140), (48, 67))
# Peak-to-peak fall of red, green and blue over a beat, as a share of their value: about 1 % in
# green, the size of a resting pulse in daylight; the ratios are blood's absorption signature.
BLOOD_SIGNATURE = np.array([0.0043, 0.0100, 0.0069], np.float32)
BREATHING_PX = 1.5  # vertical movement per standard deviation of the respiration
SWAY_PX = (4.0, 1.5)  # horizontal and vertical head sway, at 0.07 and 0.045 Hz
LIGHT_DRIFT = 0.04  # the light brightens by 4 % over the video
LIGHT_FLICKER = 0.003  # frame-to-frame flicker, standard deviation
SENSOR_NOISE = 3.0  # standard deviation in 8-bit levels
SEED = 20261207


def scene():
    """The photograph's crop at SIZE as float RGB, and the weight of each pixel as skin (0 to 1)."""
    x, y, w, h = CROP
    image = cv2.resize(skimage.data.astronaut()[y:y + h, x:x + w], SIZE,
                       interpolation=cv2.INTER_AREA)
    ycrcb = cv2.cvtColor(image, cv2.COLOR_RGB2YCrCb)
    skin = cv2.inRange(ycrcb, (40, 138, 77), (240, 173, 127))
    face = cv2.ellipse(np.zeros_like(skin), *SKIN_ELLIPSE, 0, 0, 360, 255, -1)
    skin = (skin & face).astype(np.float32) / 255
    return image.astype(np.float32), cv2.GaussianBlur(skin, (5, 5), 0)


def standardised(values):
    return (values - values.mean()) / values.std()


def motion(t, respiration):
    """The picture's (dx, dy) offset in pixels per frame: head sway plus breathing (up on
    inhalation)."""
    dx = SWAY_PX[0] * np.sin(2 * np.pi * 0.07 * t)
    dy = SWAY_PX[1] * np.sin(2 * np.pi * 0.045 * t + 1.0) - BREATHING_PX * respiration
    return dx, dy


def render(image, skin, pulse, light, shift, rng):
    """One frame, uint8 RGB."""
    frame = image * (1 - skin[..., None] * BLOOD_SIGNATURE * pulse) * light
    moved = cv2.warpAffine(frame, np.float32([[1, 0, shift[0]], [0, 1, shift[1]]]), SIZE,
                           flags=cv2.INTER_LINEAR, borderMode=cv2.BORDER_REPLICATE)
    noisy = moved + rng.normal(0, SENSOR_NOISE, moved.shape).astype(np.float32)
    return np.clip(np.rint(noisy), 0, 255).astype(np.uint8)


def reference_by_second(windows, start, seconds):
    """[second of the video, value] for the reference windows ending inside the video."""
    return [[round(end - start), value] for end, value in windows if start < end <= start + seconds]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("output_dir", type=Path)
    parser.add_argument("--seconds", type=float, default=20.0)
    parser.add_argument("--start", type=float, default=60.0,
                        help="where in the 300 s recording the video's pulse begins, in seconds")
    parser.add_argument("--fps", type=float, default=30.0)
    args = parser.parse_args()

    with np.load(SOURCE) as recording:
        ppg, resp = recording["ppg_waveform"], recording["respiratory_waveform"]
        heart, breathing = recording["heart_rate"], recording["respiratory_rate"]
    frames = int(round(args.seconds * args.fps))
    t = np.arange(frames) / args.fps
    source_t = args.start + t
    if source_t[-1] * SOURCE_FPS >= ppg.size - 1:
        parser.error(f"the recording has {ppg.size / SOURCE_FPS:.0f} s: --start plus --seconds "
                     "must stay inside it")
    grid = np.arange(ppg.size) / SOURCE_FPS
    # The pulse scaled so that its 5th to 95th percentile span is 1: a beat's full swing.
    pulse = np.interp(source_t, grid, ppg)
    pulse = (pulse - np.median(pulse)) / np.subtract(*np.percentile(pulse, [95, 5]))
    respiration = standardised(np.interp(source_t, grid, resp))
    rng = np.random.default_rng(SEED)
    light = 1 + LIGHT_DRIFT * t / args.seconds + rng.normal(0, LIGHT_FLICKER, frames)
    dx, dy = motion(t, respiration)

    image, skin = scene()
    args.output_dir.mkdir(parents=True, exist_ok=True)
    width, height = SIZE
    rate = f"{round(args.fps * 1000)}:1000"
    writer = cv2.VideoWriter(str(args.output_dir / "face.avi"), cv2.VideoWriter_fourcc(*"MJPG"),
                             args.fps, SIZE)
    writer.set(cv2.VIDEOWRITER_PROP_QUALITY, 95)
    with open(args.output_dir / "face.y4m", "wb") as y4m:
        y4m.write(f"YUV4MPEG2 W{width} H{height} F{rate} Ip A1:1 C420jpeg\n".encode())
        for i in range(frames):
            frame = render(image, skin, pulse[i], light[i], (dx[i], dy[i]), rng)
            y4m.write(b"FRAME\n" + cv2.cvtColor(frame, cv2.COLOR_RGB2YUV_I420).tobytes())
            writer.write(cv2.cvtColor(frame, cv2.COLOR_RGB2BGR))
    writer.release()

    truth = {
        "fps": args.fps, "frames": frames, "size": list(SIZE),
        "source": f"{SOURCE.relative_to(SOURCE.parents[2])} from {args.start:g} s",
        "heart_rate": reference_by_second(heart.tolist(), args.start, args.seconds),
        "respiratory_rate": reference_by_second(breathing.tolist(), args.start, args.seconds),
        "pulse": pulse.round(4).tolist(),
        "offset": [dx.round(3).tolist(), dy.round(3).tolist()],
    }
    (args.output_dir / "face.json").write_text(json.dumps(truth) + "\n", "utf-8")
    print(f"{frames} frames of {width} x {height} at {args.fps:g} fps in {args.output_dir}/face.y4m "
          f"and face.avi; the reference heart rate ends at {truth['heart_rate'][-1][1]:.1f} bpm")


if __name__ == "__main__":
    main()
