#!/usr/bin/python3
"""Plays a whole game of pintu in a real X server (Xvfb) with real mouse input (xdotool).

The test knows only what a player sees: it finds the picture and the tiles on the screen by
comparing screenshots with the picture file, never by asking the program.
"""
import argparse
import os
import struct
import subprocess
import sys
import tempfile
import threading
import time

import numpy as np
from PIL import Image

# The window's layout in pixels, relative to the whole picture's top-left corner.
START_BUTTON = (312 - 32 + 40, 8 - 64 + 16)
LOAD_BUTTON = (424 - 32 + 40, 8 - 64 + 16)
END_BUTTON = (536 - 32 + 40, 8 - 64 + 16)
# The chooser's layout, relative to its client area.
FIRST_FILE = (60, 151)
CONFIRM_BUTTON = (164, 416)
PREVIEW = (232, 0, 345, 497)
OPTIONS = (32, 344, 81, 137)  # the four display options, one below the other
OPTION3 = (40, 428)


class Screen:
    def __init__(self, display):
        self.display = display
        self.env = dict(os.environ, DISPLAY=display)

    def grab(self):
        out = subprocess.run(["import", "-silent", "-window", "root", "png:-"],
                             env=self.env, check=True, capture_output=True).stdout
        with tempfile.SpooledTemporaryFile() as f:
            f.write(out)
            f.seek(0)
            return np.asarray(Image.open(f).convert("RGB"), dtype=np.int16)

    def save(self, path):
        subprocess.run(["import", "-silent", "-window", "root", path], env=self.env, check=True)

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *map(str, args)], env=self.env, check=True,
                              capture_output=True, text=True).stdout

    def click(self, x, y):
        self.xdotool("mousemove", "--sync", x, y)
        time.sleep(0.05)
        self.xdotool("click", 1)

    def drag(self, start, end):
        self.xdotool("mousemove", "--sync", *start)
        self.xdotool("mousedown", 1)
        time.sleep(0.05)
        # A few steps on the way, as a hand moves.
        for t in (0.25, 0.5, 0.75, 1.0):
            x = round(start[0] + (end[0] - start[0]) * t)
            y = round(start[1] + (end[1] - start[1]) * t)
            self.xdotool("mousemove", "--sync", x, y)
            time.sleep(0.02)
        self.xdotool("mouseup", 1)
        time.sleep(0.05)

    def geometry(self, window):
        out = self.xdotool("getwindowgeometry", "--shell", window)
        values = dict(line.split("=", 1) for line in out.split())
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])

    def window_named(self, name):
        out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", name],
                             env=self.env, capture_output=True, text=True).stdout.split()
        return out[0] if out else None


class DecoderWatch(threading.Thread):
    """Watches the game's decoding processes from outside, as anyone may: the walls each was
    seen behind, read from /proc while it ran."""

    def __init__(self, game):
        super().__init__(daemon=True)
        self.game = str(game)
        self.seen = {}  # pid -> the last (NoNewPrivs, Seccomp) read while it was there
        self.stopping = threading.Event()

    def run(self):
        while not self.stopping.wait(0.002):
            for pid in os.listdir("/proc"):
                if not pid.isdigit():
                    continue
                try:
                    with open(f"/proc/{pid}/status") as f:
                        fields = dict(line.split(":", 1) for line in f if ":" in line)
                except OSError:
                    continue
                if fields.get("PPid", "").strip() == self.game and \
                        fields.get("Name", "").strip() == "pintu-decode":
                    self.seen[pid] = (fields["NoNewPrivs"].strip(), fields["Seccomp"].strip())

    def walled(self):
        return [pid for pid, state in self.seen.items() if state == ("1", "2")]


def decoder_alive(pid):
    """Whether pid is still a decoding process that has not ended."""
    try:
        with open(f"/proc/{pid}/status") as f:
            fields = dict(line.split(":", 1) for line in f if ":" in line)
    except OSError:
        return False
    return fields.get("Name", "").strip() == "pintu-decode" and \
        not fields.get("State", "").strip().startswith("Z")


