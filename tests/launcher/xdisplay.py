"""What the launcher's display tests share: windows found and measured with
xdotool, screenshots, a display of a test's own, and the report of a window
that did not come.

Environment: DISPLAY; SYNAPTOR_SHOTS, the folder for screenshots of failures
(set by the tests' CMake files)."""

import contextlib
import os
import shutil
import subprocess
import tempfile
import time

SHOTS = os.environ.get("SYNAPTOR_SHOTS") or tempfile.gettempdir()
PLATFORM = os.environ.get("SYNAPTOR_PLATFORM", "linux")


def run(*args, timeout=30, env=None):
    return subprocess.run(args, capture_output=True, text=True, timeout=timeout, env=env)


def wait_for(predicate, timeout=20.0, step=0.1):
    """The predicate's first true value within the time, else None."""
    end = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() > end:
            return value or None
        time.sleep(step)


def find_window(title):
    """The newest visible window whose whole title matches the pattern."""
    out = run("xdotool", "search", "--onlyvisible", "--name", f"^{title}$").stdout.split()
    return out[-1] if out else None


def geometry(window):
    """The window's (x, y, width, height) on the screen, or None once it is gone."""
    fields = dict(line.split("=", 1) for line in
                  run("xdotool", "getwindowgeometry", "--shell", window).stdout.split() if "=" in line)
    keys = ("X", "Y", "WIDTH", "HEIGHT")
    return tuple(int(fields[k]) for k in keys) if all(k in fields for k in keys) else None


def visible_windows():
    """Each visible window as "id 'title'"."""
    return [f"{w} {run('xdotool', 'getwindowname', w).stdout.strip()!r}"
            for w in run("xdotool", "search", "--onlyvisible", "--name", ".*").stdout.split()]


def screenshot(name):
    """The whole display saved under SHOTS; its path."""
    os.makedirs(SHOTS, exist_ok=True)
    path = os.path.join(SHOTS, f"{PLATFORM}-{name}.png")
    run("import", "-window", "root", path)
    return path


def tail(path, size=1500):
    try:
        with open(path, errors="replace") as f:
            return f.read()[-size:]
    except FileNotFoundError:
        return ""


def cpu_time(pid):
    """The process's state and processor time so far: tells a busy program from a waiting one."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return f"state {fields[0]}, cpu {(int(fields[11]) + int(fields[12])) / os.sysconf('SC_CLK_TCK'):.1f} s"
    except OSError:
        return "gone"


def what_was_there(proc, output, name, extra=""):
    """For a failed wait on a program's window: its exit status (None while it
    runs), the end of its error output (a file), the windows there are, and a
    screenshot."""
    return (f"; exit status {proc.poll()}, error output {tail(output)!r}{extra}, "
            f"windows {visible_windows()}, screenshot {screenshot('failed-' + name)}")


@contextlib.contextmanager
def own_display():
    """A display of the caller's own for as long as the block runs; its name.
    Xvfb takes the first number it can hold (lock file and every socket, the
    abstract one that a chroot shares with the machine around it included)."""
    folder = tempfile.mkdtemp(prefix="own-display-")
    number_file = os.path.join(folder, "number")
    log = os.path.join(folder, "xvfb.log")
    with open(number_file, "w") as number, open(log, "w") as out:
        server = subprocess.Popen(["Xvfb", "-displayfd", str(number.fileno()), "-screen", "0", "1920x1080x24",
                                   "-nolisten", "tcp", "-noreset"], pass_fds=(number.fileno(),), stdout=out, stderr=out)
    try:
        def told():
            with open(number_file) as f:
                text = f.read()
            return text.strip() if text.endswith("\n") else None
        number = wait_for(lambda: told() or server.poll() is not None, timeout=20)
        if number is True or number is None:
            raise RuntimeError(f"Xvfb for a display of our own did not come up: {tail(log)!r}")
        display = ":" + number
        if not wait_for(lambda: run("xdpyinfo", "-display", display).returncode == 0, timeout=20):
            raise RuntimeError(f"Xvfb on {display} does not answer: {tail(log)!r}")
        yield display
    finally:
        server.terminate()
        server.wait(10)
        shutil.rmtree(folder, True)
