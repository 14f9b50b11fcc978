"""Benchmarks and the soak of LanyuTimeSync.exe, under Wine and Xvfb (started by scripts/bench).

Runs as the first process of fresh network, mount and PID namespaces, set up as the end-to-end run
sets up its own (tests/e2e/harness.py): only loopback, the five daytime server names on loopback
addresses, a private /tmp, Xvfb and a wineserver of a prefix of its own. Everything it starts ends
with it. Prints one table a measure, in Markdown, and writes every sample to build/bench/.

Figures from both sides of the Wine process: /proc of the Unix process that runs the program, and
what Windows calls report of it, through bench_driver.exe. Every Windows figure that this Wine
leaves at zero is shown as such and not relied on.
"""

import argparse
import datetime
import json
import os
import statistics
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

import harness  # noqa: E402
import servers  # noqa: E402

BENCH = os.path.join(ROOT, "build", "bench")
WINDOWS_BUILD = os.path.join(ROOT, "build", "windows")
SOAK_BUILD = os.path.join(ROOT, "build", "soak")
PROGRAM = os.path.join(WINDOWS_BUILD, "LanyuTimeSync.exe")
SOAK_PROGRAM = os.path.join(SOAK_BUILD, "LanyuTimeSync.exe")
BASELINE = os.path.join(WINDOWS_BUILD, "bench_baseline.exe")
BASELINE_DLLS = os.path.join(WINDOWS_BUILD, "bench_baseline_dlls.exe")
BASELINE_TICKING = os.path.join(WINDOWS_BUILD, "bench_baseline_ticking.exe")
STRIP = "x86_64-w64-mingw32-strip"
TCP_CLIENT = os.path.join(WINDOWS_BUILD, "bench_tcp_client.exe")
BENCH_DRIVER = os.path.join(WINDOWS_BUILD, "bench_driver.exe")
E2E_DRIVER = os.path.join(WINDOWS_BUILD, "e2e_driver.exe")
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


def say(text=""):
    print(text, flush=True)


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


# The programs ----------------------------------------------------------------------------------


wine = harness.run_tool


class Program(harness.Program):
    """The program started as a user starts it (`wine LanyuTimeSync.exe`), watched from /proc."""

    def __init__(self, env, exe):
        super().__init__(env, harness.Driver(env), exe)
        self.pid = None  # the Unix process that runs it

    def start(self):
        super().start()
        found = pids_running(os.path.basename(self.exe))
        if len(found) != 1:
            raise RuntimeError(f"{len(found)} processes run {os.path.basename(self.exe)}")
        self.pid = found[0]


# /proc -----------------------------------------------------------------------------------------


def cmdline(pid):
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            return f.read().replace(b"\0", b" ").decode("utf-8", "replace").strip()
    except OSError:
        return ""


def all_pids():
    return [int(p) for p in os.listdir("/proc") if p.isdigit()]


def pids_running(word):
    return [pid for pid in all_pids() if word in cmdline(pid) and pid != os.getpid()]


def one_pid(word):
    found = pids_running(word)
    if len(found) != 1:
        raise RuntimeError(f"{len(found)} processes run {word}")
    return found[0]


def cpu_ticks(pid):
    """utime + stime of the process, in clock ticks; None when it has gone."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
    except OSError:
        return None
    return int(fields[11]) + int(fields[12])


def linux_figures(pid):
    """Resident memory, threads and open file descriptors of a Unix process."""
    figures = {}
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            key, _, value = line.partition(":")
            if key in ("VmRSS", "VmHWM", "VmSize", "RssAnon", "RssFile"):
                figures[key] = int(value.split()[0]) * 1024
            elif key == "Threads":
                figures[key] = int(value)
    figures["fds"] = len(os.listdir(f"/proc/{pid}/fd"))
    return figures


# Statistics and tables -------------------------------------------------------------------------


def median_range(values, unit="", digits=0):
    if not values:
        return "n/a"
    fmt = f"{{:.{digits}f}}"
    m = fmt.format(statistics.median(values))
    lo, hi = fmt.format(min(values)), fmt.format(max(values))
    return f"{m}{unit} ({lo}–{hi})"


def ratio(values, base):
    if not values or not base:
        return "n/a"
    return f"{statistics.median(values) / statistics.median(base):.2f}"


def table(header, rows):
    lines = ["| " + " | ".join(header) + " |"]
    lines.append("|" + "|".join("---" if i == 0 else "---:" for i in range(len(header))) + "|")
    lines += ["| " + " | ".join(str(c) for c in row) + " |" for row in rows]
    return "\n".join(lines)


def kib(value):
    return value / 1024


# Test daytime servers of the bench -------------------------------------------------------------


def answer_at_once(make_line, gives_time=False):
    """Sends the line that `make_line` builds from the present UTC time at once, and closes, as
    NIST's servers do. `gives_time`: the line carries that time, for the labels to show."""

    def serve(sock, conn, stop):
        when = servers.utc_now().replace(microsecond=0)
        data = make_line(when)
        if gives_time:
            conn.sent_time = when
        sock.sendall(data)
        conn.sent += data
        conn.done.set()

    return serve


