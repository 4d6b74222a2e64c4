"""The browser edition in headless Chromium, against stand-in controllers that run the virtual
controller's own protocol code (strict, as real ones) and a stand-in MIDI keyboard.

Usage: web_e2e.py --page DIR --play PATH --work DIR [--screenshot PATH] SCENARIO...
Scenarios: schedules (whole pieces planned by the page's engine, every report against tavrel-play
--schedule), tune, midi, bnvib, wav (each played on the page and checked report for report against
tavrel-play --schedule with the same options), usb (a Pro Controller's handshake), several (a
right and a left Joy-Con, one unplugged while playing), stop, close (the page closed while
playing), refused (a file the engine refuses, said as tavrel-play says it), asking (refused and
empty requests, remembered controllers), silent (a controller that never answers), no-webhid, live (a
melody from the stand-in keyboard), capture (tones from Chromium's stand-in microphone). Exits 0 when every check passed, 1 with the failures listed.
"""
import argparse
import functools
import http.server
import json
import os
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import types
import wave
import math
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(SOURCE, "tests", "e2e"))
sys.path.insert(0, os.path.join(SOURCE, "tests", "midi"))
import tavrel_model as model  # noqa: E402
from play_e2e import check_played, collapse  # noqa: E402
from schedule_places import parse_schedules  # noqa: E402
from rumble_blocks import SILENT, decode, resting_state  # noqa: E402
from tavrel_e2e import TEAR_DOWN_TAIL, Checks, tail_of, writes_of  # noqa: E402

from selenium import webdriver  # noqa: E402
from selenium.webdriver.chrome.service import Service  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402

TUNE = "t40 o4 c8 e8 g8 >c8 r4 <g8 e8 c8\n"
PLAY_LIMIT_S = 60
STRICT = {"TAVREL_VJ_STRICT": "1"}
STREAM_SPACING_MS = 12  # the least gap a stream keeps after a slow write
CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
HIGH_STEP_OFFSET = 160  # the high band's frequency code + this is its tone step


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def serve(folder):
    """The built page on an unused port of localhost, where WebHID is allowed."""
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), functools.partial(QuietHandler, directory=folder))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


MICROPHONE_TONES = [(0.3, 0), (0.8, 440), (0.8, 660), (0.3, 0)]  # (seconds, Hz; 0 silence), over and over
MICROPHONE_RATE = 48000


def write_tones(path):
    """The stand-in microphone's sound: tones with two harmonics, as a 16-bit WAV."""
    frames, phase = bytearray(), 0.0
    for seconds, hz in MICROPHONE_TONES:
        for _ in range(int(seconds * MICROPHONE_RATE)):
            phase += 2 * math.pi * hz / MICROPHONE_RATE
            v = sum(0.3 / h * math.sin(h * phase) for h in (1, 2, 3)) if hz else 0.0
            frames += struct.pack("<h", int(32767 * v))
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(MICROPHONE_RATE)
        w.writeframes(bytes(frames))


