"""End-to-end run of LanyuTimeSync.exe in a private network namespace (started by tests/e2e/run).

Runs as the first process of fresh network, mount and PID namespaces: it points the five daytime
server names at loopback addresses, checks that nothing can leave the namespace, starts Xvfb, a
wineserver of the run's own prefix and the test servers, and then for each case starts the real
program, drives it from outside with e2e_driver.exe and checks what it shows. When it ends, the
namespace ends with it, and with it every process it started.
"""

import argparse
import datetime
import json
import os
import random
import re
import socket
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import cases  # noqa: E402
import servers  # noqa: E402

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
WINDOWS_BUILD = os.path.join(ROOT, "build", "windows")
E2E = os.path.join(ROOT, "build", "e2e")
# Another build's programs can be run with LANYU_E2E_BIN=DIR (with --no-build).
BIN = os.environ.get("LANYU_E2E_BIN", WINDOWS_BUILD)
PROGRAM = os.path.join(BIN, "LanyuTimeSync.exe")
DRIVER = os.path.join(BIN, "e2e_driver.exe")
HOSTS = os.path.join(E2E, "hosts")
DISPLAY = ":42"

# The labels' texts, spelled here and not taken from the program.
BEFORE_PREFIX = "同步前时间："
AFTER_PREFIX = "同步后时间："
CLOCK_PREFIX = "当前时间："
TEXTS = {
    "unhealthy": "同步失败：服务器时间不可靠",
    "unreadable": "同步失败：无法识别服务器时间",
    "refused": "设置失败，请以管理员身份运行",
}
SYNC_TIME = "同步时间"
SYNC_AGAIN = "再次同步"
BOX_CAPTION = "严重错误"
BOX_TEXT = "请检查网络"
SHANGHAI = datetime.timedelta(hours=8)

# A success needs Wine to take the setting within half a second; a loaded machine may miss that.
SUCCESS_TRIES = 3


def say(text):
    print(text, flush=True)


def run(args, timeout, check=True, **kwargs):
    return subprocess.run(args, timeout=timeout, check=check, **kwargs)


# The namespace ---------------------------------------------------------------------------------


def write_hosts(missing=()):
    """Rewrites the hosts file in place, so the bind mount over /etc/hosts shows the new text."""
    lines = ["127.0.0.1 localhost", "::1 localhost"]
    for name, address in zip(servers.SERVER_NAMES, servers.SERVER_ADDRESSES):
        if name not in missing:
            lines.append(f"{address} {name}")
    with open(HOSTS, "r+") as f:
        f.truncate(0)
        f.write("\n".join(lines) + "\n")


def bind(source, target):
    run(["mount", "--bind", source, target], timeout=10)