def cycle(*serves):
    """The first connection by the first behaviour, the next by the next, and round again."""
    count = [0]
    lock = threading.Lock()

    def serve(sock, conn, stop):
        with lock:
            index = count[0] % len(serves)
            count[0] += 1
        conn.kind = index
        serves[index](sock, conn, stop)

    return serve


# Start-up and memory ---------------------------------------------------------------------------


def measure_start(env, runs):
    """Start to the first shown window, and the peak working set, program and baseline in turn."""
    samples = {"program": [], "baseline": [], "baseline_dlls": []}
    for run in range(runs + 1):  # the first run of each only warms the file cache
        for name, exe in (
            ("program", PROGRAM),
            ("baseline", BASELINE),
            ("baseline_dlls", BASELINE_DLLS),
        ):
            lines, status = wine(env, BENCH_DRIVER, "launch", windows_path(exe), 2000, timeout=60)
            timing = next((x for x in lines if "shown_ms" in x), None)
            figures = next((x for x in lines if "peak_working_set" in x), None)
            if status != 0 or not timing or not figures:
                raise RuntimeError(f"launching {name} failed: {lines}")
            if run > 0:
                samples[name].append({**timing, **figures})
    return samples


def stripped_size(exe):
    """The size of the file without its symbol tables and debug sections."""
    out = os.path.join(BENCH, "stripped-" + os.path.basename(exe))
    subprocess.run([STRIP, "-o", out, exe], check=True, timeout=60)
    return os.path.getsize(out)


def report_start(samples):
    program, baseline, dlls = samples["program"], samples["baseline"], samples["baseline_dlls"]

    def column(rows, key, scale=1.0):
        return [r[key] * scale for r in rows]

    rows = []
    for label, key, scale, digits in (
        ("start to first shown window (ms)", "shown_ms", 1.0, 0),
        ("start to the window's first answer (ms)", "answered_ms", 1.0, 0),
        ("peak working set 2 s after start (MiB)", "peak_working_set", 1 / (1 << 20), 1),
        ("pagefile usage 2 s after start (MiB)", "pagefile", 1 / (1 << 20), 1),
        ("windows of the process", "windows", 1.0, 0),
        ("handles in the system table", "handles_in_system_table", 1.0, 0),
    ):
        p, b, d = (column(rows_, key, scale) for rows_ in (program, baseline, dlls))
        rows.append(
            [
                label,
                median_range(p, digits=digits),
                median_range(b, digits=digits),
                ratio(p, b),
                median_range(d, digits=digits),
            ]
        )
    for label, size in (("size of the .exe as built (KiB)", os.path.getsize),
                        ("size of the .exe stripped (KiB)", stripped_size)):
        p, b, d = size(PROGRAM), size(BASELINE), size(BASELINE_DLLS)
        rows.append([label, f"{kib(p):.0f}", f"{kib(b):.0f}", f"{p / b:.2f}", f"{kib(d):.0f}"])
    return table(
        ["measure", "LanyuTimeSync.exe", "baseline", "ratio", "baseline with the program's DLLs"],
        rows,
    )


# Idle CPU --------------------------------------------------------------------------------------