class Browser:
    """One headless Chromium with a profile of its own, the stand-ins injected before every page."""

    def __init__(self, args, url):
        self.args, self.url, self.scripts = args, url, []
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        self.profile = tempfile.mkdtemp(prefix="profile-", dir=args.work)
        # The microphone is a stand-in too: Chromium's fake device, playing known tones, allowed
        # without asking.
        microphone = os.path.join(args.work, "microphone.wav")
        write_tones(microphone)
        for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                     "--disable-background-networking", "--disable-component-update", "--disable-sync",
                     "--disable-dev-shm-usage", "--window-size=1100,1400", "--user-data-dir=" + self.profile,
                     "--use-fake-ui-for-media-stream", "--use-fake-device-for-media-stream",
                     "--use-file-for-fake-audio-capture=" + microphone):
            options.add_argument(flag)
        self.driver = webdriver.Chrome(options=options, service=Service(CHROMEDRIVER))
        self.driver.execute_cdp_cmd("Page.enable", {})

    def open(self, hid=None, midi=None, no_webhid=False):
        """Loads the page with the stand-in controllers hid (their config) and keyboard midi."""
        for identifier in self.scripts:
            self.driver.execute_cdp_cmd("Page.removeScriptToEvaluateOnNewDocument", {"identifier": identifier})
        sources = []
        if no_webhid:
            sources.append("delete Navigator.prototype.hid;")
        if hid is not None:
            sources.append("window.__vjConfig = %s;\n%s" % (json.dumps(hid), read(os.path.join(HERE, "hid_stand_in.js"))))
        if midi is not None:
            sources.append("window.__midiConfig = %s;\n%s" % (json.dumps(midi),
                                                             read(os.path.join(HERE, "midi_stand_in.js"))))
        self.scripts = [self.driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": s})["identifier"]
                        for s in sources]
        self.driver.get(self.url + "index.html")
        self.wait(lambda: self.js("return document.body.dataset.engine") == "ready" or self.message(), 20)

    def js(self, script, *arguments):
        return self.driver.execute_script(script, *arguments)

    def wait(self, condition, limit_s=PLAY_LIMIT_S):
        end = time.monotonic() + limit_s
        while time.monotonic() < end:
            if condition():
                return True
            time.sleep(0.05)
        return False

    def state(self):
        return self.js("return document.body.dataset.state")

    def message(self):
        return self.js("const m = document.getElementById('message'); return m.hidden ? '' : m.textContent")

    def click(self, element_id):
        self.driver.find_element(By.ID, element_id).click()

    def connect(self, count):
        self.click("connect")
        return self.wait(lambda: len(self.driver.find_elements(By.CSS_SELECTOR, "#controllers li:not(.none)")) == count, 10)

    def open_file(self, path):
        self.driver.find_element(By.ID, "file").send_keys(path)
        self.wait(lambda: self.js("return document.getElementById('listing').textContent") or self.message(), 60)

    def set_choice(self, name, value):
        self.js("const e = document.querySelector('#choices [name=' + arguments[0] + ']'); e.value = arguments[1];"
                "e.dispatchEvent(new Event('change', {bubbles: true}));", name, str(value))

    def play(self):
        self.click("play")
        self.wait(lambda: self.state() == "playing" or self.message(), 20)

    def finished(self, limit_s=PLAY_LIMIT_S):
        return self.wait(lambda: self.state() == "idle", limit_s)

    def events(self, tag, k=0):
        """Controller k's log, kept in the work folder, as events."""
        path = os.path.join(self.args.work, "%s.log%s" % (tag, "" if k == 0 else ".%d" % (k + 1)))
        with open(path, "w") as f:
            f.write(self.js("return window.__vj.log(arguments[0])", k))
        return model.parse_log(path)

    def quit(self):
        self.driver.quit()
        shutil.rmtree(self.profile, ignore_errors=True)


def read(path):
    with open(path) as f:
        return f.read()


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def write_file(args, name, data):
    path = os.path.join(args.work, name)
    with open(path, "wb" if isinstance(data, bytes) else "w") as f:
        f.write(data)
    return path


def native(args, *arguments):
    return subprocess.run([args.play] + list(arguments), capture_output=True, text=True, timeout=120)


def schedules_of(args, path, *options):
    run = native(args, "--schedule", *options, path)
    if run.returncode != 0:
        raise SystemExit("tavrel-play --schedule failed: %s" % run.stderr[:300])
    return parse_schedules(run.stdout)


def played(events):
    return types.SimpleNamespace(status=0, stderr="", events=events, platform=types.SimpleNamespace(stamp_jitter_ns=0))


def play_and_check(browser, args, c, name, path, options=(), choices=(), hid=None, kinds=("right",), usb=False,
                   interval_ms=15):
    """Plays path on the page with choices, then checks every controller's log against
    tavrel-play --schedule with the same options. A stream's reports may come as little as
    interval_ms apart after a slow write."""
    variables = dict(STRICT, TAVREL_VJ_CONTROLLER=",".join(kinds), TAVREL_VJ_SPACING_MS=str(interval_ms))
    hid = hid or {"variables": variables}
    browser.open(hid=hid)
    c.expect(browser.connect(len(kinds)), "the controllers are not listed after connecting")
    for choice, value in choices:
        browser.set_choice(choice, value)
    browser.open_file(path)
    c.expect(not browser.message(), "the page says %r" % browser.message())
    browser.play()
    c.expect(browser.finished(), "%s did not finish playing" % name)
    schedules = schedules_of(args, path, "--controller", ",".join(kinds), *options)
    for k in range(len(kinds)):
        events = browser.events(name, k)
        sub = Checks("%s on controller %d" % (name, k + 1))
        check_played(sub, played(events), schedules[k][0], lamp=1 << k, usb=usb, interval_ns=interval_ms * 1_000_000)
        c.failures += sub.failures
    c.expect(browser.message() == "Played.", "at the end the page says %r" % browser.message())
    return schedules


