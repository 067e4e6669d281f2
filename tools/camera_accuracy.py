# SPDX-License-Identifier: Apache-2.0
"""How close the camera host (examples/camera_vitals.py) comes to the reference rates on synthetic
face videos (tools/make_face_video.py): 30 s videos whose pulse and breathing start at 0, 60, 120,
180 and 240 s of the resting recording, each measured by POS and by CHROM. Once a second the
session's heart rate (from 10 s on) and respiratory rate (from 20 s on) and the values its checks
stand behind are compared with the reference rates of the recording's ECG (10 s windows) and
breathing belt (30 s windows) at that second; the table gives the mean absolute errors per minute
and the number of seconds compared.

    PYTHONPATH=build/release/python /usr/bin/python3 tools/camera_accuracy.py
"""

import importlib.util
import json
import subprocess
import sys
import tempfile
from pathlib import Path

import cv2
import numpy as np

ROOT = Path(__file__).resolve().parents[1]
_spec = importlib.util.spec_from_file_location("camera_vitals", ROOT / "examples/camera_vitals.py")
camera = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(camera)

STARTS = (0, 60, 120, 180, 240)
SECONDS = 30
FIRST_SECOND = {"heart_rate": 10, "respiratory_rate": 20}


def measured(video, method):
    """(vital, second, session's value, checked value) once a second."""
    capture = cv2.VideoCapture(str(video))
    host = camera.Host(capture.get(cv2.CAP_PROP_FPS), method, debug=False)
    rows = []

    def each_second(t):
        if host.result is None:
            return
        checks = host.session.assess().vitals
        rows.extend((vital, round(t), estimate.value, checks[vital].checked_value)
                    for vital, estimate in host.result.vitals.items())

    camera.follow(capture, host, False, None, each_second)
    return rows


def main():
    errors = {}  # (method, vital) -> [(session error, checked error)]
    with tempfile.TemporaryDirectory() as folder:
        for start in STARTS:
            video = Path(folder) / str(start)
            subprocess.run([sys.executable, ROOT / "tools/make_face_video.py", video, "--start",
                            str(start), "--seconds", str(SECONDS)], check=True, capture_output=True)
            truth = json.loads((video / "face.json").read_text())
            for method in ("pos", "chrom"):
                for vital, second, value, checked in measured(video / "face.avi", method):
                    reference = dict(truth[vital]).get(second)
                    if reference is not None and second >= FIRST_SECOND[vital]:
                        errors.setdefault((method, vital), []).append(
                            (abs(value - reference), abs(checked - reference)))
    print("| method | HR per min: session / checked (seconds) | RR per min: session / checked (seconds) |")
    print("|---|---|---|")
    for method in ("pos", "chrom"):
        cells = []
        for vital in FIRST_SECOND:
            pairs = np.array(errors.get((method, vital), [(np.nan, np.nan)]))
            cells.append(f"{pairs[:, 0].mean():.2f} / {pairs[:, 1].mean():.2f} ({len(pairs)})")
        print(f"| {method} | " + " | ".join(cells) + " |")


if __name__ == "__main__":
    main()