def idle_cpu(pid, seconds, leave_out=()):
    """CPU seconds of the process, the wineserver, Xvfb and every other process of the namespace
    (but this one and `leave_out`) over `seconds` of doing nothing from outside."""
    wineserver, xvfb = one_pid("wineserver"), one_pid("Xvfb")
    mine = {os.getpid(), *leave_out}
    others = [p for p in all_pids() if p not in mine | {pid, wineserver, xvfb}]
    started = time.monotonic()
    before = {p: cpu_ticks(p) for p in [pid, wineserver, xvfb, *others]}
    time.sleep(seconds)
    after = {p: cpu_ticks(p) for p in before}
    elapsed = time.monotonic() - started

    def used(pids):
        return sum(
            (after[p] or 0) - (before[p] or 0) for p in pids if before[p] is not None
        ) / CLOCK_TICKS

    return {
        "elapsed_s": elapsed,
        "program_s": used([pid]),
        "wineserver_s": used([wineserver]),
        "xvfb_s": used([xvfb]),
        "other_wine_s": used(others),
        "other_processes": {
            f"{p} {cmdline(p)}": ((after[p] or 0) - (before[p] or 0)) / CLOCK_TICKS
            for p in others
            if before[p] is not None
        },
    }


def idle_program(env, seconds):
    program = Program(env, PROGRAM)
    program.start()
    try:
        time.sleep(2)  # past start-up
        first_state, _ = wine(env, E2E_DRIVER, "state", timeout=30)
        sample = idle_cpu(program.pid, seconds)
        last_state, _ = wine(env, E2E_DRIVER, "state", timeout=30)
        clock_0 = harness.parse_clock(first_state[0].get("clock", "")) if first_state else None
        clock_1 = harness.parse_clock(last_state[0].get("clock", "")) if last_state else None
        sample["clock_advanced_s"] = (
            (clock_1 - clock_0).total_seconds() if clock_0 and clock_1 else None
        )
        return sample
    finally:
        problem = program.stop()
        if problem:
            raise RuntimeError(problem)


def idle_ticking_baseline(env, seconds):
    """The baseline that writes the time into its label once a second, started and closed by the
    driver, which sleeps meanwhile and is left out of the figures."""
    name = os.path.basename(BASELINE_TICKING)
    settle_ms = int((seconds + 8) * 1000)
    driver = subprocess.Popen(
        ["wine", BENCH_DRIVER, "launch", windows_path(BASELINE_TICKING), str(settle_ms)],
        env=env,
        stdin=subprocess.DEVNULL,
        stdout=subprocess.PIPE,
        stderr=subprocess.DEVNULL,
    )
    try:
        pid, deadline = None, time.monotonic() + 30
        while pid is None and time.monotonic() < deadline:
            found = [p for p in pids_running(name) if "bench_driver" not in cmdline(p)]
            pid = found[0] if len(found) == 1 else None
            time.sleep(0.1)
        if pid is None:
            raise RuntimeError(f"{name} did not start")
        time.sleep(2)  # past start-up
        sample = idle_cpu(pid, seconds, leave_out=pids_running("bench_driver"))
        out, _ = driver.communicate(timeout=seconds + 60)
        if driver.returncode != 0:
            raise RuntimeError(f"{name}: {out.decode('utf-8', 'replace')}")
        return sample
    finally:
        if driver.poll() is None:
            driver.kill()
            driver.wait(timeout=10)


def measure_idle(env, runs, seconds):
    """Idle CPU of the program and of the ticking baseline, one run of each in turn."""
    samples = {"program": [], "ticking_baseline": []}
    for _ in range(runs):
        samples["program"].append(idle_program(env, seconds))
        samples["ticking_baseline"].append(idle_ticking_baseline(env, seconds))
    return samples


def report_idle(samples, seconds):
    program, baseline = samples["program"], samples["ticking_baseline"]
    rows = []
    for label, key in (
        ("the program's own Unix process", "program_s"),
        ("wineserver", "wineserver_s"),
        ("Xvfb (the X server)", "xvfb_s"),
        ("Wine's other processes (explorer, services, …)", "other_wine_s"),
    ):
        p = [s[key] * 1000 for s in program]
        b = [s[key] * 1000 for s in baseline]
        share = [s[key] / s["elapsed_s"] * 100 for s in program]
        rows.append(
            [label, median_range(p), median_range(share, " %", 3), median_range(b), ratio(p, b)]
        )
    ticks = [s["clock_advanced_s"] for s in program if s["clock_advanced_s"] is not None]
    busiest = {}
    for s in program:
        for name, used in s["other_processes"].items():
            command = name.split(" ", 1)[1] if " " in name else name
            busiest[command] = busiest.get(command, 0.0) + used
    top = max(busiest, key=busiest.get) if busiest else "none"
    note = (
        f"The program's clock advanced {median_range(ticks, ' s')} over the {seconds} s, so it"
        f" ticked throughout. Of Wine's other processes, {top} used the most; they run the same"
        " with the baseline."
    )
    return (
        table(
            [
                f"CPU over {seconds} idle s",
                "LanyuTimeSync.exe (ms)",
                "of one core",
                "ticking baseline (ms)",
                "ratio",
            ],
            rows,
        )
        + "\n\n"
        + note
    )