def scenario_tune(browser, args):
    """A text tune played, then saved as a .bnvib: the same bytes as tavrel-play --write-bnvib."""
    c = Checks("text tune")
    path = write_file(args, "tune.txt", TUNE)
    play_and_check(browser, args, c, "tune", path, options=["--volume", "80", "--release", "40"],
                   choices=[("volume", 80), ("release", 40)], interval_ms=STREAM_SPACING_MS)
    saved = os.path.join(args.work, "tune.bnvib")
    if os.path.exists(saved):
        os.remove(saved)
    browser.driver.execute_cdp_cmd("Browser.setDownloadBehavior", {"behavior": "allow", "downloadPath": args.work})
    browser.click("save")
    c.expect(browser.wait(lambda: os.path.exists(saved) and os.path.getsize(saved) > 0, 10), "nothing saved")
    wanted = os.path.join(args.work, "tune-native.bnvib")
    native(args, "--volume", "80", "--release", "40", "--write-bnvib", wanted, path)
    c.expect(os.path.exists(saved) and read_bytes(saved) == read_bytes(wanted),
             "the saved .bnvib differs from tavrel-play --write-bnvib's")
    return c


def scenario_midi(browser, args):
    import fixtures  # noqa: E402 (needs midiutil)
    c = Checks("MIDI file")
    path = os.path.join(args.work, "ensemble.mid")
    fixtures.ensemble(path, bars=1)
    play_and_check(browser, args, c, "midi", path, options=["--transpose", "2", "--tempo", "150"],
                   choices=[("transpose", 2), ("tempo", 150)])
    return c


def scenario_bnvib(browser, args):
    c = Checks("rumble file")
    tune = write_file(args, "shaped.txt", TUNE)
    path = os.path.join(args.work, "shaped.bnvib")
    made = native(args, "--attack", "30", "--release", "60", "--write-bnvib", path, tune)
    c.expect(made.returncode == 0, "tavrel-play --write-bnvib failed: %s" % made.stderr[:200])
    play_and_check(browser, args, c, "bnvib", path, interval_ms=STREAM_SPACING_MS)
    return c


def make_wav(args, name, channels=1, seconds=1.5):
    """Tones that change and stop: 220 then 330 Hz (the right channel a fifth above), then silence."""
    path = os.path.join(args.work, name)
    rate = 22050
    with wave.open(path, "wb") as w:
        w.setnchannels(channels)
        w.setsampwidth(2)
        w.setframerate(rate)
        frames = bytearray()
        for i in range(int(rate * seconds)):
            hz = 220 if i < rate * seconds * 0.45 else 330
            level = 0.5 if i < rate * seconds * 0.85 else 0.0
            for ch in range(channels):
                wave_at = math.sin(2 * math.pi * hz * (1.5 if ch else 1.0) * i / rate)
                frames += struct.pack("<h", int(32767 * level * wave_at))
        w.writeframes(bytes(frames))
    return path


def scenario_wav(browser, args):
    c = Checks("sound file")
    play_and_check(browser, args, c, "wav", make_wav(args, "tones.wav"), interval_ms=STREAM_SPACING_MS)
    return c


def scenario_usb(browser, args):
    c = Checks("a Pro Controller on USB")
    hid = {"variables": dict(STRICT, TAVREL_VJ_CONTROLLER="pro", TAVREL_VJ_BUS="usb", TAVREL_VJ_DROP="48")}
    play_and_check(browser, args, c, "usb", write_file(args, "tune.txt", TUNE), hid=hid, kinds=("pro",), usb=True)
    return c


