#!/usr/bin/env python3
# Whole-program checks, one function each: run_check.py CHECK SOURCE_DIR BUILD_DIR. Exit code 0
# passed, 1 failed, 77 nothing to check in this build. Programs run headless (SDL offscreen,
# sessions scripted with tavelor-replay and replayed frame by frame, so a loaded machine changes
# nothing); the checks that need a real X server get their own Xvfb.
import array, glob, heapq, math, os, random, re, shutil, subprocess, sys, struct, tempfile, time
from collections import Counter

CHECK, SRC, BUILD = sys.argv[1], os.path.abspath(sys.argv[2]), os.path.abspath(sys.argv[3])
GAME, REPLAY = f"{BUILD}/game/hollerquast", f"{BUILD}/tools/replay/tavelor-replay"
BOX = "!!OpenGL Software Emulation!!"
started = []


class Failed(Exception):
    pass


def check(ok, message):
    if not ok:
        raise Failed(message)


def need(*paths):
    for path in paths:
        if not os.path.exists(path):
            print(f"{path} is not in this build")
            sys.exit(77)
    return paths[0]


def spawn(cmd, cwd="/", x11=False, **env):
    # Starts cmd with its own temporary directory (env TMPDIR), output and errors to one log.
    e = dict(os.environ, SDL_AUDIODRIVER="dummy", SDL_VIDEODRIVER="x11" if x11 else "offscreen")
    if not x11:
        e.pop("DISPLAY", None), e.pop("WAYLAND_DISPLAY", None)
    e["TMPDIR"] = tempfile.mkdtemp(dir=WORK) + "/"
    e.update(env)
    p = subprocess.Popen(cmd, cwd=cwd, env=e, stdout=open(e["TMPDIR"] + "out", "w"), stderr=subprocess.STDOUT)
    p.tmp = e["TMPDIR"]
    started.append(p)
    return p


def log(p):
    return open(p.tmp + "out", errors="replace").read()


def finish(p, code=0, timeout=300):
    try:
        rc = p.wait(timeout)
    except subprocess.TimeoutExpired:
        p.kill()
        rc = "none: still running"
    check(rc == code, f"{' '.join(p.args)}: exit code {rc}, expected {code}\n{log(p)[-3000:]}")
    return log(p)


def run(cmd, code=0, **kw):
    return finish(spawn(cmd, **kw), code)


def script(name, session, tool=REPLAY):
    path = f"{WORK}/{name}.rec"
    subprocess.run([tool, "script", path], input=session, text=True, check=True)
    return path


def bmp(path):
    # Rows of (r, g, b) pixels of a 24-bit BMP picture, the top row first.
    data = open(path, "rb").read()
    check(data[:2] == b"BM" and data[28] == 24, f"{path}: not a 24-bit BMP picture")
    start, (w, h) = struct.unpack_from("<I", data, 10)[0], struct.unpack_from("<ii", data, 18)
    stride = (w * 3 + 3) // 4 * 4
    rows = [list(zip(row[2::3], row[1::3], row[::3])) for row in
            (data[start + y * stride:start + y * stride + 3 * w] for y in range(abs(h)))]
    return rows[::-1] if h > 0 else rows


def later(cmd, frames, name, **kw):
    # Starts cmd to end itself after that many frames; the function returned gives its last frame.
    p = spawn(cmd + ["--frames", str(frames), "--shot", f"{WORK}/{name}.bmp"], **kw)
    return lambda: (finish(p), bmp(f"{WORK}/{name}.bmp"))[1]


def shot(cmd, frames, name, **kw):
    return later(cmd, frames, name, **kw)()


def pixels(rows):
    return [p for row in rows for p in row]


def share(test, rows):
    return sum(map(test, pixels(rows))) / len(pixels(rows))


def brightness(rows):
    return sum(map(sum, pixels(rows))) / len(pixels(rows)) / 3


def difference(a, b):
    return sum(abs(x - y) for p, q in zip(pixels(a), pixels(b)) for x, y in zip(p, q)) / len(pixels(a)) / 3