class Accessibility:
    """The program as a screen reader finds it: AT-SPI on a session bus of the test's own."""

    def __init__(self):
        out = subprocess.run(["dbus-daemon", "--session", "--fork", "--print-address=1",
                              "--print-pid=1"], check=True, capture_output=True, text=True)
        self.address, self.pid = out.stdout.split()[:2]
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = self.address
        import pyatspi  # after the bus exists: it connects when imported
        self.desktop = pyatspi.Registry.getDesktop(0)

    def env(self):
        return {"DBUS_SESSION_BUS_ADDRESS": self.address, "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1"}

    def board(self):
        """The picture box with its tiles, as the screen reader names it."""
        def find(node, depth=0):
            if node is None or depth > 6:
                return None
            if (node.name or "").startswith("拼圖圖片"):
                return node
            for i in range(node.childCount):
                found = find(node.getChildAtIndex(i), depth + 1)
                if found is not None:
                    return found
            return None
        for i in range(self.desktop.childCount):
            app = self.desktop.getChildAtIndex(i)
            if app is not None and app.name == "pintu":
                return find(app)
        return None

    def tile_names(self):
        board = self.board()
        return [board.getChildAtIndex(i).name for i in range(board.childCount)] if board else []

    def close(self):
        try:
            os.kill(int(self.pid), 15)
        except OSError:
            pass


def wait_for(what, check, timeout=15.0):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = check()
        if found is not None and found is not False:
            return found
        time.sleep(0.1)
    sys.exit(f"e2e: timed out waiting for {what}")


def find_picture(shot, picture):
    """Top-left of the picture on the screen, found by exact match of its first row strip."""
    h, w = picture.shape[:2]
    probe = picture[0:4, 0:w]
    H, W = shot.shape[:2]
    first = picture[0, 0]
    ys, xs = np.nonzero(np.all(shot[: H - h + 1, : W - w + 1] == first, axis=2))
    for y, x in zip(ys, xs):
        if np.array_equal(shot[y:y + 4, x:x + w], probe) and \
                np.array_equal(shot[y:y + h, x:x + w], picture):
            return int(x), int(y)
    return None


def grid(width, height, side):
    """The cells of the picture as the game cuts them: (left, top, width, height), 1-based order."""
    tile_w = np.float32(width) / np.float32(side)
    tile_h = int(np.rint(height / side))
    w = int(np.rint(tile_w))
    cells = []
    for i in range(side * side):
        col, row = i % side, i // side
        x = int(np.rint(np.float32(col) * tile_w))
        cells.append((x, row * tile_h, w, tile_h))
    return cells


def locate_tiles(shot, picture, origin, cells):
    """Which tile lies in each slot: slot s shows the cell whose pixels it matches best."""
    ox, oy = origin
    ph, pw = picture.shape[:2]
    where = {}
    for s, (sx, sy, w, h) in enumerate(cells, start=1):
        # Compare an inner part only: neighbouring tiles may overlap a tile's edge by a pixel.
        best, best_tile = None, None
        for t, (cx, cy, cw, ch) in enumerate(cells, start=1):
            # A tile cut from the bottom row may hold fewer rows than its slot.
            rows = min(h, ph - sy, ph - cy)
            # Four pixels in: the keyboard's focus frame lies along the slot's edge.
            m = 4
            shown = shot[oy + sy + m: oy + sy + rows - m, ox + sx + m: ox + sx + w - m]
            cut = picture[cy + m: cy + rows - m, cx + m: cx + cw - m]
            if cut.shape != shown.shape:
                continue
            d = np.abs(cut - shown).mean()
            if best is None or d < best:
                best, best_tile = d, t
        if best is None or best > 1.0:
            sys.exit(f"e2e: slot {s} shows no tile of the picture (best difference {best})")
        where[s] = best_tile
    if sorted(where.values()) != list(range(1, len(cells) + 1)):
        sys.exit(f"e2e: the slots do not hold each tile once: {where}")
    return where


