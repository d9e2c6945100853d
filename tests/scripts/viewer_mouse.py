#!/usr/bin/env python3
"""Turns the viewer example with the mouse: a scripted session replayed headless.

usage: viewer_mouse.py VIEWER TAVELOR-REPLAY FRAME.bmp
The viewer starts unturned (--turn 30 60); the session moves the mouse right for ten frames
(tavelor-replay script), and the frame the viewer saves at its end must differ from the
unturned one (compared by example_frames.py). Replayed frame by frame without an X server, so
a loaded machine changes nothing.
"""
import os
import subprocess
import sys

SESSION = "5\n10 mouse 20 0\n385\n"  # 400 frames


def main(viewer, tool, shot):
    recording = shot + ".rec"
    subprocess.run([tool, "script", recording], input=SESSION, text=True, check=True)
    env = dict(os.environ, SDL_VIDEODRIVER="offscreen", SDL_AUDIODRIVER="dummy", TAVELOR_REPLAY=recording)
    env.pop("DISPLAY", None)
    result = subprocess.run([viewer, "--turn", "30", "60", "--frames", "400", "--shot", shot],
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, env=env, timeout=120)
    if result.returncode != 0:
        sys.exit("FAIL viewer: exit code %d: %s" % (result.returncode, result.stderr))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2], sys.argv[3]))