def text_share(rows, font, text, x, y):
    # Share of the text's glyph cells, taken from the font picture (16 x 8 cells), shown as in
    # the font: its ink in the ink's colour, its black (transparent) anything but white.
    cw, ch = len(font[0]) // 16, len(font) // 8
    good = []
    for k, code in enumerate(text.encode("latin-1")):
        for dy in range(ch):
            for dx in range(cw):
                ink, shown = font[code // 16 * ch + dy][code % 16 * cw + dx], rows[y + dy][x + k * cw + dx]
                good.append(max(abs(a - b) for a, b in zip(ink, shown)) < 56 if any(ink) else shown != (255,) * 3)
    return sum(good) / len(good)


def expect_text(rows, font, text, x, y, least=1.0):
    got = text_share(rows, font, text, x, y)
    check(got >= least, f"text {text!r} at ({x}, {y}): only {got:.3f} of its glyph pixels shown")


# ---- Under Xvfb ------------------------------------------------------------------------------

def xdo(*args):
    return subprocess.run(["xdotool", *map(str, args)], capture_output=True, text=True).stdout


def window(caption, seconds=90):
    # The id of the window with this caption (an extended regular expression).
    for _ in range(seconds * 10):
        tree = subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True, text=True).stdout
        found = re.search(rf'^ +(0x[0-9a-f]+) "{caption}":', tree, re.M)
        if found:
            return found[1]
        time.sleep(0.1)
    raise Failed(f"no window captioned {caption}")


def x_start(cmd, caption, **env):
    # Starts cmd on the X server and gives its window the focus. Software rendering asks to
    # confirm a message box first; the program shows its pause caption while the box has the focus.
    p = spawn(cmd, x11=True, **env)
    boxed = False
    while "OpenGL" not in (open(p.tmp + "ErrorLog.txt").read() if os.path.exists(p.tmp + "ErrorLog.txt") else ""):
        check(p.poll() is None, f"{cmd[0]} ended during start-up: {log(p)}")
        tree = subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True, text=True).stdout
        if not boxed and f'"{BOX}"' in tree:
            time.sleep(0.3)
            boxed = not xdo("windowfocus", "--sync", window(BOX), "key", "Return")
        time.sleep(0.1)
    win = window(f"{caption} <pause>" if boxed else f"{caption}( <pause>)?")
    xdo("windowfocus", "--sync", win)
    window(caption)
    time.sleep(0.3)
    return p, win


def close_window(win):
    # Asks the window to close, as a window manager's close button does.
    from Xlib import X, display
    from Xlib.protocol import event
    d = display.Display()
    w = d.create_resource_object("window", int(win, 0))
    delete = d.intern_atom("WM_DELETE_WINDOW")
    w.send_event(event.ClientMessage(window=w, client_type=d.intern_atom("WM_PROTOCOLS"),
                                     data=(32, [delete, X.CurrentTime, 0, 0, 0])), event_mask=X.NoEventMask)
    d.flush()


