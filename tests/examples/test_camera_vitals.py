# SPDX-License-Identifier: Apache-2.0
"""examples/camera_vitals.py on the synthetic face video that tools/make_face_video.py renders: the
heart and respiratory rates at the end are within 3 per minute of the reference rates of the pulse
and breathing rendered in, and the debug log shows the flow: each region derived from its face by
calculate_roi, one buffer created and kept alive while the face sways, runs once a second taking
what the planner allows and keeping the overlap."""

import json
import re
import subprocess
import sys
from pathlib import Path

import pytest

import quorvanta_core as qc

ROOT = Path(__file__).resolve().parents[2]
FRAME = re.compile(r"frame (\d+) t=\S+ face (\S+) region (\S+) BufferActionType\.(\w+) (\w+)$")
POLL = re.compile(r"poll t=\S+ (?:run (\w+) take (\d+) keep (\d+)|wait) drop (\S+)$")


@pytest.fixture(scope="module")
def video(tmp_path_factory):
    folder = tmp_path_factory.mktemp("video")
    subprocess.run([sys.executable, ROOT / "tools/make_face_video.py", folder], check=True,
                   capture_output=True)
    return folder


def sides(text):
    return tuple(map(float, text.split(",")))


@pytest.mark.parametrize("file, method", [("face.avi", "pos"), ("face.y4m", "chrom")])
def test_the_host_follows_the_rendered_pulse_through_the_planner(video, file, method):
    result = subprocess.run([sys.executable, ROOT / "examples/camera_vitals.py", video / file,
                             "--method", method, "--debug"], capture_output=True, text=True,
                            check=True)
    truth = json.loads((video / "face.json").read_text())
    ending = dict(line.split()[:2] for line in result.stdout.splitlines()[-2:])
    for vital in ("heart_rate", "respiratory_rate"):
        assert abs(float(ending[vital]) - truth[vital][-1][1]) <= 3, vital

    frames = [FRAME.match(line) for line in result.stderr.splitlines() if line.startswith("frame")]
    assert len(frames) == truth["frames"] and all(frames)
    width, height = truth["size"]
    for match in frames[::50]:
        region = qc.calculate_roi(qc.Rect(*sides(match[2])), "face", container=(width, height),
                                  force_even=True)
        assert sides(match[3]) == (region.x, region.y, region.width, region.height)
    assert [(m[4], m[5]) for m in frames[:2]] == [("Create", "b1"), ("KeepAlive", "b1")]
    assert {(m[4], m[5]) for m in frames[1:]} == {("KeepAlive", "b1")}

    polls = [POLL.match(line) for line in result.stderr.splitlines() if line.startswith("poll")]
    runs = [(int(m[2]), int(m[3])) for m in polls if m[1]]
    assert len(polls) == len(runs) + 1 == truth["frames"] // 30  # waits for 48 frames once
    assert all(m[1] in (None, "b1") and m[4] == "-" for m in polls)
    overlap = round(1.6 * truth["fps"]) - 1
    assert all(take <= 150 and keep == min(take, overlap) for take, keep in runs)
    assert sum(take - keep for take, keep in runs) + runs[-1][1] == truth["frames"]
