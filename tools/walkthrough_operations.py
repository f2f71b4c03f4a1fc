# SPDX-License-Identifier: GPL-3.0-or-later
"""The walkthrough's steps on what the operations leave behind: Remove on the automatic kind, a
Select All that survives a restart, a Point To Me the router refuses in part, and the close box
while forwards depend on the window. Each takes the walk and its `fail`."""
import os
import re


def _made(t, timeout=30):
    return t.wait("status", lambda v: re.fullmatch(r"\d+ forwards made", v) is not None,
                  "'N forwards made'", timeout=timeout)


def remove_on_auto(walk, fail):
    print("== View Points > Remove on the automatic kind removes the forward")
    sim, port = walk.sim("--kind", "pcp", "--listen", "127.0.0.1:0")
    home = walk.home("auto-remove", {"RouterKind": "auto", "LanPrivateIP": "127.0.0.1:" + port})
    t = walk.start(home)
    t.wait("wan", lambda v: v == "11.22.33.44", "the PCP router found by the automatic kind")
    walk.desk.key("alt+s")
    walk.desk.key("alt+p")
    count = int(_made(t).split()[0])
    t.wait("status", lambda v: v == "Completed", "the window idle again")
    walk.desk.key("alt+v")
    t.wait("modal", lambda v: v == "Harborly - Port Forwards", "View Points")
    walk.desk.key("Down", "Up")  # the first row, selected
    t.until(lambda: walk.desk.key("alt+r"), "modal",
            lambda v: v.startswith("Harborly - Port Forwards|Remove the forward"),
            "the question before Remove")
    walk.desk.shot("walk-auto-remove")
    walk.desk.key("Return")  # Yes
    t.wait("modal", lambda v: v == "Harborly - Port Forwards", "back at the list")
    held = len(walk.table(sim))
    if held != count - 1:
        fail("Remove on auto: the router holds %d of %d forwards" % (held, count))
    walk.desk.key("Escape")
    walk.desk.key("ctrl+q")
    walk.ended("Ctrl+Q", 10)


def select_all_restart(walk, fail):
    print("== a Select All of the whole catalogue is still whole after a restart")
    sim, port = walk.sim("--kind", "pcp", "--listen", "127.0.0.1:0")
    home = walk.home("restart", {"RouterKind": "pcp", "LanPrivateIP": "127.0.0.1:" + port})
    t = walk.start(home)
    t.wait("wan", lambda v: v == "11.22.33.44", "the WAN address")
    walk.desk.key("alt+s")
    walk.desk.key("alt+p")
    first = _made(t)
    walk.desk.key("ctrl+q")
    walk.ended("Ctrl+Q", 10)
    os.remove(os.path.join(home, "trace"))  # the second run's words only
    t = walk.start(home)
    t.wait("wan", lambda v: v == "11.22.33.44", "the WAN address after the restart")
    walk.desk.key("alt+p")  # the selection the last Point To Me left
    again = _made(t)
    if again != first:
        fail("before the restart %r, after it %r" % (first, again))
    walk.desk.key("ctrl+q")
    walk.ended("Ctrl+Q", 10)


def partly_refused(walk, fail):
    print("== a Point To Me the router refuses in part: one message, a count, the log, the check")
    sim, port = walk.sim("--kind", "upnp", "--listen", "127.0.0.1:0", "--ssdp-port", "0")
    home = walk.home("partly", {"RouterKind": "upnp", "LanPrivateIP": "127.0.0.1:" + port})
    t = walk.start(home)
    t.wait("wan", lambda v: v == "11.22.33.44", "the WAN address")
    walk.desk.key("alt+s")
    walk.desk.key("alt+p")
    message = t.wait("modal", lambda v: " forwards made; " in v, "the one message", timeout=60)
    found = re.search(r"(\d+) of (\d+) forwards made; (\d+) refused: (.*?)\.(?=\s|$)", message)
    if not found:
        fail("the message %r" % message)
    made, asked, refused = (int(n) for n in found.groups()[:3])
    ports = found.group(4).split(", ")
    if made + refused != asked or len(ports) != refused or len(set(ports)) != refused:
        fail("the message %r" % message)
    if message.count("Ports below 1024") != 1:
        fail("the reason is not said once: %r" % message)
    walk.desk.shot("walk-partly-refused")
    walk.desk.key("Return")
    status = "%d of %d forwards made; %d refused" % (made, asked, refused)
    t.wait("status", lambda v: v == status, "the count in the status")
    log = walk.log(home)
    if status + ": " + found.group(4) not in log:
        fail("the activity log lacks %r" % status)
    checked = len(re.findall(r" \d+/(?:TCP|UDP): forwarded", log))
    if checked != made:
        fail("the check looked at %d ports, %d were made" % (checked, made))
    if len(walk.table(sim)) != made:
        fail("%s, but the router holds %d" % (status, len(walk.table(sim))))
    walk.desk.key("ctrl+q")
    walk.ended("Ctrl+Q", 10)


def close_at_idle(walk, fail):
    print("== the close box at idle, forwards kept alive by the window: to the tray, said once")
    sim, port = walk.sim("--kind", "pcp", "--listen", "127.0.0.1:0")
    home = walk.home("idle-close", {"RouterKind": "pcp", "LanPrivateIP": "127.0.0.1:" + port})
    t = walk.start(home)
    t.wait("wan", lambda v: v == "11.22.33.44", "the WAN address")
    t.wait("tray", lambda v: v != "none", "the tray icon")
    walk.desk.key("alt+s")
    walk.desk.key("alt+p")
    count = int(_made(t).split()[0])
    t.wait("status", lambda v: v == "Completed", "the window idle again")
    t.until(lambda: walk.desk.key("alt+F4"), "window", lambda v: v == "hidden",
            "the close box sends the window to the tray", timeout=20)
    told = t.wait("trayMessage", lambda v: v != "", "the tray's message")
    if str(count) not in told:
        fail("the tray's message %r does not count %d forwards" % (told, count))
    if walk.harborly.poll() is not None:
        fail("Harborly ended at the close box")
    if len(walk.table(sim)) != count:
        fail("the router holds %d of %d forwards" % (len(walk.table(sim)), count))
    walk.desk.shot("walk-closed-to-tray")
    menu = t.until(lambda: walk.desk.click(walk.desk.tray_icon, 3), "trayMenu",
                   lambda v: v != "hidden", "the tray's menu", timeout=20)
    entries = dict((n, tuple(map(int, at.split(","))))
                   for n, at in (e.split("@") for e in menu.strip(";").split(";")))
    walk.desk.click(entries["Quit"])
    walk.ended("Quit from the tray", 10)


STEPS = (remove_on_auto, select_all_restart, partly_refused, close_at_idle)