# Click to labels, and the plain TCP client ------------------------------------------------------


def measure_latency(env, runs):
    """A click against a server that answers at once, and the plain client against the same."""
    lab = servers.Lab({0: servers.serving(answer_at_once(servers.nist_line, gives_time=True))})
    program = Program(env, PROGRAM)
    clicks = []
    try:
        program.start()
        for run in range(runs):
            if run:
                time.sleep(4.0)  # past the 4-second rule, counted from the last accept
            lines, status = wine(env, BENCH_DRIVER, "sync", 10000, "second-start", timeout=40)
            result = next((x for x in lines if "after_ms" in x), None)
            if status != 0 or not result:
                raise RuntimeError(f"a click brought no result: {lines}")
            state = {k: result.get(k) for k in ("before", "after", "clock")}
            result["outcome"] = harness.outcome_of(state)
            sent = [c.sent_time for c in lab.connections() if c.sent_time]
            if result["outcome"] == "success":
                expected = harness.AFTER_PREFIX + harness.format_date_time(
                    sent[-1] + harness.SHANGHAI
                )
                if result["after"] != expected:
                    raise RuntimeError(f'after reads "{result["after"]}", not "{expected}"')
            clicks.append(result)
        problem = program.stop()
        if problem:
            raise RuntimeError(problem)
        lines, status = wine(env, TCP_CLIENT, servers.SERVER_NAMES[0], 13, runs, timeout=60)
        if status != 0 or len(lines) != runs:
            raise RuntimeError(f"the plain client failed: {lines}")
        for line in lines:
            if not line["reply"].endswith("UTC(NIST) *\n") or line["bytes"] != len(
                servers.nist_line(servers.utc_now())
            ):
                raise RuntimeError(f"the plain client read {line}")
        return {"clicks": clicks, "client": lines}
    finally:
        program.stop()
        lab.close()


def report_latency(samples):
    clicks = [c for c in samples["clicks"] if c["outcome"] == "success"]
    program = [c["after_ms"] for c in clicks]
    client = [c["ms"] for c in samples["client"]]
    others = len(samples["clicks"]) - len(clicks)
    rows = [
        [
            "click to both labels written (ms)",
            median_range(program, digits=1),
            median_range(client, digits=1),
            ratio(program, client),
            f"{len(program)}",
        ]
    ]
    text = table(
        ["against a server that answers at once", "LanyuTimeSync.exe", "plain TCP client",
         "ratio", "runs"],
        rows,
    )
    if others:
        outcomes = [c["outcome"] for c in samples["clicks"] if c["outcome"] != "success"]
        text += f"\n\n{others} click(s) left out: {outcomes} (Wine refused a setting it took late)."
    return text


# The window held by one click ------------------------------------------------------------------


def measure_held(env, behaviours, runs, recorder):
    lab = servers.Lab(behaviours)
    program = Program(env, PROGRAM)
    samples = []
    try:
        program.start()
        for _ in range(runs):
            since = time.monotonic()
            lines, status = wine(env, BENCH_DRIVER, "held", 30000, timeout=60)
            result = next((x for x in lines if "held_ms" in x), None)
            if status != 0 or not result:
                raise RuntimeError(f"no message box: {lines}")
            result["attempts"] = len(recorder.attempts(since, lab.filler_ports()))
            if result["attempts"] != 5 or not result["answers_behind_box"]:
                raise RuntimeError(f"a click made {result['attempts']} attempts: {result}")
            if result["button"] != harness.SYNC_AGAIN:
                raise RuntimeError(f"the button reads {result['button']}")
            samples.append(result)
        problem = program.stop()
        if problem:
            raise RuntimeError(problem)
        return samples
    finally:
        program.stop()
        lab.close()