def tune_playing(browser, args, c, kinds, tag, **variables):
    """A long tune playing on the page on controllers of kinds (with the TAVREL_VJ_ variables given)."""
    browser.open(hid={"variables": dict(STRICT, TAVREL_VJ_CONTROLLER=",".join(kinds), **variables)})
    c.expect(browser.connect(len(kinds)), "the controllers are not listed after connecting")
    browser.open_file(write_file(args, tag + ".txt", TUNE * 6))
    browser.play()
    c.expect(browser.state() == "playing", "not playing: %r, %r" % (browser.state(), browser.message()))
    time.sleep(1.0)


def check_torn_down(c, events, what, found_mode=0x3F):
    writes = writes_of(events)
    tail = list(TEAR_DOWN_TAIL)
    tail[-1] = (0x01, bytes([model.SUB_MODE, found_mode]))
    c.expect(tail_of(writes) == tail, "%s does not end with the tear-down: %r" % (what, tail_of(writes)))
    faults = [e for e in events if e[1] == "fault"]
    c.expect(not faults, "%s: faults logged %r" % (what, faults[:3]))
    close = [i for i in range(1, len(writes)) if writes[i][0] - writes[i - 1][0] < 15_000_000 - 500_000]
    c.expect(not close, "%s: writes closer than the interval at %r" % (what, close[:3]))


def scenario_stop(browser, args):
    c = Checks("Stop")
    # A controller low on battery plays, and the page warns, as tavrel-play does.
    tune_playing(browser, args, c, ["right"], "stop", TAVREL_VJ_BATTERY="low")
    listed = browser.js("return document.querySelector('#controllers li').textContent")
    c.expect("may switch itself off while playing" in listed, "no warning of a low battery: %r" % listed)
    browser.click("stop")
    c.expect(browser.finished(), "Stop did not end the play")
    check_torn_down(c, browser.events("stop"), "the controller")
    c.expect(browser.message() == "Stopped.", "the page says %r" % browser.message())
    return c


def scenario_several(browser, args):
    c = Checks("two controllers, one unplugged")
    tune_playing(browser, args, c, ["right", "left"], "several")
    if args.screenshot:
        browser.driver.save_screenshot(args.screenshot)
    browser.js("window.__vj.unplug(1)")
    c.expect(browser.finished(), "the play did not end when a controller was unplugged")
    check_torn_down(c, browser.events("several", 0), "the right Joy-Con")
    gone = browser.events("several", 1)
    c.expect(gone and gone[-1][1] == "close", "the unplugged one is not closed last: %r" % gone[-1:])
    c.expect("left Joy-Con was disconnected" in browser.message(), "the page says %r" % browser.message())
    c.expect(browser.js("return document.querySelectorAll('#controllers li:not(.none)').length") == 1,
             "the unplugged controller is still listed")
    return c


def scenario_close(browser, args):
    c = Checks("the page closed while playing")
    tune_playing(browser, args, c, ["right"], "close")
    # The stand-in keeps its log across the page's end, in the tab's session storage.
    browser.js("window.addEventListener('pagehide', () => sessionStorage.setItem('vj-log', window.__vj.log(0)));")
    browser.driver.get(browser.url + "test/")
    path = os.path.join(args.work, "close.log")
    with open(path, "w") as f:
        f.write(browser.js("return sessionStorage.getItem('vj-log') || ''"))
    check_torn_down(c, model.parse_log(path), "the controller")
    return c


def scenario_refused(browser, args):
    c = Checks("a refused file")
    path = write_file(args, "photo.mid", b"\xff\xd8\xff\xe0\x00\x10JFIF\x00" + bytes(200))
    said = native(args, "--schedule", path).stderr.strip()
    browser.open(hid={"variables": STRICT})
    browser.open_file(path)
    expected = said[len("tavrel-play: "):] if said.startswith("tavrel-play: ") else said
    c.expect(said and browser.message() == expected.replace(path, "photo.mid"),
             "the page says %r where tavrel-play says %r" % (browser.message(), said))
    c.expect(browser.js("return document.getElementById('play').disabled"), "Play is offered for a refused file")
    return c


