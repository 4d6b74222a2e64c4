"""A Wine prefix of a test's own on a private X display, for programs in Wine console windows
that the test types keys into or closes.

The prefix's server is kept up for a while after its last program and ended with the desktop:
Debian's wineserver otherwise exits the moment its last client does, and a process that
connects just then fails with "recvmsg: Connection reset by peer". No other test uses this
prefix, so ending its server can break no one else's run. Wine's system processes and its
desktop keep the standard error of the program that happened to start them for as long as the
server lives: no Wine program here gets a pipe for its output, or reading it would wait until
then.
"""
import os
import subprocess
import tempfile
import time

WINDOW_LIMIT_S = 30
TOOL_LIMIT_S = 20   # for one xdotool call
# How long the server outlives its last program: longer than any gap between a test's programs,
# short enough that a test killed on its timeout leaves no server behind for long.
PERSISTENCE_S = 60


def start_xvfb():
    """A private X display; returns the server process and the display name."""
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as f:
        number = f.readline().strip()
    if not number:
        xvfb.kill()
        raise SystemExit("Xvfb did not start")
    return xvfb, ":" + number


class WineDesktop:
    """The prefix WORK/wineprefix (made on first use) with its own server, on its own display."""

    def __init__(self, work, env):
        self.xvfb, display = start_xvfb()
        self.env = dict(env)
        self.env.update({"DISPLAY": display, "WINEPREFIX": os.path.join(work, "wineprefix")})
        quiet = {"env": self.env, "stdin": subprocess.DEVNULL, "stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
        if not os.path.isdir(self.env["WINEPREFIX"]):
            subprocess.run(["sh", "-c", "wine wineboot --init && wineserver -w"], **quiet)
        subprocess.run(["wineserver", "-p%d" % PERSISTENCE_S], **quiet)

    def console(self, command):
        """Starts COMMAND (Windows paths) in a new console window."""
        return subprocess.Popen(["wine", "wineconsole"] + command, env=self.env, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def run(self, command, limit_s):
        """Runs a Wine program to its end (killed after limit_s); returns its standard output,
        which goes through a file."""
        with tempfile.TemporaryFile() as out:
            proc = subprocess.Popen(["wine"] + command, env=self.env, stdin=subprocess.DEVNULL, stdout=out,
                                    stderr=subprocess.DEVNULL)
            try:
                proc.wait(timeout=limit_s)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
            out.seek(0)
            return out.read().decode("latin-1").replace("\r\n", "\n")

    def _tool(self, command):
        """An X tool's call, bounded: a window that never takes the focus must not hang the test."""
        try:
            return subprocess.run(command, env=self.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                  text=True, timeout=TOOL_LIMIT_S).stdout
        except subprocess.TimeoutExpired:
            return ""

    def find_window(self, name_pattern, limit_s=WINDOW_LIMIT_S):
        """The first X window whose name matches, or None after limit_s."""
        deadline = time.monotonic() + limit_s
        while time.monotonic() < deadline:
            found = self._tool(["xdotool", "search", "--name", name_pattern]).split()
            if found:
                return found[0]
            time.sleep(0.1)
        return None

    def keys(self, window, names):
        """Types the keys (xdotool names, such as ctrl+c) into the window."""
        self._tool(["xdotool", "windowfocus", "--sync", window])
        self._tool(["xdotool", "key"] + list(names))

    def close_window(self, window):
        """Asks the window to close as a window manager does when its close button is pressed:
        the WM_DELETE_WINDOW protocol message."""
        from Xlib import X, display, protocol  # python3-xlib
        screen = display.Display(self.env["DISPLAY"])
        target = screen.create_resource_object("window", int(window))
        message = protocol.event.ClientMessage(window=target, client_type=screen.intern_atom("WM_PROTOCOLS"),
                                               data=(32, [screen.intern_atom("WM_DELETE_WINDOW"), X.CurrentTime, 0, 0, 0]))
        target.send_event(message, event_mask=X.NoEventMask)
        screen.flush()
        screen.close()

    def close(self):
        """Ends this prefix's server and every process left in it, then the display."""
        quiet = {"env": self.env, "stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
        subprocess.run(["wineserver", "-k"], **quiet)
        subprocess.run(["wineserver", "-w"], **quiet)
        self.xvfb.terminate()
        self.xvfb.wait()