# Five attempts of at most 3 s each, and a little for the lookups and the box.
HELD_GOAL_S = 5 * 3 + 1.0


def report_held(never, refuse):
    rows, ok = [], True
    for label, samples in (("all five never accept", never), ("all five refuse", refuse)):
        held = [s["held_ms"] / 1000 for s in samples]
        within = max(held) <= HELD_GOAL_S
        ok = ok and within
        rows.append(
            [
                label,
                median_range(held, " s", 2),
                f"{max(held):.2f} s",
                f"≤ {HELD_GOAL_S:.0f} s: {'yes' if within else 'NO'}",
                f"{len(held)}",
            ]
        )
    text = table(
        ["one click, until the message box", "window held", "longest", "goal", "runs"], rows
    )
    text += (
        "\n\nEvery click made exactly five attempts (SYNs seen on loopback), and the window"
        " answered messages again as soon as the box was up."
    )
    return text, ok


# The soak --------------------------------------------------------------------------------------

SOAK_KINDS = ["success", "unhealthy", "refused", "unreadable"]
# Between the driver's return and its next click: past the soak build's shortened interval
# between queries (scripts/bench passes it), counted from the accept before that return.
SOAK_SPACING = 0.3


def far_from_now(when):
    return servers.nist_line(datetime.datetime(2012, 9, 12, 4, 26, 27))


def soak_server():
    """Replies in turn: the present time, unhealthy (H = 2), a time Wine refuses, month 13."""
    return servers.serving(
        cycle(
            servers.answer(servers.nist_line),
            answer_at_once(lambda w: servers.nist_line(w, health=2)),
            answer_at_once(far_from_now),
            answer_at_once(lambda w: servers.nist_line(w, month=13)),
        )
    )


def check_soak_state(result, kind, lab, problems, index):
    """The labels say what this reply deserves, the clock is right, the window is fine."""
    state = {k: result.get(k) for k in ("before", "after", "clock")}
    outcome = harness.outcome_of(state)
    # Wine takes a setting only within half a second; a loaded machine may miss it.
    allowed = ("success", "refused") if kind == "success" else (kind,)
    if outcome not in allowed:
        problems.append(f"sync {index}: a {kind} reply shows {outcome}: {state}")
    if outcome == "success":
        sent = [c.sent_time for c in lab.connections() if c.sent_time]
        expected = harness.AFTER_PREFIX + harness.format_date_time(sent[-1] + harness.SHANGHAI)
        if state["after"] != expected:
            problems.append(f'sync {index}: after reads "{state["after"]}", not "{expected}"')
    clock = harness.parse_clock(state.get("clock") or "")
    if clock is None:
        problems.append(f'sync {index}: the clock reads "{state.get("clock")}"')
    else:
        gap = (clock - harness.shanghai_now()).total_seconds()
        if abs(gap) > 3:
            problems.append(f"sync {index}: the clock on display is {gap:+.0f} s off")
    if not result.get("answers"):
        problems.append(f"sync {index}: the window did not answer afterwards")
    if result.get("box"):
        problems.append(f"sync {index}: a message box is up")
    if result.get("button") != harness.SYNC_AGAIN:
        problems.append(f'sync {index}: the button reads "{result.get("button")}"')
    return outcome


def settle_wine(wineserver, started, limit=30.0):
    """Waits until Wine has settled after the program's start: about 5 s after a program starts,
    with or without a click, the wineserver closes nine pipes of its own. Then at least 8 s have
    passed and its descriptors have stayed the same for 2 s (at most `limit` s in all)."""
    end = time.monotonic() + limit
    last, since = None, time.monotonic()
    while time.monotonic() < end:
        now = linux_figures(wineserver)["fds"]
        if now != last:
            last, since = now, time.monotonic()
        elif time.monotonic() - since >= 2.0 and time.monotonic() - started >= 8.0:
            return
        time.sleep(0.2)


def soak_sample(index, started, windows, program, wineserver):
    return {
        "sync": index,
        "seconds": time.monotonic() - started,
        "windows": windows,
        "program": linux_figures(program.pid),
        "wineserver": linux_figures(wineserver),
    }