def scenario_asking(browser, args):
    """What the page says when the user refuses the browser's request or chooses nothing, and
    that it lists by itself the controllers the browser remembers."""
    c = Checks("asking for controllers")
    browser.open(hid={"variables": STRICT, "grant": "refuse"})
    browser.click("connect")
    c.expect(browser.wait(lambda: "refused access" in browser.message(), 5), "refused: the page says %r" % browser.message())
    browser.open(hid={"variables": STRICT, "grant": "none"})
    browser.click("connect")
    c.expect(browser.wait(lambda: "No controller was chosen" in browser.message(), 5),
             "none chosen: the page says %r" % browser.message())
    browser.open(hid={"variables": dict(STRICT, TAVREL_VJ_CONTROLLER="right,pro"), "remembered": True})
    listed = lambda: browser.js("return [...document.querySelectorAll('#controllers li:not(.none)')].map(e => e.textContent)")
    c.expect(browser.wait(lambda: len(listed()) == 2, 5), "remembered controllers listed: %r" % listed())
    c.expect(listed() and listed()[0].startswith("right Joy-Con") and listed()[1].startswith("Pro Controller"),
             "named %r" % listed())
    return c


def scenario_silent(browser, args):
    """A controller that takes reports but never answers: the page says so, plays nothing, and
    still sends the tear-down."""
    c = Checks("a controller that does not answer")
    browser.open(hid={"variables": dict(STRICT, TAVREL_VJ_MODE="silent")})
    browser.connect(1)
    browser.open_file(write_file(args, "tune.txt", TUNE))
    browser.click("play")
    c.expect(browser.wait(lambda: "does not answer" in browser.message(), 20), "the page says %r" % browser.message())
    c.expect(browser.finished(), "the page did not come back")
    writes = writes_of(browser.events("silent"))
    rumble = [i for i, w in enumerate(writes) if w[2][0] == 0x10]
    c.expect(len(rumble) == 1, "%d rumble reports sent to a controller that never answered" % len(rumble))
    # Each subcommand of the tear-down is tried three times: once each is what it sends.
    ops = collapse([(w[2][0], bytes(w[2][2:6]) if w[2][0] == 0x10 else bytes(w[2][10:12])) for w in writes])
    c.expect(ops[-4:] == TEAR_DOWN_TAIL, "no tear-down at the end: %r" % ops[-4:])
    return c


def scenario_no_webhid(browser, args):
    c = Checks("a browser without WebHID")
    browser.open(no_webhid=True)
    c.expect("use Chrome or Edge on a computer" in browser.message(), "the page says %r" % browser.message())
    c.expect(browser.js("return document.getElementById('connect').disabled"), "Connect is offered")
    return c


# (ms after the page starts listening, bytes): single notes well apart, then a chord.
MELODY = [[300, 0x90, 72, 100], [550, 0x80, 72, 0], [650, 0x90, 74, 90], [900, 0x80, 74, 0],
          [1000, 0x90, 60, 100, 0x90, 67, 100], [1400, 0x80, 60, 0, 0x80, 67, 0]]


def scenario_live(browser, args):
    from midiutil import MIDIFile
    c = Checks("live from a MIDI keyboard")
    browser.open(hid={"variables": dict(STRICT, TAVREL_VJ_CONTROLLER="right")}, midi={"melody": MELODY})
    c.expect(browser.connect(1), "the controller is not listed")
    browser.click("live-start")
    c.expect(browser.wait(lambda: browser.state() == "playing", 10), "live play did not start: %r" % browser.message())
    time.sleep(2.0)
    browser.click("stop")
    c.expect(browser.finished(), "Stop did not end live play")
    events = browser.events("live")
    check_torn_down(c, events, "the controller")
    # The same notes as a file: what sounds changes through the same blocks.
    song = MIDIFile(1, deinterleave=False)
    song.addTempo(0, 0, 60)
    notes = {}
    for at, *data in MELODY:
        for i in range(0, len(data), 3):
            status, key, velocity = data[i:i + 3]
            if status == 0x90:
                notes[key] = (at, velocity)
            else:
                start, velocity = notes.pop(key)
                song.addNote(0, 0, key, start / 1000, (at - start) / 1000, velocity)
    path = os.path.join(args.work, "melody.mid")
    with open(path, "wb") as f:
        song.writeFile(f)
    reports = schedules_of(args, path, "--controller", "right")[0][0]
    rumble = [w for w in writes_of(events) if w[2][0] == 0x10]
    live = collapse([bytes(w[2][2:6]) for w in rumble])
    wanted = collapse([bytes(model.SILENCE)] + [r[1][:4] for r in reports])
    c.expect(live == wanted, "live %r, as a file %r" % ([b.hex() for b in live], [b.hex() for b in wanted]))
    return c