def isolate():
    """Makes the namespace's own files and network, and proves that nothing leaves it."""
    # Unix sockets with a path cross network namespaces; a private /tmp keeps this run's X
    # display and wineserver apart from any outside. A checkout that itself lies under /tmp is
    # carried across onto the new one, at the same path.
    inside_tmp = os.path.commonpath([ROOT, "/tmp"]) == "/tmp"
    if inside_tmp:
        os.makedirs("/mnt", exist_ok=True)
        bind(ROOT, "/mnt")
    run(["mount", "-t", "tmpfs", "tmpfs", "/tmp"], timeout=10)
    if inside_tmp:
        os.makedirs(ROOT)
        run(["mount", "--move", "/mnt", ROOT], timeout=10)
    with open(HOSTS, "w"):
        pass
    write_hosts()
    resolv = os.path.join(E2E, "resolv.conf")
    open(resolv, "w").close()  # no name server at all: a lookup cannot leave the namespace
    nsswitch = os.path.join(E2E, "nsswitch.conf")
    with open(nsswitch, "w") as f:
        f.write("passwd: files\ngroup: files\nshadow: files\nhosts: files dns\n")
    bind(HOSTS, "/etc/hosts")
    bind(resolv, "/etc/resolv.conf")
    bind(nsswitch, "/etc/nsswitch.conf")  # no resolver daemon outside is asked either
    for daemon_dir in ("/run/nscd", "/var/run/nscd", "/run/systemd/resolve"):
        if os.path.isdir(daemon_dir):
            run(["mount", "-t", "tmpfs", "tmpfs", daemon_dir], timeout=10)
    run(["ip", "link", "set", "lo", "up"], timeout=10)

    links = run(["ip", "-o", "link", "show"], timeout=10, capture_output=True, text=True).stdout
    names = [line.split(":")[1].strip() for line in links.splitlines() if line.strip()]
    if names != ["lo"]:
        raise RuntimeError(f"the namespace has interfaces besides lo: {names}")
    for family in ("-4", "-6"):
        routes = run(
            ["ip", family, "route", "show", "table", "all"],
            timeout=10,
            capture_output=True,
            text=True,
        ).stdout
        for route in routes.splitlines():
            if " dev lo " not in route + " " or route.split()[0] not in (
                "local",
                "broadcast",
                "multicast",
                "anycast",
                "::1",
                "fe80::/64",
            ):
                raise RuntimeError(f"a route out of the namespace: {route}")
    # A route lookup only, for an address reserved for documentation: no packet is sent.
    probe = run(
        ["ip", "route", "get", "192.0.2.1"], timeout=10, check=False, capture_output=True
    )
    if probe.returncode == 0:
        raise RuntimeError("an address outside loopback has a route")

    for name, address in zip(servers.SERVER_NAMES, servers.SERVER_ADDRESSES):
        if socket.gethostbyname(name) != address:
            raise RuntimeError(f"{name} does not resolve to {address}")
    try:
        socket.gethostbyname("nist.gov")  # not in the hosts file, and no name server to ask
        raise RuntimeError("a name outside the hosts file resolves")
    except socket.gaierror:
        pass
    say("namespace: only lo, no route out, no name server; the five names on 127.0.0.11-15")