def make_photo(folder):
    """A 4000 x 3000 camera-sized JPEG of our own, with large features that survive fitting."""
    y, x = np.mgrid[0:3000, 0:4000]
    rgb = np.stack([x * 255 // 3999, y * 255 // 2999, ((x // 250 + y // 250) % 3) * 100 + 20],
                   axis=2).astype(np.uint8)
    Image.fromarray(rgb, "RGB").save(os.path.join(folder, "photo.jpg"), quality=90)
    return rgb


def make_choice(folder):
    """A picture of our own for the chooser: 200 x 150, unlike anything on the screen."""
    y, x = np.mgrid[0:150, 0:200]
    rgb = np.stack([(x * 255 // 199), (y * 255 // 149), ((x // 10 + y // 10) % 2) * 200 + 30],
                   axis=2).astype(np.uint8)
    path = os.path.join(folder, "choice.bmp")
    Image.fromarray(rgb, "RGB").save(path)
    with open(os.path.join(folder, "notes.txt"), "w") as f:
        f.write("not a picture\n")
    return rgb.astype(np.int16)


def make_drawing(folder):
    """An SVG of our own, 240 x 160 pixels of four coloured quarters on whole pixels, so that
    drawn at its size it is exactly these pixels."""
    colours = ["#c81e64", "#1ec8a0", "#2846dc", "#f0b41e"]
    rects = "".join(
        f'<rect x="{120 * (i % 2)}" y="{80 * (i // 2)}" width="120" height="80" fill="{c}"/>'
        for i, c in enumerate(colours))
    with open(os.path.join(folder, "drawing.svg"), "w") as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?>\n'
                '<svg xmlns="http://www.w3.org/2000/svg" width="240" height="160" '
                f'viewBox="0 0 240 160">{rects}</svg>\n')
    rgb = np.zeros((160, 240, 3), dtype=np.int16)
    for i, c in enumerate(colours):
        y, x = 80 * (i // 2), 120 * (i % 2)
        rgb[y:y + 80, x:x + 120] = [int(c[k:k + 2], 16) for k in (1, 3, 5)]
    return rgb


# The form of the picture the game is started with on its command line: "png", or "heic" (made
# with heif-enc from the same pixels) once the game reads HEIC.
OPENED_KIND = "heic"


def make_opened(folder, kind=OPENED_KIND):
    """A 300 x 225 picture of our own for `pintu FILE`, with large features that a lossy encoding
    keeps: its path relative to folder, its pixels, and whether the file holds them exactly."""
    y, x = np.mgrid[0:225, 0:300]
    rgb = np.stack([(x // 75) * 60 + 30, (y // 75) * 90 + 20, ((x // 25 + y // 25) % 2) * 180 + 40],
                   axis=2).astype(np.uint8)
    Image.fromarray(rgb, "RGB").save(os.path.join(folder, "opened.png"))
    if kind == "png":
        return "opened.png", rgb.astype(np.int16), True
    subprocess.run(["heif-enc", "--quality", "90", "-o", os.path.join(folder, "opened.heic"),
                    os.path.join(folder, "opened.png")], check=True, capture_output=True)
    return "opened.heic", rgb.astype(np.int16), False


def make_hostile(folder):
    """A metafile of one filled polygon through 32767 random points of a 1000-unit square: a
    131 KB file whose fill crosses itself so often that drawing it takes more than a minute."""
    def record(function, params):
        return struct.pack("<IH", 3 + len(params) // 2, function) + params
    rng = np.random.default_rng(7)
    points = rng.integers(0, 1000, size=(32767, 2)).astype("<i2").tobytes()
    records = (record(0x02FA, struct.pack("<5H", 0, 1, 0, 0, 0))        # a black pen
               + record(0x012D, struct.pack("<H", 0))
               + record(0x02FC, struct.pack("<HIH", 0, 0x0000FF, 0))    # a red brush
               + record(0x012D, struct.pack("<H", 1))
               + record(0x0324, struct.pack("<H", 32767) + points)
               + record(0x0000, b""))
    placeable = struct.pack("<IH4hHI", 0x9AC6CDD7, 0, 0, 0, 1000, 1000, 96, 0)
    checksum = 0
    for (word,) in struct.iter_unpack("<H", placeable):
        checksum ^= word
    header = struct.pack("<3HIHIH", 1, 9, 0x0300, 9 + len(records) // 2, 2,
                         3 + 32767 * 2 + 1, 0)
    with open(os.path.join(folder, "hostile.wmf"), "wb") as f:
        f.write(placeable + struct.pack("<H", checksum) + header + records)


def message_box(screen):
    """A message box of the program: a window of its own that is neither of its two windows."""
    out = subprocess.run(["xdotool", "search", "--onlyvisible", "--class", "pintu"],
                         env=screen.env, capture_output=True, text=True).stdout.split()
    for window in out:
        names = subprocess.run(["xprop", "-id", window, "_NET_WM_NAME", "WM_NAME"],
                               env=screen.env, capture_output=True, text=True).stdout
        if "拼圖" not in names and "Form2" not in names:
            return window, names
    return None


def refused_file(screen, chooser):
    """The file under the keys cannot be decoded in time. Meanwhile the chooser answers the
    mouse and paints; then the refusal comes, and Return puts it away."""
    cx, cy, _, _ = screen.geometry(chooser)
    x, y, w, h = OPTIONS
    before = screen.grab()[cy + y: cy + y + h, cx + x: cx + x + w]
    screen.click(cx + OPTION3[0], cy + OPTION3[1])
    wait_for("the chooser to answer while it decodes",
             lambda: message_box(screen) is None and np.abs(
                 screen.grab()[cy + y: cy + y + h, cx + x: cx + x + w] - before).max() > 100
             or None, timeout=1.5)
    window, _ = wait_for("the refusal of the hostile file", lambda: message_box(screen))
    screen.save(os.path.join(screen.artifacts, "hostile.png"))
    screen.xdotool("windowfocus", "--sync", window)
    screen.xdotool("key", "Return")
    wait_for("the refusal to close", lambda: message_box(screen) is None or None)
    # Tab from the options goes back to the file list, which is still at the refused file.
    screen.xdotool("windowfocus", "--sync", chooser)
    screen.xdotool("key", "Tab")
    print("e2e: a file that cannot be decoded in time was refused; the chooser went on painting")


def choose_picture(screen, origin, choice, down=0, fitted=None, refused=()):
    """Load picture -> the chooser -> click the first file, go down (past the files refused on
    the way) -> confirm -> the picture at 32, 64: exactly choice, or choice scaled to the size
    fitted."""
    ox, oy = origin
    screen.click(ox + LOAD_BUTTON[0], oy + LOAD_BUTTON[1])
    chooser = wait_for("the chooser", lambda: screen.window_named("^Form2$"))
    time.sleep(0.3)
    cx, cy, cw, ch = screen.geometry(chooser)
    print(f"e2e: chooser at {cx},{cy} size {cw}x{ch}")
    if screen.window_named("拼圖"):
        sys.exit("e2e: the puzzle window is still open beside the chooser")
    screen.click(cx + FIRST_FILE[0], cy + FIRST_FILE[1])
    for step in range(1, down + 1):
        screen.xdotool("key", "Down")
        if step in refused:
            refused_file(screen, chooser)

    def previewed():
        px, py, pw, ph = PREVIEW
        area = screen.grab()[cy + py: cy + py + ph, cx + px: cx + px + pw]
        # Stretched over the whole area: the corners take the picture's corner colours.
        corners = [area[2, 2], area[2, -3], area[-3, 2], area[-3, -3]]
        want = [choice[0, 0], choice[0, -1], choice[-1, 0], choice[-1, -1]]
        return all(np.abs(c - w).max() <= 40 for c, w in zip(corners, want)) or None
    wait_for("the preview", previewed)
    screen.save(os.path.join(screen.artifacts, f"chooser{down}.png"))
    screen.click(cx + CONFIRM_BUTTON[0], cy + CONFIRM_BUTTON[1])
    wait_for("the chooser to close", lambda: screen.window_named("^Form2$") is None)
    if fitted:
        return show_fitted(screen, origin, choice, fitted)
    at = wait_for("the chosen picture", lambda: find_picture(screen.grab(), choice))
    if at != origin:
        sys.exit(f"e2e: the chosen picture stands at {at}, not at {origin}")
    screen.save(os.path.join(screen.artifacts, "chosen.png"))
    print(f"e2e: the chosen picture shows at {at} at its own size")


def show_fitted(screen, origin, photo, fitted):
    """The photo shows scaled down to fitted at the picture's place; returns what shows."""
    ox, oy = origin
    w, h = fitted
    want = np.asarray(Image.fromarray(photo).resize((w, h), Image.BILINEAR), dtype=np.int16)

    def shown():
        shot = screen.grab()
        area = shot[oy:oy + h, ox:ox + w]
        return area if np.abs(area - want).mean() < 6 else None
    area = wait_for("the fitted photo", shown)
    shot = screen.grab()
    background = shot[oy + 5, ox + w + 3]
    if np.abs(shot[oy + 5, ox + w - 3] - background).max() < 10 or \
            np.abs(shot[oy + h + 3, ox + 5] - background).max() > 0:
        sys.exit("e2e: the photo does not end at its fitted size")
    screen.save(os.path.join(screen.artifacts, "fitted.png"))
    print(f"e2e: the 4000 x 3000 photo shows fitted to {w} x {h}")
    return area


def enter_count(screen, pieces):
    """Types the piece count into the input box that Start opened, and confirms it."""
    box = wait_for("the piece-count box", lambda: screen.window_named("輸入圖片分割數"))
    screen.xdotool("windowfocus", "--sync", box)
    screen.xdotool("key", "--clearmodifiers", "ctrl+a")
    screen.xdotool("type", "--delay", "30", str(pieces))
    screen.xdotool("key", "Return")
    wait_for("the input box to close", lambda: screen.window_named("輸入圖片分割數") is None)


def start_game(screen, origin, pieces):
    ox, oy = origin
    screen.click(ox + START_BUTTON[0], oy + START_BUTTON[1])
    enter_count(screen, pieces)


def beyond_the_rules(screen, origin, picture, cells, where, a11y):
    """A drag, Ctrl+Z (the board as before it), Ctrl+Shift+Z (as after it), the whole picture at
    32,64 while P is held, and H marking the tiles at home, which the screen reader names so.
    Returns the board after the drag, which stays."""
    ox, oy = origin
    ph, pw = picture.shape[:2]
    puzzle = screen.window_named("^拼圖$")
    wx, wy, _, _ = screen.geometry(puzzle)
    if (ox - wx, oy - wy) != (32, 64):
        sys.exit(f"e2e: the picture lies at {ox - wx},{oy - wy} in the window, not at 32,64")

    def board():
        return screen.grab()[oy:oy + ph, ox:ox + pw]

    def shows(wanted):
        return lambda: np.array_equal(board(), wanted) or None

    def centre(slot):
        x, y, w, h = cells[slot - 1]
        return ox + x + w // 2, oy + y + min(h, ph - y) // 2

    # The keys go to the window, which shows its focus frame on slot 1 once it has them.
    screen.xdotool("windowfocus", "--sync", puzzle)
    time.sleep(0.3)
    before = board()
    # Two slots whose exchange does not solve the board.
    a, b = next((a, b) for a, b in ((2, 3), (1, 2), (1, 3))
                if any(where[s] != s for s in where if s not in (a, b))
                or where[a] != b or where[b] != a)
    screen.drag(centre(a), centre(b))
    wait_for("the drag", lambda: not np.array_equal(board(), before) or None)
    time.sleep(0.2)
    after = board()
    where[a], where[b] = where[b], where[a]
    screen.xdotool("key", "ctrl+z")
    wait_for("Ctrl+Z to show the board as before the drag", shows(before))
    screen.xdotool("key", "ctrl+shift+z")
    wait_for("Ctrl+Shift+Z to show the board as after the drag", shows(after))
    print("e2e: Ctrl+Z took the drag back, Ctrl+Shift+Z played it again")

    screen.xdotool("keydown", "p")
    wait_for("the whole picture while P is held",
             lambda: find_picture(screen.grab(), picture) == origin or None)
    screen.save(os.path.join(screen.artifacts, "peek.png"))
    heard = a11y.board().name
    screen.xdotool("keyup", "p")
    wait_for("the tiles back when P is let go", shows(after))
    if heard != "拼圖圖片，正在顯示整張圖片":
        sys.exit(f"e2e: during the peek the screen reader hears {heard!r}")
    print("e2e: holding P showed the whole picture at 32,64, and the screen reader heard so")

    home = {where[s] for s in where if where[s] == s}
    screen.xdotool("key", "h")
    if home:
        wait_for("the marks", lambda: not np.array_equal(board(), after) or None)
    time.sleep(0.3)  # and with no tile home, time to draw what must not be there
    marked = board()
    screen.save(os.path.join(screen.artifacts, "marks.png"))
    changed = np.any(marked != after, axis=2)
    for slot, (x, y, w, h) in enumerate(cells, start=1):
        rows = min(h, ph - y)
        inside = changed[y:y + rows, x:x + w].any()
        if inside != (where[slot] == slot):
            sys.exit(f"e2e: slot {slot} (tile {where[slot]}) is {'' if inside else 'not '}marked")
    names = wait_for("the screen reader to hear H",
                     lambda: (lambda n: n if n and "。標出" in n[where[1] - 1] else None)(
                         a11y.tile_names()))
    if len(names) != len(cells):
        sys.exit(f"e2e: the screen reader finds {len(names)} tiles, not {len(cells)}")
    for tile, name in enumerate(names, start=1):
        # The focused tile's name ends with what the key announced, after "。".
        if name.split("。")[0].endswith("，在正確位置") != (tile in home):
            sys.exit(f"e2e: the screen reader names tile {tile} {name!r}")
    heard = names[where[1] - 1]  # the tile in slot 1 has the focus
    if not heard.endswith(f"。標出在正確位置的圖塊：{len(cells)} 塊中有 {len(home)} 塊"):
        sys.exit(f"e2e: pressing H, the screen reader hears {heard!r}")
    screen.xdotool("key", "h")
    wait_for("the marks to go", shows(after))
    print(f"e2e: H marked the {len(home)} tiles at home, and the screen reader named them so")
    return where


def play_to_win(screen, origin, picture, pieces, name, a11y=None):
    """Starts a game and solves it by dragging, checking the board after every move; with a11y,
    the keys beyond the rules first (beyond_the_rules)."""
    ox, oy = origin
    side = int(round(pieces ** 0.5))
    start_game(screen, origin, pieces)
    cells = grid(picture.shape[1], picture.shape[0], side)

    def shuffled():
        shot = screen.grab()
        return None if find_picture(shot, picture) else shot
    wait_for("the tiles", shuffled)
    time.sleep(0.3)
    shot = screen.grab()
    screen.save(os.path.join(screen.artifacts, f"shuffled-{name}.png"))
    where = locate_tiles(shot, picture, origin, cells)  # slot -> tile
    print(f"e2e: shuffled board {[where[s] for s in sorted(where)]}")
    if a11y is not None:
        where = beyond_the_rules(screen, origin, picture, cells, where, a11y)

    def centre(slot):
        x, y, w, h = cells[slot - 1]
        return ox + x + w // 2, oy + y + min(h, picture.shape[0] - y) // 2

    # Solve: bring tile s home by dropping it onto whatever lies in slot s.
    moves = 0
    unsolved = [s for s in where if where[s] != s]
    if not unsolved:
        # The shuffle may leave the board in order; a drop is what tests it, so unsettle it.
        screen.drag(centre(1), centre(2))
        where[1], where[2] = where[2], where[1]
        moves += 1
    for s in sorted(where):
        if where[s] == s:
            continue
        t = next(slot for slot, tile in where.items() if tile == s)
        last = sum(1 for k in where if where[k] != k) == 2
        screen.drag(centre(t), centre(s))
        moves += 1
        where[s], where[t] = where[t], where[s]
        if last:
            break
        # The screen must show exactly the board we expect after every move.
        got = locate_tiles(screen.grab(), picture, origin, cells)
        if got != where:
            sys.exit(f"e2e: after move {moves} the board shows {got}, expected {where}")

    done = wait_for("the congratulation", lambda: screen.window_named("完成"))
    time.sleep(0.3)
    screen.save(os.path.join(screen.artifacts, f"congratulation-{name}.png"))
    screen.xdotool("windowfocus", "--sync", done)
    screen.xdotool("key", "Return")
    wait_for("the congratulation to close", lambda: screen.window_named("完成") is None)
    wait_for("the whole picture", lambda: find_picture(screen.grab(), picture) == origin)
    screen.save(os.path.join(screen.artifacts, f"solved-{name}.png"))
    print(f"e2e: {name}: solved in {moves} moves; the whole picture shows again")


def play_with_keys(screen, origin, picture, pieces):
    """A whole game with key strokes only: Return on Start, the count, arrows and Space on the
    tiles (the focus starts on slot 1), Return on the win box."""
    side = int(round(pieces ** 0.5))
    puzzle = screen.window_named("^拼圖$")
    screen.xdotool("windowfocus", "--sync", puzzle)
    screen.xdotool("key", "Return")  # Start has the focus after the refusal
    enter_count(screen, pieces)
    wait_for("the tiles", lambda: None if find_picture(screen.grab(), picture) else True)
    time.sleep(0.3)
    cells = grid(picture.shape[1], picture.shape[0], side)
    where = locate_tiles(screen.grab(), picture, origin, cells)
    screen.xdotool("windowfocus", "--sync", puzzle)
    at = 1
    keys = 0

    def go(slot):
        nonlocal at, keys
        strokes = []
        r0, c0, r1, c1 = (at - 1) // side, (at - 1) % side, (slot - 1) // side, (slot - 1) % side
        strokes += ["Down" if r1 > r0 else "Up"] * abs(r1 - r0)
        strokes += ["Right" if c1 > c0 else "Left"] * abs(c1 - c0)
        if strokes:
            screen.xdotool("key", "--delay", "20", *strokes)
        keys += len(strokes)
        at = slot

    if all(where[s] == s for s in where):
        go(2)  # shuffled into order: a drop is what wins
        screen.xdotool("key", "space")
        go(1)
        screen.xdotool("key", "space")
        where[1], where[2] = where[2], where[1]
    for s in sorted(where):
        if where[s] == s:
            continue
        t = next(slot for slot, tile in where.items() if tile == s)
        go(t)
        screen.xdotool("key", "space")
        go(s)
        screen.xdotool("key", "space")
        keys += 2
        where[s], where[t] = where[t], where[s]
        if all(where[k] == k for k in where):
            break
    done = wait_for("the congratulation", lambda: screen.window_named("完成"))
    screen.xdotool("windowfocus", "--sync", done)
    screen.xdotool("key", "Return")
    wait_for("the congratulation to close", lambda: screen.window_named("完成") is None)
    wait_for("the whole picture", lambda: find_picture(screen.grab(), picture) == origin)
    print(f"e2e: a {pieces}-piece game won with {keys} key strokes and no mouse")


def opened_at_start(screen, program, env, folder, opened):
    """`pintu FILE` as a file manager's "Open With" starts it: the picture shows at 32, 64 (the
    very pixels for a lossless file, near them for a lossy one) and is played to the win."""
    name, rgb, exact = opened
    game = subprocess.Popen([program, name], env=env, cwd=folder, stderr=subprocess.PIPE)
    try:
        puzzle = wait_for("the puzzle window of `pintu FILE`", lambda: screen.window_named("^拼圖$"))
        wx, wy, _, _ = screen.geometry(puzzle)
        origin = wx + 32, wy + 64
        h, w = rgb.shape[:2]

        def shown():
            area = screen.grab()[origin[1]:origin[1] + h, origin[0]:origin[0] + w]
            if exact:
                return area if np.array_equal(area, rgb) else None
            return area if np.abs(area - rgb).mean() < 6 else None
        picture = wait_for(f"the picture of {name}", shown)
        screen.save(os.path.join(screen.artifacts, "opened.png"))
        print(f"e2e: `pintu {name}` shows its picture at {origin}"
              f"{' to the pixel' if exact else ''}")
        play_to_win(screen, origin, picture, 9, "opened")
        screen.click(origin[0] + END_BUTTON[0], origin[1] + END_BUTTON[1])
        code = game.wait(timeout=10)
        if code != 0:
            sys.exit(f"e2e: `pintu {name}` ended with status {code}")
    finally:
        if game.poll() is None:
            game.kill()
        err = game.stderr.read().decode(errors="replace") if game.stderr else ""
        if err.strip():
            print(f"`pintu {name}`'s standard error:\n" + err)


def refused_count(screen, origin, entry):
    """A count that is no square brings an untitled message: its title bar is really empty."""
    start_game(screen, origin, entry)

    def message():
        return message_box(screen)
    window, names = wait_for("the refusal", message)
    if any(not line.rstrip().endswith("=") and "not found" not in line
           for line in names.strip().splitlines()):
        sys.exit(f"e2e: the untitled message box shows a title: {names!r}")
    screen.save(os.path.join(screen.artifacts, "refusal.png"))
    screen.xdotool("windowfocus", "--sync", window)
    screen.xdotool("key", "Return")
    wait_for("the refusal to close", lambda: message() is None or None)
    print(f"e2e: {entry} refused in a box with an empty title bar")


def many_pieces(screen, origin, picture, pieces):
    """A game of many tiles starts at once, and one drag swaps two of them."""
    ox, oy = origin
    before = screen.grab()
    started = time.monotonic()
    start_game(screen, origin, pieces)
    wait_for("the tiles", lambda: not np.array_equal(screen.grab(), before) or None)
    print(f"e2e: {pieces} tiles shown {time.monotonic() - started:.2f} s after Start was clicked "
          "(input box and typing included)")
    time.sleep(0.3)
    side = int(round(pieces ** 0.5))
    cells = grid(picture.shape[1], picture.shape[0], side)
    # Away from slot 1, where the keyboard's focus frame is.
    a, b = cells[2 * side + 2], cells[side * side // 2 + side // 2]
    shot = screen.grab()

    def region(img, cell):
        x, y, w, h = cell
        return img[oy + y: oy + y + h, ox + x: ox + x + w].copy()
    ra, rb = region(shot, a), region(shot, b)
    if np.array_equal(ra, rb):
        sys.exit("e2e: the two tiles to swap look alike")
    screen.drag((ox + a[0] + a[2] // 2, oy + a[1] + a[3] // 2),
                (ox + b[0] + b[2] // 2, oy + b[1] + b[3] // 2))
    time.sleep(0.3)
    shot = screen.grab()
    if not (np.array_equal(region(shot, a), rb) and np.array_equal(region(shot, b), ra)):
        print(a, b, ra[:, :, 0], rb[:, :, 0], region(shot, a)[:, :, 0], region(shot, b)[:, :, 0])
        screen.save(os.path.join(screen.artifacts, f"pieces-{pieces}-failed.png"))
        sys.exit(f"e2e: the drag did not swap two of {pieces} tiles")
    screen.save(os.path.join(screen.artifacts, f"pieces-{pieces}.png"))
    print(f"e2e: one drag swapped two of {pieces} tiles")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--program", required=True)
    ap.add_argument("--picture", required=True)
    ap.add_argument("--artifacts", required=True)
    ap.add_argument("--pieces", type=int, default=16)
    args = ap.parse_args()
    os.makedirs(args.artifacts, exist_ok=True)
    picture = np.asarray(Image.open(args.picture).convert("RGB"), dtype=np.int16)

    # -noreset: the server stays as it is when its last program ends, ready at once for the
    # next one (`pintu FILE` starts after the first game has ended).
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                             "-noreset"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    display = ":" + xvfb.stdout.readline().decode().strip()
    screen = Screen(display)
    screen.artifacts = args.artifacts
    a11y = Accessibility()
    env = dict(screen.env, QT_QPA_PLATFORM="xcb", **a11y.env())
    env.pop("QT_SCALE_FACTOR", None)
    # The chooser opens at the program's current folder: one with a picture of ours.
    folder = tempfile.TemporaryDirectory()
    choice = make_choice(folder.name)
    photo = make_photo(folder.name)
    drawing = make_drawing(folder.name)
    make_hostile(folder.name)
    walls = subprocess.run([os.path.join(os.path.dirname(os.path.abspath(args.program)),
                                         "pintu-decode"), "--walls"],
                           check=True, capture_output=True, text=True).stdout
    print("e2e: the decoding process's walls on this machine:\n" + walls.strip())
    for wall in ("no-new-privileges", "Landlock", "seccomp"):
        if f"{wall}: up" not in walls:
            sys.exit(f"e2e: the decoding process cannot raise its {wall} wall here")
    game = subprocess.Popen([os.path.abspath(args.program)], env=env, cwd=folder.name,
                            stderr=subprocess.PIPE)
    watch = DecoderWatch(game.pid)
    watch.start()
    try:
        origin = wait_for("the puzzle window", lambda: find_picture(screen.grab(), picture))
        print(f"e2e: whole picture at {origin} on {display}")
        ox, oy = origin
        screen.save(os.path.join(args.artifacts, "start.png"))

        play_to_win(screen, origin, picture, args.pieces, "default", a11y)
        refused_count(screen, origin, "10")
        play_with_keys(screen, origin, picture, 9)

        # Return on Start begins again; Space in a game never ends the program.
        puzzle = screen.window_named("^拼圖$")
        screen.xdotool("windowfocus", "--sync", puzzle)
        screen.xdotool("key", "Return")
        enter_count(screen, 4)
        screen.xdotool("windowfocus", "--sync", puzzle)
        for _ in range(5):
            screen.xdotool("key", "space")
        time.sleep(0.5)
        if game.poll() is not None:
            sys.exit("e2e: Space during a game ended the program")
        print("e2e: Return started a new game; Space during it left the program running")

        # Load picture in the middle of that game; then a cancelled count.
        choose_picture(screen, origin, choice)
        screen.click(ox + START_BUTTON[0], oy + START_BUTTON[1])
        box = wait_for("the piece-count box again", lambda: screen.window_named("輸入圖片分割數"))
        screen.xdotool("windowfocus", "--sync", box)
        screen.xdotool("key", "Escape")
        wait_for("the input box to close", lambda: screen.window_named("輸入圖片分割數") is None)

        # An SVG, drawn at its own size.
        choose_picture(screen, origin, drawing, down=1)
        # The photo lies past a hostile file, which is refused on the way.
        shown = choose_picture(screen, origin, photo, down=3, fitted=(607, 455), refused={2})
        many_pieces(screen, origin, shown, 10000)
        # Load picture in the middle of a game: the same photo again, played to the win. Every
        # picture was decoded behind the walls; this one is seen so from outside.
        watch.seen.clear()
        shown = choose_picture(screen, origin, photo, down=3, fitted=(607, 455), refused={2})
        if not watch.walled():
            sys.exit(f"e2e: no decoding process of the photo was seen behind its walls: {watch.seen}")
        print(f"e2e: the photo's decoding processes seen behind their walls: "
              f"{len(watch.walled())} of {len(watch.seen)} (NoNewPrivs 1, Seccomp 2)")
        play_to_win(screen, origin, shown, 9, "photo")

        # End closes the program at once.
        screen.click(ox + END_BUTTON[0], oy + END_BUTTON[1])
        code = game.wait(timeout=10)
        if code != 0:
            sys.exit(f"e2e: the program ended with status {code}")
        # Its spare decoder, waiting for a file, ended with it.
        seen = sorted(watch.seen)
        wait_for("no decoding process left", lambda: not any(decoder_alive(pid) for pid in seen))
        print(f"e2e: none of the {len(seen)} decoding processes seen outlived the program")

        # Made only now: the chooser above finds its files by their places in the list.
        opened = make_opened(folder.name)
        opened_at_start(screen, os.path.abspath(args.program), env, folder.name, opened)
        print("e2e: 1 passed, 0 failed")
    finally:
        watch.stopping.set()
        if game.poll() is None:
            game.kill()
        err = game.stderr.read().decode(errors="replace") if game.stderr else ""
        if err.strip():
            print("program's standard error:\n" + err)
        xvfb.kill()
        a11y.close()
        folder.cleanup()


if __name__ == "__main__":
    main()
