#!/usr/bin/env python3
"""Runs the viewer example under an X server and turns it with injected mouse motion.

usage (inside xvfb-run): viewer_mouse.py VIEWER FRAME.bmp
The viewer starts unturned (--turn 30 60), the mouse moves it for a while, and the frame it
saves at its end must differ from the unturned one (compared by example_frames.py).
"""
import os
import subprocess
import sys
import time


def window(caption, seconds=30):
    """Id of the window with exactly this caption, or None."""
    end = time.time() + seconds
    while time.time() < end:
        tree = subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True, text=True).stdout
        for line in tree.splitlines():
            parts = line.split('"')
            if len(parts) >= 2 and parts[1] == caption:
                return line.split()[0]
        time.sleep(0.1)
    return None


def main(viewer, shot):
    # On X11 only: falling back to a driver without a window would leave nothing to drive.
    env = dict(os.environ, SDL_VIDEODRIVER="x11")
    proc = subprocess.Popen([viewer, "--turn", "30", "60", "--frames", "400", "--shot", shot],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    # Software rendering asks for a confirmation first.
    box = window("!!OpenGL Software Emulation!!", 10)
    if box:
        time.sleep(0.3)
        subprocess.run(["xdotool", "windowfocus", "--sync", box, "key", "Return"], check=False)
    win = window("Viewer")
    if not win:
        proc.kill()
        sys.exit("FAIL viewer: no window under the X server")
    subprocess.run(["xdotool", "windowfocus", "--sync", win], check=False)
    time.sleep(0.5)
    for _ in range(10):
        subprocess.run(["xdotool", "mousemove_relative", "20", "0"], check=False)
        time.sleep(0.1)
    return proc.wait(timeout=60)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