def measure_soak(env, count, box_count, sample_every, recorder):
    """`count` synchronisations against one server, then `box_count` clicks with every server
    refusing, each ending in the message box; the same program all along."""
    lab = servers.Lab({0: soak_server()})
    program = Program(env, SOAK_PROGRAM)
    samples, box_samples, problems, outcomes = [], [], [], {}
    started = time.monotonic()
    try:
        program.start()
        wineserver = one_pid("wineserver")
        settle_wine(wineserver, started)
        last_click = 0.0
        for index in range(1, count + 1):
            take = index in (1, len(SOAK_KINDS), count) or index % sample_every == 0
            args = ["sync", 10000] + (["figures"] if take else [])
            # Past the soak build's shortened interval, counted from the last accept.
            time.sleep(max(0.0, last_click + SOAK_SPACING - time.monotonic()))
            lines, status = wine(env, BENCH_DRIVER, *args, timeout=40)
            last_click = time.monotonic()
            result = next((x for x in lines if "after_ms" in x), None)
            if status != 0 or not result:
                problems.append(f"sync {index}: no change of the labels: {lines}")
                if len(problems) > 20:
                    break
                continue
            connections = lab.connections()
            kind = SOAK_KINDS[getattr(connections[-1], "kind", 0)] if connections else "none"
            outcome = check_soak_state(result, kind, lab, problems, index)
            outcomes[(kind, outcome)] = outcomes.get((kind, outcome), 0) + 1
            if take:
                windows = next((x for x in lines if "working_set" in x), {})
                samples.append(soak_sample(index, started, windows, program, wineserver))
        connections = len(lab.connections())
        received = sum(len(c.received) for c in lab.connections())
        if connections != count:
            problems.append(f"{connections} connections for {count} clicks")
        if received:
            problems.append(f"the program sent {received} bytes")

        lab.close()  # from now on all five refuse
        time.sleep(max(0.0, last_click + SOAK_SPACING - time.monotonic()))
        for index in range(1, box_count + 1):
            since = time.monotonic()
            lines, status = wine(env, BENCH_DRIVER, "held", 10000, timeout=40)
            result = next((x for x in lines if "held_ms" in x), None)
            attempts = len(recorder.attempts(since))
            if status != 0 or not result or attempts != 5 or not result["answers_behind_box"]:
                problems.append(f"box click {index}: {attempts} attempts, {lines}")
                if len(problems) > 20:
                    break
                continue
            clock = harness.parse_clock(result.get("clock") or "")
            if clock is None or abs((clock - harness.shanghai_now()).total_seconds()) > 3:
                problems.append(f'box click {index}: the clock reads "{result.get("clock")}"')
            if result.get("button") != harness.SYNC_AGAIN:
                problems.append(f'box click {index}: the button reads "{result.get("button")}"')
            if index in (1, box_count) or index % sample_every == 0:
                lines, _ = wine(env, BENCH_DRIVER, "figures", timeout=40)
                windows = next((x for x in lines if "working_set" in x), {})
                box_samples.append(soak_sample(index, started, windows, program, wineserver))
        problem = program.stop()
        if problem:
            problems.append(problem)
    finally:
        program.stop()
        lab.close()
    return {
        "samples": samples,
        "box_samples": box_samples,
        "problems": problems,
        "outcomes": {f"{k} reply: {o}": n for (k, o), n in outcomes.items()},
        "seconds": time.monotonic() - started,
    }


# What counts as "within a small margin" of the figures after the first synchronisation. Memory
# may move by some pages: the first replies of each kind page in code that the first did not
# run, and heaps settle. Counts of what the program holds (descriptors, handles, windows, threads)
# must come back exactly. The wineserver's descriptors also count every other Wine process, and
# the driver's own run has only just ended when they are read, so they may differ by a few.
MIB = 1 << 20
KIB = 1 << 10
SOAK_FIGURES = [
    # label, pick, is memory, margin
    ("program: VmRSS (KiB)", lambda s: s["program"]["VmRSS"], True, MIB),
    ("program: RssAnon (KiB)", lambda s: s["program"]["RssAnon"], True, 256 * KIB),
    ("program: open file descriptors", lambda s: s["program"]["fds"], False, 0),
    ("program: threads", lambda s: s["program"]["Threads"], False, 0),
    ("program: working set, GetProcessMemoryInfo (KiB)",
     lambda s: s["windows"].get("working_set", 0), True, MIB),
    ("program: pagefile usage, GetProcessMemoryInfo (KiB)",
     lambda s: s["windows"].get("pagefile", 0), True, 256 * KIB),
    ("program: handles, NtQuerySystemInformation",
     lambda s: s["windows"].get("handles_in_system_table", 0), False, 0),
    ("program: windows, EnumWindows + EnumChildWindows",
     lambda s: s["windows"].get("windows", 0), False, 0),
    ("wineserver: VmRSS (KiB)", lambda s: s["wineserver"]["VmRSS"], True, MIB),
    ("wineserver: open file descriptors", lambda s: s["wineserver"]["fds"], False, 8),
]


