# SPDX-License-Identifier: GPL-3.0-or-later
"""The walkthrough's steps on the desktop's conventions: a German session, screen readers over
AT-SPI, and the start at login. Each takes the walk and its `fail`."""
import os
import re
import shlex
import subprocess

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

def german(walk, fail):
    print("== a German session: the window speaks German, Point To Me says so")
    sim, port = walk.sim("--kind", "pcp", "--listen", "127.0.0.1:0")
    home = walk.home("german", {"RouterKind": "pcp", "LanPrivateIP": "127.0.0.1:" + port})
    t = walk.start(home, LC_ALL="de_DE.UTF-8", LANG="de_DE.UTF-8")
    t.wait("status", lambda v: v == "Erledigt", "the status word in German", timeout=20)
    walk.desk.key("alt+a")  # Alle auswählen
    walk.desk.key("alt+z")  # Zu mir weiterleiten
    made = t.wait("status", lambda v: re.fullmatch(r"\d+ Weiterleitungen angelegt", v)
                  is not None, "'N Weiterleitungen angelegt'", timeout=30)
    if len(walk.table(sim)) != int(made.split()[0]):
        fail("%s, but the router holds %d" % (made, len(walk.table(sim))))
    walk.desk.shot("walk-german-window")
    walk.desk.key("ctrl+q")
    walk.ended("Ctrl+Q", 10)


def screen_reader(walk, fail):
    print("== screen readers: every control named and focusable (AT-SPI), each window by keys")
    # A session bus of its own with the accessibility bus on it, as a desktop has.
    bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                           stdout=subprocess.PIPE, text=True, env=walk.desk.env)
    walk.desk.procs.append(bus)
    env = {"DBUS_SESSION_BUS_ADDRESS": bus.stdout.readline().strip(),
           "QT_ACCESSIBILITY": "1", "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1"}
    walk.desk.spawn(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
                    env=dict(walk.desk.env, **env))

    def walk_tree(title):
        r = subprocess.run([os.path.join(ROOT, "tools/atspi-walk"), "Harborly", title],
                           env=dict(walk.desk.env, **env), capture_output=True, text=True,
                           timeout=60)
        print(r.stdout.rstrip())
        if r.returncode != 0:
            fail(r.stderr.strip() or "atspi-walk ended with %d" % r.returncode)

    def dialog(keys, title, close, timeout=15.0):
        t.until(lambda: walk.desk.key(*keys), "modal", lambda v: v.startswith(title),
                "%s by %s" % (title, "+".join(keys)), timeout=timeout)
        walk_tree(title)
        t.until(lambda: walk.desk.key(*close), "modal", lambda v: v == "none",
                "%s closed by %s" % (title, "+".join(close)))

    sim, port = walk.sim("--kind", "upnp", "--listen", "127.0.0.1:0", "--ssdp-port", "0")
    home = walk.home("a11y", {"RouterKind": "upnp", "LanPrivateIP": "127.0.0.1:" + port,
                              "RequireLogin": "bm8="})
    t = walk.start(home, **env)
    t.wait("wan", lambda v: v == "11.22.33.44", "the router found")
    walk_tree("Harborly")
    dialog(["alt+c", "r"], "Edit Router Settings", ["alt+c"])
    dialog(["alt+v"], "Harborly - Port Forwards", ["Escape"])
    dialog(["alt+a"], "About", ["Escape"])
    # Help opens beside the window, not over it: its text takes the focus.
    t.until(lambda: walk.desk.key("alt+h"), "focus", lambda v: v == "QTextBrowser",
            "Harborly Help by alt+h")
    walk_tree("Harborly Help")
    t.until(lambda: walk.desk.key("Escape"), "focus", lambda v: v != "QTextBrowser",
            "Harborly Help closed by Escape")
    walk.desk.key("alt+s")
    dialog(["alt+c", "c"], "Harborly - Check Points", ["Escape"], timeout=60)
    walk.desk.key("ctrl+q")
    walk.ended("Ctrl+Q", 10)

    print("== screen readers: the login")
    home = walk.home("a11y-login", {"RouterKind": "upnp", "LanPrivateIP": "127.0.0.1:" + port,
                                    "Password": "c2VjcmV0", "RequireLogin": "eWVz"})
    t = walk.start(home, **env)
    t.wait("modal", lambda v: v == "Harborly Password", "the login")
    walk_tree("Harborly Password")
    walk.desk.type("secret")
    walk.desk.key("Return")
    t.wait("wan", lambda v: v == "11.22.33.44", "the router found after the login")
    walk.desk.key("ctrl+q")
    walk.ended("Ctrl+Q", 10)

def login_start(walk, fail):
    print("== start at login: the setting writes the autostart entry; it starts Harborly in "
          "the tray")
    config = os.path.join(walk.scratch, "xdg-config")
    entry = os.path.join(config, "autostart", "harborly.desktop")
    sim, port = walk.sim("--kind", "upnp", "--listen", "127.0.0.1:0", "--ssdp-port", "0")
    home = walk.home("login-start", {"RouterKind": "upnp", "LanPrivateIP": "127.0.0.1:" + port,
                                     "RequireLogin": "bm8="})

    def toggle(t):
        t.until(lambda: walk.desk.key("alt+c", "r"), "modal",
                lambda v: v.startswith("Edit Router Settings"), "the settings by keys")
        walk.desk.key("alt+l")  # the box's underlined letter
        walk.desk.key("alt+s")
        t.wait("modal", lambda v: v == "none", "the settings saved")

    t = walk.start(home, XDG_CONFIG_HOME=config)
    t.wait("wan", lambda v: v == "11.22.33.44", "the router found")
    toggle(t)
    if not os.path.exists(entry):
        fail("no autostart entry at " + entry)
    with open(entry, encoding="utf-8") as f:
        execs = [line[5:] for line in f.read().splitlines() if line.startswith("Exec=")]
    command = shlex.split(execs[0].replace("\\\\", "\\")) if len(execs) == 1 else []
    if "--tray" not in command or command[-2:] != ["--home", home]:
        fail("the entry starts %r" % execs)
    walk.desk.key("ctrl+q")
    walk.ended("Ctrl+Q", 10)

    # As the session starts it: in the tray, the window hidden, the router asked.
    trace = os.path.join(home, "trace-login")
    walk.harborly = walk.desk.spawn(command + ["--trace", trace],
                                    env=dict(walk.desk.env, XDG_CONFIG_HOME=config))
    t = walk.Trace(trace)
    t.wait("wan", lambda v: v == "11.22.33.44", "the router found from the login start")
    t.wait("tray", lambda v: v != "none", "the tray icon")
    if t.values.get("window") != "hidden":
        fail("the login start shows the window")
    # (trayer does not always embed a second program's icon, so it ends here.)
    walk.harborly.terminate()
    walk.ended("SIGTERM", 10)

    t = walk.start(home, XDG_CONFIG_HOME=config)
    t.wait("wan", lambda v: v == "11.22.33.44", "the router found again")
    toggle(t)
    if os.path.exists(entry):
        fail("the autostart entry is still there after the box was cleared")
    walk.desk.key("ctrl+q")
    walk.ended("Ctrl+Q", 10)


STEPS = [german, screen_reader, login_start]
