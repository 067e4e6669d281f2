# SPDX-License-Identifier: Apache-2.0
"""A host's flow through the planner and the overlap measures: a face box becomes a region, the
region is matched against the buffers, the newest ready buffer is run and stale ones dropped."""

import pytest

import quorvanta_core as qv
from conftest import make_config

STREAM, FILE = qv.InferenceMode.Stream, qv.InferenceMode.File


def test_a_moving_face_keeps_its_buffer_until_it_moves_away():
    limits = qv.compute_buffer_config(make_config())  # 40 px inputs, 4 frames per inference
    assert (limits.min_no_state, limits.min_with_state, limits.stream_max, limits.file_max,
            limits.overlap) == (16, 4, 150, 900, 3)
    planner = qv.BufferPlanner(limits)
    region = qv.calculate_roi(qv.Rect(100, 100, 200, 200), "face")
    first = planner.evaluate_target(region, 0.0, [])
    assert first.action == qv.BufferActionType.Create and first.matched_id is None
    buffers = [qv.BufferMetadata("a", first.roi, 20, 0.0, 0.6)]
    nudged = qv.Rect(region.x + 10, region.y, region.width, region.height)
    kept = planner.evaluate_target(nudged, 0.7, buffers)
    assert (kept.action, kept.matched_id) == (qv.BufferActionType.KeepAlive, "a")
    moved = qv.Rect(region.x + 150, region.y, region.width, region.height)
    assert planner.evaluate_target(moved, 0.7, buffers).action == qv.BufferActionType.Create

    buffers.append(qv.BufferMetadata("b", moved, 18, 0.7, 1.2))
    buffers.append(qv.BufferMetadata("old", region, 90, -9.0, -8.0))
    plan = planner.poll(buffers, 1.2, STREAM)
    command = plan.command
    assert (command.buffer_id, command.take_count, command.keep_count) == ("b", 18, 3)
    assert plan.buffers_to_drop == ["old", "a"]  # stale, then created before the one run
    assert planner.poll(buffers, 1.2, FILE).command is None  # a file waits for 900 frames
    assert planner.poll(buffers, 1.2, FILE, flush=True).command.buffer_id == "b"
    assert [planner.is_ready(count, STREAM, has_state=state) for count, state in
            [(15, False), (16, False), (4, True), (3, True)]] == [False, True, True, False]


@pytest.mark.parametrize("inner, outer, iou, contained", [
    (qv.Rect(0, 0, 10, 10), qv.Rect(5, 0, 10, 10), 50 / 150, False),
    (qv.Rect(0, 0, 10, 10), qv.Rect(0, 1, 10, 10), 90 / 110, True),
    (qv.Rect(0, 0, 10, 10), qv.Rect(20, 20, 5, 5), 0.0, False),
])
def test_overlap_measures(inner, outer, iou, contained):
    assert qv.compute_iou(inner, outer) == pytest.approx(iou, rel=1e-6)
    assert qv.is_contained(inner, outer, 0.8) is contained