def slope_per_sync(samples, pick, since):
    """Least-squares growth per click over the samples from click `since` on."""
    points = [(s["sync"], pick(s)) for s in samples if s["sync"] >= since]
    if len(points) < 3:
        return None
    n = len(points)
    mx = sum(x for x, _ in points) / n
    my = sum(y for _, y in points) / n
    sxx = sum((x - mx) ** 2 for x, _ in points)
    return sum((x - mx) * (y - my) for x, y in points) / sxx if sxx else None


UNREAL_NAMES = {
    "private": "PrivateUsage (GetProcessMemoryInfo)",
    "handles": "GetProcessHandleCount",
    "gdi_objects": "GetGuiResources (GDI)",
    "user_objects": "GetGuiResources (USER)",
}


def soak_table(samples, what, middle):
    """The figures after the first, the `middle`th and the last; failures beyond the margins."""
    first, last = samples[0], samples[-1]
    mid = next((s for s in samples if s["sync"] == middle), first)
    rows, failures = [], []
    for label, pick, memory, margin in SOAK_FIGURES:
        values = [pick(s) for s in samples]
        a, c, z = pick(first), pick(mid), pick(last)
        held = abs(z - a) <= margin
        if not held:
            failures.append(f"{label}: {a} after the first {what}, {z} after the last")
        slope = slope_per_sync(samples, pick, middle)
        show = kib if memory else (lambda v: v)
        rows.append(
            [
                label,
                f"{show(a):.0f}",
                f"{show(c):.0f}",
                f"{show(z):.0f}",
                f"{show(z - a):+.0f}",
                f"{show(max(values)):.0f}",
                "n/a" if slope is None else f"{slope:+.1f}" + (" B" if memory else ""),
                f"±{kib(margin):.0f} KiB" if memory else f"±{margin}",
                "yes" if held else "NO",
            ]
        )
    text = table(
        [
            "figure",
            f"after {what} 1",
            f"after {what} {mid['sync']}",
            f"after {what} {last['sync']}",
            "last − first",
            "max",
            f"trend per {what} from {mid['sync']} on",
            "margin",
            "within",
        ],
        rows,
    )
    return text, failures


def report_soak(soak, count, box_count):
    samples, box_samples = soak["samples"], soak["box_samples"]
    text, failures = soak_table(samples, "sync", len(SOAK_KINDS))
    text += (
        f"\n\n{count} synchronisations, {len(samples)} samples; outcomes: "
        + ", ".join(f"{k} × {n}" for k, n in sorted(soak["outcomes"].items()))
        + "."
    )
    if box_samples:
        middle = box_samples[1]["sync"] if len(box_samples) > 2 else 1
        box_text, box_failures = soak_table(box_samples, "box click", middle)
        failures += box_failures
        text += (
            f"\n\nThen, in the same program, {box_count} clicks with all five servers refusing"
            " (five attempts and the message box each time, closed by the driver):\n\n"
            + box_text
        )
    text += f"\n\nThe whole soak took {soak['seconds']:.0f} s, the clock ticking throughout."
    every = samples + box_samples
    text += (
        f" The program's peak working set over all of it (VmHWM): "
        f"{max(s['program']['VmHWM'] for s in every) / (1 << 20):.1f} MiB."
    )
    unreal = [k for k in UNREAL_NAMES if all(s["windows"].get(k, 0) == 0 for s in every)]
    if unreal:
        text += (
            " Zero under this Wine in every sample, so not used: "
            + ", ".join(UNREAL_NAMES[k] for k in unreal)
            + "."
        )
    for problem in soak["problems"] + failures:
        text += f"\n- PROBLEM: {problem}"
    return text, not (soak["problems"] or failures)