def start_display():
    xvfb = subprocess.Popen(
        ["Xvfb", DISPLAY, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
        stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL,
    )
    for _ in range(100):
        probe = run(
            ["xdpyinfo"], timeout=10, check=False, capture_output=True, env={"DISPLAY": DISPLAY}
        )
        if probe.returncode == 0:
            return xvfb
        time.sleep(0.1)
    raise RuntimeError("Xvfb did not start")


def wine_env():
    env = dict(os.environ)
    env.update(
        DISPLAY=DISPLAY,
        WINEPREFIX=os.path.join(E2E, "wineprefix"),
        WINEDEBUG="-all",
        WINEDLLOVERRIDES="mscoree,mshtml=",
        LANG="zh_CN.UTF-8",
        LC_ALL="zh_CN.UTF-8",
        # Wine takes a setting of the present local time, and so the UTC+8 that the program sets.
        TZ="Asia/Shanghai",
    )
    return env


def start_wine(env):
    run([os.path.join(ROOT, "cmake", "wine-prefix.sh"), env["WINEPREFIX"]], timeout=300, env=env)
    run(["wineserver", "-p"], timeout=30, env=env)
    # Brings up Wine's desktop process now, so it holds no later program's output open.
    run(
        ["wine", "cmd.exe", "/c", "exit"],
        timeout=120,
        env=env,
        stdin=subprocess.DEVNULL,
        stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL,
    )


# The program and the driver --------------------------------------------------------------------


def run_tool(env, exe, *args, timeout):
    """Runs a Windows console tool to its end under Wine; its JSON lines and its exit status."""
    done = subprocess.run(
        ["wine", exe, *[str(a) for a in args]],
        env=env,
        stdin=subprocess.DEVNULL,
        capture_output=True,
        timeout=timeout,
    )
    lines = []
    for line in done.stdout.decode("utf-8", "replace").splitlines():
        line = line.strip()
        if line.startswith("{"):
            lines.append(json.loads(line))
    return lines, done.returncode


class Driver:
    def __init__(self, env):
        self.env = env

    def __call__(self, *args, timeout=60):
        """Runs one subcommand; its JSON lines and its exit status."""
        return run_tool(self.env, DRIVER, *args, timeout=timeout)


class Program:
    def __init__(self, env, driver, exe=PROGRAM):
        self.env = env
        self.driver = driver
        self.exe = exe
        self.process = None

    def start(self):
        self.process = subprocess.Popen(
            ["wine", self.exe],
            env=self.env,
            stdin=subprocess.DEVNULL,
            stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL,
        )
        lines, status = self.driver("wait-window", 20000, timeout=40)
        if status != 0:
            raise CaseError(f"the window did not appear: {lines}")

    def stop(self):
        """Closes the window (and any box first); a problem when the program did not end with it."""
        if not self.process:
            return None
        self.driver("close-box", 2000, timeout=20)
        _, closed = self.driver("close", 5000, timeout=20)
        problem = None if closed == 0 else "the window did not close"
        try:
            self.process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            problem = problem or "the program went on running after its window had closed"
            self.process.kill()
            self.process.wait(timeout=10)
        self.process = None
        return problem


class CaseError(Exception):
    pass


# Reading what the labels say -------------------------------------------------------------------


def format_date_time(value):
    """The program's display form: 2012年9月12日12时26分27秒, the time part as short as it can be."""
    text = f"{value.year}年{value.month}月{value.day}日"
    if (value.hour, value.minute, value.second) == (0, 0, 0):
        return text
    text += f"{value.hour}时"
    if (value.minute, value.second) == (0, 0):
        return text
    text += f"{value.minute}分"
    if value.second == 0:
        return text
    return text + f"{value.second}秒"


def parse_date_time(text):
    match = re.fullmatch(r"(\d+)年(\d+)月(\d+)日(?:(\d+)时(?:(\d+)分(?:(\d+)秒)?)?)?", text)
    if not match:
        return None
    fields = [int(g) if g else 0 for g in match.groups()]
    return datetime.datetime(*fields)


def parse_clock(text):
    match = re.fullmatch(CLOCK_PREFIX + r"(\d+)年(\d\d)月(\d\d)日(\d\d)时(\d\d)分(\d\d)秒", text)
    return datetime.datetime(*map(int, match.groups())) if match else None


def shanghai_now():
    return servers.utc_now() + SHANGHAI


def labels_of(state):
    return f'before="{state.get("before")}" after="{state.get("after")}"'


# One case --------------------------------------------------------------------------------------


class Result:
    def __init__(self, case):
        self.case = case
        self.problems = []
        self.notes = []
        self.state = {}
        self.contacted = []
        self.held = None
        self.tries = 1
        self.outcome = None
        self.attempt_span = None  # from the first connection attempt to the last
        self.unanswered = 0  # readings during which the window did not answer
        self.seconds = 0.0  # the case's whole run, tries included

    def check(self, condition, problem):
        if not condition:
            self.problems.append(problem)
        return condition

    @property
    def passed(self):
        return not self.problems


def outcome_of(state):
    """What a final state of the two result labels says happened."""
    before, after = state.get("before"), state.get("after")
    if before == "" and after == "":
        return "nothing"
    for outcome, text in TEXTS.items():
        if before == "" and after == text:
            return outcome
    if before and after and before.startswith(BEFORE_PREFIX) and after.startswith(AFTER_PREFIX):
        return "success"
    return "other"


def check_success(result, state, lab):
    """The labels show exactly the time the reply gave, plus eight hours, and the time before."""
    sent = [c.sent_time for c in lab.connections() if c.sent_time]
    if not result.check(sent, "a success with no reply that gave a time"):
        return
    expected_after = AFTER_PREFIX + format_date_time(sent[-1] + SHANGHAI)
    result.check(
        state["after"] == expected_after,
        f'after reads "{state["after"]}", not "{expected_after}" (the time the reply gave)',
    )
    before = parse_date_time(state["before"][len(BEFORE_PREFIX) :])
    if result.check(before is not None, f'before reads "{state["before"]}"'):
        gap = (before - (sent[-1] + SHANGHAI)).total_seconds()
        result.check(abs(gap) <= 1, f"the time before is {gap:+.0f} s from the time set")
    clock = parse_clock(state.get("clock", ""))
    if result.check(clock is not None, f'the clock reads "{state.get("clock")}"'):
        gap = (clock - shanghai_now()).total_seconds()
        result.check(abs(gap) <= 3, f"the clock on display is {gap:+.0f} s off")


def attempt_case(case, program, driver, recorder):
    """One try of a case: start the program, act, watch, check. Returns the Result."""
    result = Result(case)
    write_hosts(case.unresolved)
    lab = servers.Lab(case.behaviours)
    try:
        program.start()
        since = time.monotonic()
        expect_box = case.outcome == "box"
        until = "box" if expect_box else "labels"
        watch_ms = 25000 if expect_box else case.watch_ms
        if case.action == "click":
            lines, status = driver("click", watch_ms, until, timeout=watch_ms / 1000 + 30)
        else:
            lines, status = driver(
                "key", case.action, watch_ms, until, timeout=watch_ms / 1000 + 30
            )
            focus = [line["focus"] for line in lines if "focus" in line]
            result.check(focus == [102], f"the key went to control {focus}, not the button")
        states = [line for line in lines if "answered" in line]
        result.check(status == 0 and states, f"the driver failed: {lines}")
        if expect_box:
            check_box(result, lines, driver)
        if case.inspect:
            case.inspect(result, lines)
        # Whatever else may still come (a second piece, the rest of a flood) has come by now.
        lab.wait_sent(timeout=case.send_time + 5)
        time.sleep(case.settle)
        if case.then:
            case.then(result, driver, recorder, lab, since)
        lines, status = driver("state")
        state = lines[0] if lines else {}
        result.state = state
        if not result.check(state.get("answered"), f"no answer from the window: {lines}"):
            return result
        result.check(state.get("box") is None, f"a message box is up: {state.get('box')}")
        result.check(
            state.get("button") == SYNC_AGAIN,
            f'the button reads "{state.get("button")}", not "{SYNC_AGAIN}"',
        )
        outcome = outcome_of(state)
        result.outcome = outcome
        expected = case.expected_outcome()
        allowed = (expected, *case.also)
        result.check(outcome in allowed, f"{labels_of(state)}: expected {expected}")
        if outcome == "success" and outcome in allowed:
            check_success(result, state, lab)
        # Everything on the network: the attempts in order, who accepted, what the client sent.
        timed = recorder.timed_attempts(since, lab.filler_ports())
        result.contacted = [address for _, address in timed]
        if len(timed) > 1:
            result.attempt_span = timed[-1][0] - timed[0][0]
        expected_contacts = [servers.SERVER_ADDRESSES[i] for i in case.contacted]
        result.check(
            result.contacted == expected_contacts,
            f"contacted {numbers(result.contacted)}, not {numbers(expected_contacts)}",
        )
        accepted = sorted({c.index for c in lab.connections()})
        result.check(
            set(accepted) <= set(case.contacted),
            f"accepted by {[i + 1 for i in accepted]}",
        )
        received = sum(len(c.received) for c in lab.connections())
        result.check(received == 0, f"the client sent {received} bytes")
        lines, status = driver("responsive", 2000)
        result.check(status == 0, "the window does not answer afterwards")
        problem = program.stop()
        result.check(problem is None, problem)
        return result
    except (CaseError, subprocess.TimeoutExpired, OSError, RuntimeError, ValueError) as error:
        result.problems.append(f"{type(error).__name__}: {error}")
        return result
    finally:
        try:
            program.stop()
        finally:
            lab.close()


def check_box(result, lines, driver):
    """The box, with the button unchanged behind it; then the new caption once it is closed."""
    states = [line for line in lines if "answered" in line]
    boxes = [s for s in states if s.get("box")]
    if not result.check(boxes, "no message box appeared"):
        return
    first = boxes[0]
    # From the posting of the click (time 0) to the moment the box was first seen.
    seen = [line["box_seen"] for line in lines if "box_seen" in line]
    result.held = (seen[0] if seen else first["t"]) / 1000
    result.check(
        first["box"] == {"caption": BOX_CAPTION, "text": BOX_TEXT},
        f"the box reads {first['box']}",
    )
    result.check(
        first.get("button") == SYNC_TIME,
        f'while the box is up the button reads "{first.get("button")}", not "{SYNC_TIME}"',
    )
    frozen = sum(1 for s in states if not s["answered"])
    result.unanswered = frozen
    # The attempts held the thread and the counted clock with it; it was reloaded before the box,
    # and it goes on ticking behind the box.
    shown = parse_clock(first.get("clock", ""))
    if result.check(shown is not None, f'the clock reads "{first.get("clock")}"'):
        lag = (shanghai_now() - shown).total_seconds()
        result.check(lag <= 2.5, f"with the box up the clock on display lags {lag:.0f} s")
        time.sleep(1.5)
        later, _ = driver("state")
        ticked = parse_clock(later[0].get("clock", "")) if later else None
        result.check(
            ticked is not None and ticked > shown and later[0].get("box"),
            f"the clock does not tick behind the box: {later}",
        )
    lines, status = driver("close-box", 5000)
    result.check(status == 0, f"the box did not close: {lines}")


def numbers(addresses):
    return ",".join(str(servers.SERVER_ADDRESSES.index(a) + 1) for a in addresses) or "none"


def run_case(case, program, driver, recorder):
    result = attempt_case(case, program, driver, recorder)
    # A success that Wine refused came too late for its half second: try again, a few times. A
    # setting of a time that the reply did not give is refused every time, and still fails.
    while (
        "success" in (case.expected_outcome(), *case.also)
        and result.outcome == "refused"
        and result.tries < SUCCESS_TRIES
    ):
        tries = result.tries
        result = attempt_case(case, program, driver, recorder)
        result.tries = tries + 1
    return result


def describe(result):
    case = result.case
    parts = [labels_of(result.state)]
    parts.append(f"contacted {numbers(result.contacted)}")
    if result.held is not None:
        held = f"window held {result.held:.2f} s from click to box"
        if result.attempt_span is not None:
            held += f" (attempts 1 to {len(result.contacted)} over {result.attempt_span:.2f} s)"
        if result.unanswered:
            held += ", no answer to messages meanwhile"
        parts.append(held)
    if case.detail:
        parts.append(case.detail)
    if result.tries > 1:
        parts.append(f"retried: {result.tries - 1} more run(s) after Wine refused the setting")
    parts.extend(result.notes)
    mark = "PASS" if result.passed else "FAIL"
    row = f"{mark}  {case.name:<46} {'; '.join(parts)} [{result.seconds:.1f} s]"
    for problem in result.problems:
        row += f"\n      - {problem}"
    return row


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--matrix", action="store_true", help="the fault matrix")
    parser.add_argument("--only", help="run only the cases whose name contains this")
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument(
        "--repeat", type=int, default=1, help="run the suite this often, with new random picks"
    )
    args = parser.parse_args()
    if os.getpid() != 1:
        sys.exit("harness.py runs inside the namespace that tests/e2e/run makes")

    seed = args.seed if args.seed is not None else random.SystemRandom().randrange(1 << 30)
    rng = random.Random(seed)
    suite = []
    for _ in range(max(1, args.repeat)):
        suite += cases.matrix_cases(rng) if args.matrix else cases.end_to_end_cases()
    if args.only:
        suite = [c for c in suite if args.only in c.name]
    title = "fault matrix" if args.matrix else "end to end"

    try:
        isolate()
        start_display()
        env = wine_env()
        start_wine(env)
        recorder = servers.SynRecorder()
    except (OSError, RuntimeError, subprocess.SubprocessError) as error:
        say(f"{title}: could not set up: {error}")
        say("0 passed, 1 failed")
        sys.exit(1)
    driver = Driver(env)
    program = Program(env, driver)
    say(f"{title}: {len(suite)} cases (random seed {seed})")

    results = []
    started = time.monotonic()
    for case in suite:
        case_started = time.monotonic()
        result = run_case(case, program, driver, recorder)
        result.seconds = time.monotonic() - case_started
        results.append(result)
        say(describe(result))
    recorder.close()
    run(["wineserver", "-k"], timeout=30, check=False, env=env)

    passed = sum(r.passed for r in results)
    failed = len(results) - passed
    with open(os.path.join(E2E, f"results-{'matrix' if args.matrix else 'e2e'}.json"), "w") as f:
        json.dump(
            [
                {
                    "case": r.case.name,
                    "passed": r.passed,
                    "problems": r.problems,
                    "before": r.state.get("before"),
                    "after": r.state.get("after"),
                    "contacted": numbers(r.contacted),
                    "held_s": r.held,
                    "attempt_span_s": r.attempt_span,
                    "tries": r.tries,
                }
                for r in results
            ],
            f,
            ensure_ascii=False,
            indent=1,
        )
    if args.matrix:
        say(f"fault matrix: {passed} of {len(results)} cases held")
    say(f"{title} took {time.monotonic() - started:.0f} s")
    say(f"{passed} passed, {failed} failed")
    sys.exit(0 if failed == 0 else 1)


if __name__ == "__main__":
    main()