def game_x11():
    # Hollerquast under Xvfb, recorded while xdotool plays it (faster, a turn, a shot, the wheel
    # into a crash): its window, placement and error log, the pause caption while the box has the
    # focus, Escape ends it with exit code 0. The recording replays headless frame for frame; with
    # one mouse reading changed it diverges at that frame; damaged or foreign files are refused.
    need(GAME, REPLAY)
    rec = f"{WORK}/play.rec"
    p, win = x_start([GAME], "Hollerquast", TAVELOR_RECORD=rec, TAVELOR_RECORD_CHECK="1")
    geometry = xdo("getwindowgeometry", win)
    check("Position: 192,144" in geometry and "Geometry: 640x480" in geometry, f"window: {geometry}")
    errors = open(p.tmp + "ErrorLog.txt").read().replace("\r", "").rstrip("\n")
    where = re.escape(os.path.dirname(os.path.realpath(GAME)))
    check(re.fullmatch(rf"OpenGL (Software Emulation|Hardware Support)\nCurrent Dir\n{where}", errors), errors)
    for dx, dy in [(0, -40)] * 5 + [(-50, 0)] * 3:
        xdo("mousemove_relative", "--", dx, dy)
        time.sleep(0.05)
    xdo("click", 1)
    time.sleep(0.3)
    xdo("click", "--repeat", 12, "--delay", 40, 4)
    xdo("keydown", "Escape", "sleep", 0.3, "keyup", "Escape")
    finish(p, timeout=20)
    info = run([REPLAY, "info", rec])
    frames, stored, moved, wheel = map(int, re.search(r"^(\d+) frames.*\((\d+) stored.*mouse moved (\d+), wheel (\d+)", info, re.M | re.S).groups())
    check(moved and wheel, f"no mouse input in the recording: {info}")
    out = run([GAME], TAVELOR_REPLAY=rec)
    check(f"as recorded ({stored} frame checksums matched)" in out, info + out)
    print(f"ok: {frames} frames recorded under Xvfb replay headless with every checksum")
    for frame in range(frames // 3, frames):
        if subprocess.run([REPLAY, "mouse", rec, f"{WORK}/planted.rec", str(frame), "40"], capture_output=True).returncode == 0:
            break
    out = run([GAME], 3, TAVELOR_REPLAY=f"{WORK}/planted.rec")
    check(f"replay diverged at frame {frame} " in out, f"a mouse reading changed at frame {frame}: {out}")
    data = open(rec, "rb").read()
    half = len(data) // 2
    for name, bad in ("cut", data[:-3]), ("flipped", data[:half] + bytes([data[half] ^ 255]) + data[half + 1:]), \
                     ("foreign", open(GAME, "rb").read(4096)):
        open(f"{WORK}/{name}.rec", "wb").write(bad)
        check(re.search("^replay: ", run([GAME], 2, TAVELOR_REPLAY=f"{WORK}/{name}.rec"), re.M), f"{name}: no message")
    print(f"ok: a mouse reading changed at frame {frame} diverges there; damaged files are refused")


def game():
    # Hollerquast as a newcomer plays it, installed with `cmake --install`, through scripted
    # sessions: night sky, trees and Magic:100; the mouse turns the view; the wheel rolled away
    # from the player flies her into the ground, the crash sound plays and she starts again above
    # it; Escape, Alt+F4 and the close request end the game with exit code 0. A long straight
    # flight at full speed still sees ground below the horizon. A copy beside nothing but the
    # packed archive shows the loose media's frames pixel for pixel, and without it no media.
    pak = need(f"{BUILD}/game/hollerquast.pak", GAME, REPLAY)
    subprocess.run(["cmake", "--install", BUILD, "--component", "game", "--prefix", f"{WORK}/prefix"], check=True,
                   stdout=subprocess.DEVNULL)
    where = f"{WORK}/prefix/bin"
    for media in "hag house tree ground ghost skybox shoot".split():
        check(os.path.getsize(f"{where}/{media}.ddd"), f"{media}.ddd not installed beside the game")
    for media in "moon.bmp skybox.bmp cloud.bmp salto.wav smalfont.bmp".split():
        check(os.path.getsize(f"{where}/{media}"), f"{media} not installed beside the game")
    # Idle, a turn to the left (frames 91-95), the wheel rolled away a notch a frame (151-190),
    # Escape at frame 391; the calm session only waits. For the sound, played through at the
    # recorded pace: the same session, or the calm one.
    play = script("play", "90\n5 mouse -60 0\n55\n40 wheel 1\n200\n1 key 1\n")
    calm = script("calm", "390\n1 key 1\n")
    sound = {rec: spawn([f"{where}/hollerquast"], TAVELOR_REPLAY=rec, TAVELOR_REPLAY_SPEED="1", SDL_AUDIODRIVER="disk",
                        SDL_DISKAUDIOFILE=f"{rec}.raw") for rec in (play, calm)}
    # Full speed, 50 units a second, for 80 frames of ten seconds each: 40,000 units.
    far = spawn([GAME, "--seed", "5", "--frames", "80", "--frame-ms", "10000", "--shot", f"{WORK}/far.bmp"],
                TAVELOR_REPLAY=script("far", "1\n4 mouse 0 -100\n80\n"))
    installed, font = [f"{where}/hollerquast"], bmp(f"{where}/smalfont.bmp")
    ends = {name: spawn(installed, TAVELOR_REPLAY=script(name, session))
            for name, session in (("alt_f4", "20\n3 key 56 key 62\n5\n"), ("close", "20\n1 close\n5\n"))}
    start, turned, unturned, crash, again = [later(installed, frames, name, TAVELOR_REPLAY=rec) for frames, name, rec in (
        (2, "start", play), (120, "turned", play), (120, "calm", calm), (195, "crash", play), (380, "again", play))]
    night = lambda p: p[2] >= p[0] + 8 and p[2] >= p[1] + 4 and max(p) < 160
    trees = lambda rows: sum(g > r + 20 and g > b + 10 for r, g, b in pixels(rows))
    start = start()
    check(share(night, [row[100:] for row in start[2:26]]) > 0.5, "no night sky at the top")
    check(trees(start) > 3000, "no trees")
    expect_text(start, font, "Magic:100", 0, 0, 0.95)
    turn = difference(turned(), unturned())
    check(turn > 8, f"the mouse did not turn the view (difference {turn})")
    crash, again = crash(), again()
    check(brightness(crash) < 0.6 * brightness(start), "the wheel did not bring her down")
    check(brightness(again) > 0.8 * brightness(start) and trees(again) > 3000, "not back above the ground")
    expect_text(again, font, "Magic:", 0, 0, 0.95)
    for name, p in ends.items():
        check("replay: the program ends at frame 2" in finish(p), f"{name} did not end the game")
    print(f"ok: night sky, trees, Magic:100, turn (difference {turn:.1f}), down into the ground and back above it; "
          "Alt+F4 and the close request end it")
    alone = f"{WORK}/alone"
    os.mkdir(alone)
    shutil.copy(GAME, alone), shutil.copy(pak, alone)
    loose = shot([GAME, "--seed", "1234"], 5, "loose", TAVELOR_RECORD=f"{WORK}/loose.rec", TAVELOR_RECORD_CHECK="1")
    tmp = tempfile.mkdtemp(dir=WORK) + "/"
    packed = shot(["./hollerquast", "--seed", "1234", "--archive", "hollerquast.pak"], 5, "packed", cwd=alone, TMPDIR=tmp,
                  TAVELOR_REPLAY=f"{WORK}/loose.rec")
    check(packed == loose, "the frame from the archive differs from the loose one")
    bare = difference(shot(["./hollerquast", "--seed", "1234"], 5, "bare", cwd=alone), loose)
    check(bare > 5, f"without the archive the copy still shows the game's media (difference {bare})")
    check(sorted(os.listdir(alone)) == ["hollerquast", "hollerquast.pak"], f"files left beside the game: {os.listdir(alone)}")
    check(not [n for n in os.listdir(tmp) if n.startswith("~sbx")], "unpacked members left in the temporary directory")
    print(f"ok: from the archive alone the loose frames pixel for pixel, without it no media ({bare:.1f})")
    ground = lambda p: 1.15 * p[0] < p[1] < 1.75 * p[0] and p[2] < p[1] and 35 < p[1] < 120
    finish(far)
    far = bmp(f"{WORK}/far.bmp")
    check(share(ground, far[len(far) * 2 // 3:]) > 0.97, "the lower view is not all ground after the long flight")
    for rec, p in sound.items():
        check(", the script's last" in finish(p), f"{rec}: Escape did not end it at the script's last frame")
        raw = open(f"{rec}.raw", "rb").read()
        sound[rec] = max(map(abs, array.array("h", raw[:len(raw) // 2 * 2])), default=0) / 32768
    loud, quiet = sound.values()
    check(loud > 0.2 and quiet < 0.01, f"crash sound peak {loud}, without a crash {quiet}")
    print("ok: the long flight sees ground below the horizon; the crash sound plays")


def input():
    # The input commands through a real window under Xvfb, driven by xdotool: mouse motion,
    # wheel and buttons with the game owning the mouse, keys, the system pointer, text entry and
    # the two waits. Keys and buttons are held for several frames: the state is read once a frame.
    probe = need(f"{BUILD}/tests/input_probe")

    def hold(kind, what, down=0.25):
        xdo(f"{kind}down", what, "sleep", down, f"{kind}up", what, "sleep", 0.15)

    def wait_line(p, line):
        for _ in range(150):
            if re.search(f"^{line}$", log(p), re.M):
                return
            time.sleep(0.1)
        raise Failed(f"no line {line!r} in:\n{log(p)}")

    p, win = x_start([probe, "mouse"], "Input Probe")
    xdo("mousemove_relative", 30, 0, "sleep", 0.5, "mousemove_relative", "--", -10, 20, "sleep", 0.5)
    moves = [list(map(float, line.split()[1:])) for line in log(p).splitlines() if line.startswith("m ")]
    check(all(m[0] == m[1] for m in moves), "two MOUSEAXIS(0) of one frame differ")
    check([sum(m[0] for m in moves), sum(m[2] for m in moves)] == [20, 20] and len(moves) >= 2, f"motion: {moves}")
    before = len(log(p).splitlines())
    xdo("click", "--repeat", 4, "--delay", 1, 4, "sleep", 0.5, "click", "--repeat", 4, "--delay", 1, 5, "sleep", 0.5)
    wheel = Counter(line.split()[4] for line in log(p).splitlines()[before:] if line.startswith("m ") and line.split()[4] != "0")
    check(set(wheel) == {"1", "-1"} and 1 <= wheel["1"] <= 3 and 1 <= wheel["-1"] <= 3, f"wheel frames: {wheel}")
    hold("mouse", 1)
    check(re.search(r"^m \S+ \S+ \S+ \S+ 1 ", log(p), re.M), "the held left button is not seen")
    xdo("mousemove_relative", 3000, 3000, "sleep", 0.3)
    hold("key", "space")
    wait_line(p, "state 639 479")
    xdo("mousemove_relative", "--", -9000, -9000, "sleep", 0.3)
    hold("key", "space")
    wait_line(p, "state 0 0")
    hold("key", "Escape", 0.5)
    finish(p, timeout=15)
    check(re.search("^m .* 1 1$", log(p), re.M), "KEY(1) and KEY(257) are not 1 while Escape is held")
    print("ok: motion once a frame, wheel notches as 1 and -1, button, MOUSESTATE clamped, Escape ends it")
    p, win = x_start([probe, "pointer"], "Input Probe")
    for x, y in (123, 77), (300, 200):
        xdo("mousemove", "--window", win, x, y)
        wait_line(p, f"pos {x} {y}")
    close_window(win)
    finish(p, timeout=15)
    print("ok: SYSTEMPOINTER(1): MOUSESTATE follows the pointer; the close request ends the program")
    p, win = x_start([probe, "text"], "Input Probe")
    # "abc": three erased, the fourth Backspace finds nothing; Shift+Backspace erases too.
    for key in "1 2 period 5 Return BackSpace shift+BackSpace BackSpace BackSpace x shift+BackSpace y shift+Return".split():
        hold("key", key)
    wait_line(p, r"value 12\.5")
    xdo("keydown", "a", "sleep", 0.8, "keyup", "a", "sleep", 0.2)
    hold("key", "Return")
    wait_line(p, r"text \[y\]")
    wait_line(p, r"held \[a\]")
    time.sleep(0.3)
    check("\nkey\n" not in log(p), "KEYWAIT returned without a key")
    hold("key", "k")
    wait_line(p, "key")
    time.sleep(0.3)
    close_window(win)
    finish(p, timeout=15)
    check("not closed" not in log(p), "KEYWAIT returned after the close")
    print("ok: INPUT: a number, Backspace (also with Shift) stops at the start, Shift+Return ends it, a held key "
          "adds its character once; KEYWAIT waits for a key, the close request ends it")
    p, win = x_start([probe, "mousewait"], "Input Probe")
    xdo("mousedown", 1)
    wait_line(p, "held")
    xdo("sleep", 0.4, "mouseup", 1, "sleep", 0.4)
    check("done" not in log(p), "MOUSEWAIT returned on the release")
    hold("mouse", 1)
    wait_line(p, "done")
    finish(p, timeout=15)
    print("ok: MOUSEWAIT entered with a button held waits for the release and a new press")


def video():
    # A key press ends a 20-second movie early, with result 0.
    movie = need(f"{BUILD}/examples/example_movie")
    subprocess.run(["ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i", "testsrc=s=160x120:r=30:d=20",
                    "-f", "lavfi", "-i", "sine=frequency=440:duration=20", "-c:v", "mpeg4", "-c:a", "aac", "-shortest",
                    f"{WORK}/movie.mp4"], check=True)
    p, win = x_start([movie, f"{WORK}/movie.mp4"], "Movie")
    xdo("sleep", 1.5, "key", "a")
    ms = re.search(r"^PLAYMOVIE 0 after (\d+) ms$", finish(p, timeout=10), re.M)
    check(ms and int(ms[1]) < 15000, f"the key did not end the movie early: {log(p)}")
    print(f"ok: a key ends the movie after {ms[1]} ms")


# ---- The SDK package -------------------------------------------------------------------------

def rgb(number):
    return number & 255, (number >> 8) & 255, (number >> 16) & 255


def check_bounce(rows, font, out):
    score = int((re.search(r"^score (\d+)$", out, re.M) or [0, -1])[1])
    hits = [list(map(float, h)) for h in re.findall(r"^hit \d+ \d+ (\S+) (\S+) (\S+) (\S+)$", out, re.M)]
    check(score >= 1 and len(hits) == score, f"bounce: score {score} with {len(hits)} reported contacts")
    # SPRCOLL answered for opaque pixels: the two discs really overlap.
    check(all(math.dist(h[:2], h[2:]) <= 48 for h in hits), f"bounce: balls counted as touching apart: {hits}")
    # Each ball (radius 24) shows as a disc: the key colour around it is transparent.
    counts, disc = Counter(pixels(rows)), math.pi * 24 * 24
    for colour in 0x0000FF, 0x00FF00, 0xFF0000, 0x00FFFF, 0xFF00FF, 0xFFFF00:
        check(0.5 * disc <= counts[rgb(colour)] <= 1.02 * disc, f"bounce: ball {colour:06x}: {counts[rgb(colour)]} pixels")
    expect_text(rows, font, f"Score: {score}", 8, 8)


def check_pathfind(rows, font, out):
    # A grid of 20 x 14 cells of 32 pixels below a 32-pixel title: floor, mud, wall; the cell's
    # middle marks the start, the goal and the path.
    costs = {rgb(0xC8C8C8): 1, rgb(0x2A5A8C): 5, rgb(0x303030): None}
    cells = {(x, y): (rows[32 + 32 * y + 3][32 * x + 3], rows[48 + 32 * y][32 * x + 16]) for x in range(20) for y in range(14)}
    check(all(ground in costs for ground, _ in cells.values()), "pathfind: a cell without a ground colour")
    cost = {c: costs[ground] for c, (ground, _) in cells.items()}
    marked = lambda colour: [c for c, (_, mark) in cells.items() if mark == rgb(colour)]
    check(len(marked(0x00C000)) == 1 and len(marked(0x0000E0)) == 1, "pathfind: not one start and one goal")
    start, goal = marked(0x00C000)[0], marked(0x0000E0)[0]
    path = set(marked(0x00E0FF)) | {start, goal}
    near = lambda c: [(c[0] + dx, c[1] + dy) for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1))]
    best, queue = {start: 0}, [(0, start)]  # the cheapest costs, through the four sides of a cell
    while queue:
        c, cell = heapq.heappop(queue)
        for n in near(cell):
            if cost.get(n) and c + cost[n] < best.get(n, math.inf):
                best[n] = c + cost[n]
                heapq.heappush(queue, (best[n], n))
    chain = [start]  # the drawn path: a chain of neighbouring cells over open ground
    while chain[-1] != goal:
        ahead = [n for n in near(chain[-1]) if n in path and n not in chain[-2:]]
        check(len(ahead) == 1, f"pathfind: the path branches or breaks at {chain[-1]}")
        chain.append(ahead[0])
    check(len(chain) == len(path) and all(cost[c] for c in chain), "pathfind: path cells off the chain or on a wall")
    total = sum(cost[c] for c in chain[1:])
    check(total == best[goal], f"pathfind: the path costs {total}, the cheapest {best[goal]}")
    check(f"path {len(chain)} cells, cost {total}" in out, "pathfind: standard output does not report the path")
    expect_text(rows, font, f"FINDPATH: {len(chain)} cells, cost {total}", 8, 8)


def check_viewer(rows, turned, font):
    w, h = len(rows[0]), len(rows)
    shade = sorted(0.299 * r + 0.587 * g + 0.114 * b for r, g, b in pixels(rows[32:]) if r or g or b)
    changed = sum(p != q for p, q in zip(pixels(rows[32:]), pixels(turned[32:])))
    check(0.05 * w * h <= len(shade) <= 0.5 * w * h, f"viewer: the object covers {len(shade)} pixels")
    check(rows[h // 2][w // 2] == (0, 0, 0), "viewer: no hole in the middle of the torus")
    # One colour: unlit it would show one shade, lit it shows light and shadow.
    check(shade[len(shade) * 19 // 20] >= 1.2 * max(shade[len(shade) // 20], 1), "viewer: no light and shadow")
    check(changed >= 0.05 * len(shade), f"viewer: turning it changed only {changed} pixels")
    expect_text(rows, font, "torus.ddd: move the mouse to turn, wheel to zoom", 8, 8)


def install_package():
    # The Debian package tavelor-sdk made by CPack from this build, unpacked with dpkg -x and
    # used from there: its version in the package, tavelor-pack --version, tavelor.pc and the CMake
    # package, which refuses a newer major version; it depends on the package of every library a
    # game links. The starter project and the examples build against it with CMake, pathfind with
    # pkg-config and c++; each runs headless and shows what it must.
    cache = open(f"{BUILD}/CMakeCache.txt").read()
    if re.search(r"^TAVELOR_SANITIZE(_THREAD)?:BOOL=ON", cache, re.M):
        print("sanitizer build: the package is checked by the plain build")
        sys.exit(77)
    # A library built for coverage needs its instrumentation's runtime in every program linked.
    link = re.search(r"^CMAKE_EXE_LINKER_FLAGS:STRING=(.*)$", cache, re.M).group(1)
    need(*[shutil.which(tool) or tool for tool in ("cpack", "dpkg-deb")])
    run(["cpack", "-G", "DEB", "-B", f"{WORK}/deb", "-D", "CPACK_COMPONENTS_ALL=sdk", "-D",
         "CPACK_DEBIAN_COMPRESSION_TYPE=gzip"], cwd=BUILD)
    deb = glob.glob(f"{WORK}/deb/tavelor-sdk_*.deb")[0]
    run(["dpkg-deb", "-x", deb, f"{WORK}/root"])
    usr = f"{WORK}/root/usr"
    version, depends = (run(["dpkg-deb", "-f", deb, field]).strip() for field in ("Version", "Depends"))
    check(run([f"{usr}/bin/tavelor-pack", "--version"]).strip() == f"tavelor-pack {version}", "tavelor-pack --version")
    os.environ["PKG_CONFIG_PATH"] = os.path.dirname(glob.glob(f"{usr}/lib/**/tavelor.pc", recursive=True)[0])
    pkg = lambda *args: run(["pkg-config", *args, "tavelor"]).split()
    check(pkg("--modversion") == [version], "tavelor.pc has another version")
    libs = [os.path.normpath(run(["c++", f"-print-file-name=lib{l[2:]}.so"]).strip()) for l in pkg("--libs-only-l")
            if l[2:] not in ("tavelor", "dl", "pthread")]
    for line in run(["dpkg", "-S", *libs]).splitlines():
        owner = line.split(":")[0]
        check(re.search(f", {re.escape(owner)}[, ]", f", {depends},"), f"Depends lacks {owner} ({line}): {depends}")
    font_file = pkg("--variable=fontfile")[0]
    font = bmp(font_file)
    os.makedirs(f"{WORK}/pathfind")
    shutil.copy(font_file, f"{WORK}/pathfind")
    ccache = ["ccache"] if shutil.which("ccache") else []  # the examples' compiles kept between runs
    pathfind = spawn([*ccache, "c++", "-std=c++20", "-O1", f"{SRC}/examples/pathfind/main.cpp", "-o", f"{WORK}/pathfind/pathfind",
                      *pkg("--cflags", "--libs"), *link.split()])
    # One CMake project holds the starter project (copied as its README says) and the examples.
    shutil.copytree(f"{usr}/share/tavelor/template", f"{WORK}/mygame")
    newer = f"{int(version.split('.')[0]) + 1}.0"
    examples = "".join(f"add_subdirectory({SRC}/examples/{e} {e})\n" for e in ("bounce", "viewer", "chat"))
    os.makedirs(f"{WORK}/all")
    open(f"{WORK}/all/CMakeLists.txt", "w").write(
        f"cmake_minimum_required(VERSION 3.25)\nproject(All LANGUAGES C CXX)\nfind_package(Tavelor {newer})\n"
        f"if(Tavelor_FOUND)\n  message(FATAL_ERROR \"Tavelor {newer} accepted\")\nendif()\n"
        f"find_package(Tavelor {version} REQUIRED)\nmessage(STATUS \"found ${{Tavelor_VERSION}}\")\n"
        f"add_subdirectory({WORK}/mygame mygame)\n{examples}")
    b = f"{WORK}/all/build"
    out = run(["cmake", "-S", f"{WORK}/all", "-B", b, f"-DCMAKE_PREFIX_PATH={usr}", f"-DCMAKE_EXE_LINKER_FLAGS={link}", *[f"-DCMAKE_CXX_COMPILER_LAUNCHER={c}" for c in ccache]])
    check(f'requested version "{newer}"' in out and f"found {version}\n" in out, f"version requests:\n{out}")
    run(["cmake", "--build", b, "-j2"])
    mygame = spawn([f"{b}/mygame/mygame"])
    bounce = spawn([f"{b}/bounce/bounce", "--frames", "150", "--shot", f"{WORK}/bounce.bmp"])
    viewer = shot([f"{b}/viewer/viewer", "--turn", "30", "60"], 3, "viewer")
    check(os.path.getsize(f"{b}/viewer/torus.ddd"), "the viewer saved no torus.ddd")
    # The mouse turns it: a session of mouse motion scripted by the packaged tavelor-replay.
    mouse = script("mouse", "5\n10 mouse 20 0\n10\n", f"{usr}/bin/tavelor-replay")
    check_viewer(viewer, shot([f"{b}/viewer/viewer", "--turn", "120", "60"], 3, "turned"), font)
    check_viewer(shot([f"{b}/viewer/viewer", "--turn", "30", "60"], 20, "mouse", TAVELOR_REPLAY=mouse), viewer, font)
    bounced = finish(bounce)  # before its picture is read
    check_bounce(bmp(f"{WORK}/bounce.bmp"), font, bounced)
    finish(pathfind)
    out = run([f"{WORK}/pathfind/pathfind", "--frames", "3", "--shot", f"{WORK}/pathfind.bmp"])
    check_pathfind(bmp(f"{WORK}/pathfind.bmp"), font, out)
    # Chat: a host and a guest on one machine, on a port picked at random (another when taken).
    say = {"host": "Welcome, guest!|Bye, see you.", "join": "Hello host, anybody there?|Thanks, bye!"}
    for _ in range(3):
        port = str(random.randint(20000, 39999))
        host = spawn([f"{b}/chat/chat", "host", "--port", port, "--say", say["host"], "--frames", "10", "--shot", f"{WORK}/host.bmp"])
        for _ in range(100):
            if "ready" in log(host) or host.poll() is not None:
                break
            time.sleep(0.1)
        if "ready" in log(host):
            break
    run([f"{b}/chat/chat", "join", "--port", port, "--say", say["join"], "--frames", "10", "--shot", f"{WORK}/guest.bmp"])
    finish(host)
    lines = ["guest: Hello host, anybody there?", "host: Welcome, guest!", "guest: Thanks, bye!", "host: Bye, see you."]
    for name, title in ("host", "Chat host"), ("guest", "Chat guest of this machine"):
        chat = bmp(f"{WORK}/{name}.bmp")
        expect_text(chat, font, f"{title}, port {port}", 8, 8)
        for i, line in enumerate(lines):
            expect_text(chat, font, line, 16, 48 + 20 * i)
    # The starter project runs until it is stopped.
    check(mygame.poll() is None and "Current Dir" in open(mygame.tmp + "ErrorLog.txt").read(), "the starter project")
    print(f"ok: tavelor-sdk {version}: versions, dependencies, the starter project and the examples")


if __name__ == "__main__":
    if CHECK in ("game_x11", "input", "video") and os.environ.get("IN_XVFB") != "1":
        # Its own Xvfb: without server resets (a program started while the server resets gets no
        # window), on a random first display number so parallel runs do not race for one. The
        # system's Python has the X library that close_window uses.
        os.environ["IN_XVFB"] = "1"
        python = "/usr/bin/python3" if os.path.exists("/usr/bin/python3") else sys.executable
        os.execvp("xvfb-run", ["xvfb-run", "-a", "-n", str(random.randint(100, 899)), "-s",
                               "-noreset -screen 0 1024x768x24", python, *sys.argv])
    WORK = tempfile.mkdtemp()
    try:
        globals()[CHECK]()
        print(f"{CHECK}: passed")
    except Failed as e:
        print(f"FAIL: {e}")
        sys.exit(1)
    finally:
        for p in started:
            p.kill()
        shutil.rmtree(WORK, ignore_errors=True)