# Main ------------------------------------------------------------------------------------------


def set_up():
    """The namespace, the display and Wine, as the end-to-end run makes them, in build/bench."""
    os.makedirs(BENCH, exist_ok=True)
    harness.E2E = BENCH
    harness.HOSTS = os.path.join(BENCH, "hosts")
    harness.isolate()
    harness.start_display()
    env = harness.wine_env()
    harness.start_wine(env)
    return env


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=7, help="runs of each short measure")
    parser.add_argument("--idle-runs", type=int, default=3)
    parser.add_argument("--idle-seconds", type=int, default=60)
    parser.add_argument("--held-runs", type=int, default=3, help="runs of the never-accept click")
    parser.add_argument("--soak", type=int, default=300, help="synchronisations of the soak")
    parser.add_argument(
        "--soak-box", type=int, default=50, help="then clicks that end in the message box"
    )
    parser.add_argument("--soak-sample-every", type=int, default=10)
    parser.add_argument(
        "--soak-interval-ms",
        type=int,
        default=250,
        help="the soak build's interval between queries",
    )
    parser.add_argument(
        "--only",
        default="start,idle,latency,held,soak",
        help="a comma-separated choice of start, idle, latency, held, soak",
    )
    args = parser.parse_args()
    if os.getpid() != 1:
        sys.exit("bench.py runs inside the namespace that scripts/bench makes")
    chosen = set(args.only.split(","))
    unknown = chosen - {"start", "idle", "latency", "held", "soak"}
    if unknown:
        parser.error(f"--only: no part called {', '.join(sorted(unknown))}")
    global SOAK_SPACING
    SOAK_SPACING = args.soak_interval_ms / 1000 + 0.05

    env = set_up()
    recorder = servers.SynRecorder()
    results, sections, ok = {}, [], True
    try:
        if "start" in chosen:
            say(f"measuring start-up and memory: {args.runs} runs each, after one to warm up")
            results["start"] = measure_start(env, args.runs)
            sections.append(("Start-up, memory and size", report_start(results["start"])))
            say(sections[-1][1] + "\n")
        if "idle" in chosen:
            say(f"measuring idle CPU: {args.idle_runs} runs of {args.idle_seconds} s")
            results["idle"] = measure_idle(env, args.idle_runs, args.idle_seconds)
            sections.append(("Idle CPU", report_idle(results["idle"], args.idle_seconds)))
            say(sections[-1][1] + "\n")
        if "latency" in chosen:
            say(f"measuring click to labels and the plain client: {args.runs} runs each")
            results["latency"] = measure_latency(env, args.runs)
            sections.append(("A synchronisation", report_latency(results["latency"])))
            say(sections[-1][1] + "\n")
        if "held" in chosen:
            say(f"measuring the window held: {args.held_runs} and {args.runs} runs")
            never = measure_held(
                env, {i: servers.NEVER_ACCEPT for i in range(5)}, args.held_runs, recorder
            )
            refuse = measure_held(env, {}, args.runs, recorder)
            results["held"] = {"never_accept": never, "refuse": refuse}
            text, held_ok = report_held(never, refuse)
            ok = ok and held_ok
            sections.append(("The window held by one click", text))
            say(sections[-1][1] + "\n")
        if "soak" in chosen:
            say(
                f"soak: {args.soak} synchronisations against one loopback server, then "
                f"{args.soak_box} clicks that all five refuse"
            )
            results["soak"] = measure_soak(
                env, args.soak, args.soak_box, args.soak_sample_every, recorder
            )
            text, held = report_soak(results["soak"], args.soak, args.soak_box)
            ok = ok and held
            sections.append(("Soak", text))
            say(text + "\n")
    except (RuntimeError, OSError, subprocess.SubprocessError, ValueError) as error:
        say(f"bench: {type(error).__name__}: {error}")
        ok = False
    finally:
        recorder.close()
        subprocess.run(["wineserver", "-k"], env=env, timeout=30, check=False)
        with open(os.path.join(BENCH, "results.json"), "w") as f:
            json.dump(results, f, ensure_ascii=False, indent=1, default=str)
        with open(os.path.join(BENCH, "tables.md"), "w") as f:
            for title, text in sections:
                f.write(f"### {title}\n\n{text}\n\n")
    say("bench: done" if ok else "bench: FAILED")
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