ENGINE_SCHEDULES = """
const [cases, done] = [arguments[0], arguments[arguments.length - 1]];
(async () => {
  const e = await import('/engine.js');
  const m = await e.LoadEngine();
  const hex = (bytes) => Array.from(bytes, (b) => b.toString(16).padStart(2, '0')).join('');
  const out = [];
  for (const c of cases) {
    const bytes = Uint8Array.from(atob(c.data), (ch) => ch.charCodeAt(0));
    e.SetChoices(m, c.choices);
    const refused = await e.ReadMusicBytes(m, bytes, c.name, null);
    if (refused) { out.push({refused}); continue; }
    const n = e.PlanFor(m, c.productIds);
    const schedules = [];
    for (let k = 0; k < n; ++k)
      schedules.push(e.PlannedSchedule(m, k).map((r) => [Math.round(r.dueMs * 1000), hex(r.bytes)]));
    out.push({schedules, length: m._EngineLengthMs(0)});
  }
  done(out);
})().catch((x) => done(String(x)));
"""

PRODUCT_IDS = {"right": 0x2007, "left": 0x2006, "pro": 0x2009}
DEFAULT_CHOICES = {"volume": 100, "tempo": 100, "transpose": 0, "loops": 1, "startMs": 0, "attackMs": 0,
                   "releaseMs": 0, "minIntervalMs": 15, "tracks": "", "channels": "", "soundChannel": 0}


def scenario_schedules(browser, args):
    """Every report of whole pieces, as the page's engine plans them, against tavrel-play
    --schedule: the same C++ built twice, by two compilers against two standard libraries."""
    import base64
    import fixtures  # noqa: E402 (needs midiutil)
    c = Checks("schedules of whole pieces")
    ensemble = os.path.join(args.work, "ensemble-long.mid")
    fixtures.ensemble(ensemble, bars=4)
    shaped = os.path.join(args.work, "shaped-long.bnvib")
    native(args, "--release", "50", "--write-bnvib", shaped, os.path.join(SOURCE, "examples", "greensleeves.txt"))
    midi = os.path.join(SOURCE, "examples", "greensleeves.mid")
    cases = [  # (path, kinds, options, choices)
        (os.path.join(SOURCE, "examples", "greensleeves.txt"), ["right"], [], {}),
        (os.path.join(SOURCE, "examples", "two-voices.txt"), ["pro"], ["--volume", "70", "--attack", "20", "--release", "40"],
         {"volume": 70, "attackMs": 20, "releaseMs": 40}),
        (midi, ["right"], [], {}),
        (midi, ["right", "left", "pro"], [], {}),
        (midi, ["left"], ["--tracks", "2,3", "--transpose", "-3", "--tempo", "120", "--start", "5", "--loop", "2"],
         {"tracks": "2,3", "transpose": -3, "tempo": 120, "startMs": 5000, "loops": 2}),
        (ensemble, ["right", "pro"], ["--channels", "1,2"], {"channels": "1,2"}),
        (shaped, ["pro"], [], {}),
    ]
    stereo = make_wav(args, "stereo.wav", channels=2, seconds=4)
    cases += [(stereo, ["pro"], [], {}), (stereo, ["right"], ["--channel", "right"], {"soundChannel": 2})]
    given = []
    for path, kinds, _, choices in cases:
        with open(path, "rb") as f:
            given.append({"name": os.path.basename(path), "data": base64.b64encode(f.read()).decode(),
                          "productIds": [PRODUCT_IDS[k] for k in kinds], "choices": dict(DEFAULT_CHOICES, **choices)})
    browser.open(hid={"variables": STRICT})
    browser.driver.set_script_timeout(120)
    planned = browser.driver.execute_async_script(ENGINE_SCHEDULES, given)
    if not c.expect(isinstance(planned, list), "the page's engine failed: %r" % planned):
        return c
    for (path, kinds, options, _), page in zip(cases, planned):
        what = "%s on %s %s" % (os.path.basename(path), ",".join(kinds), " ".join(options))
        if not c.expect("schedules" in page, "%s: the page's engine refused it: %r" % (what, page)):
            continue
        wanted = schedules_of(args, path, "--controller", ",".join(kinds), *options)
        for k, (reports, _) in enumerate(wanted):
            mine = [(due, bytes.fromhex(data)) for due, data in page["schedules"][k]]
            theirs = [(due // 1000, data if len(data) == 8 else data * 2) for due, data in reports]
            differ = [i for i, (a, b) in enumerate(zip(mine, theirs)) if a != b]
            c.expect(len(mine) == len(theirs) and not differ,
                     "%s, controller %d: %d reports on the page, %d from tavrel-play; first differing: %r" %
                     (what, k + 1, len(mine), len(theirs), [(mine[i][0], mine[i][1].hex(), theirs[i][0], theirs[i][1].hex()) for i in differ[:1]]))
    return c


def scenario_capture(browser, args):
    """The stand-in microphone played: its tones come out on the high band; Stop restores."""
    c = Checks("microphone")
    browser.open(hid={"variables": STRICT})
    c.expect(browser.connect(1), "the controller is not listed after connecting")
    browser.click("capture-microphone")
    c.expect(browser.wait(lambda: browser.state() == "playing", 20), "not playing: %r" % browser.message())
    time.sleep(3.0)  # more than one pass of the tones
    browser.click("stop")
    c.expect(browser.finished(), "Stop did not end the capture")
    events = browser.events("capture")
    check_torn_down(c, events, "the controller")
    state, steps = resting_state(), []
    for w in writes_of(events):
        if w[2][0] == 0x10:
            steps += [s[0][1] + HIGH_STEP_OFFSET for s in decode(w[2][6:10], state) if s[0][0] > SILENT]
    for hz in (440, 660):
        step = round(32 * math.log2(hz / 10))
        found = sum(1 for s in steps if abs(s - step) <= 1)
        c.expect(found > 40, "%d Hz: %d samples on the high band" % (hz, found))
    c.expect(browser.message() == "Stopped.", "the page says %r" % browser.message())
    return c


SCENARIOS = {"schedules": scenario_schedules, "tune": scenario_tune, "midi": scenario_midi, "bnvib": scenario_bnvib, "wav": scenario_wav,
             "usb": scenario_usb, "several": scenario_several, "stop": scenario_stop, "close": scenario_close,
             "refused": scenario_refused, "asking": scenario_asking, "silent": scenario_silent, "no-webhid": scenario_no_webhid, "live": scenario_live,
             "capture": scenario_capture}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--page", required=True)
    parser.add_argument("--play", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--screenshot")
    parser.add_argument("scenarios", nargs="+", choices=sorted(SCENARIOS))
    args = parser.parse_args()
    args.work = os.path.abspath(args.work)  # the browser takes files by absolute path
    os.makedirs(args.work, exist_ok=True)
    server = serve(args.page)
    browser = Browser(args, "http://127.0.0.1:%d/" % server.server_address[1])
    failures = []
    try:
        for name in args.scenarios:
            started = time.monotonic()
            try:
                c = SCENARIOS[name](browser, args)
            except Exception as e:  # one scenario's failure does not hide the others' results
                c = Checks(name)
                c.expect(False, "%s: %s" % (type(e).__name__, str(e).split("\n")[0]))
            print("%s: %s (%.1f s)" % (name, "ok" if not c.failures else "FAILED", time.monotonic() - started))
            failures += ["%s: %s" % (c.name, f) for f in c.failures]
    finally:
        browser.quit()
        server.shutdown()
    for f in failures:
        print("FAIL " + f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
