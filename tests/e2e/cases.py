"""The end-to-end cases and the fault matrix: what each server does, and what the window must show.

Outcomes, as the two result labels read them after the reply: "success" (the time before and the
time set), "unhealthy", "unreadable", "refused" (Wine refused the setting: the time was not the
present one), "nothing" (both labels still empty) and "box" (no server accepted: the message box).
Every reply that carries a time carries the present one, just after the start of its second, so
that a setting of exactly that time succeeds under Wine and any other shows the refusal text:
whatever the program sets that the reply did not give is seen in the labels.
"""

import dataclasses
import datetime
import random
import time
from typing import Callable, Optional

from servers import (
    NEVER_ACCEPT,
    answer,
    answer_fixed,
    close_at_once,
    flood,
    hold_open,
    in_turn,
    nist_line,
    serving,
    split,
    trickle,
)

ALL = [0, 1, 2, 3, 4]


@dataclasses.dataclass
class Case:
    name: str
    behaviours: dict  # server index -> Behaviour; the others refuse
    outcome: str
    contacted: list  # server indices, in the order they must be tried
    action: str = "click"  # or "space", "enter": the key on the focused button
    unresolved: tuple = ()  # names left out of the hosts file
    also: tuple = ()  # outcomes that are right too
    watch_ms: int = 5000  # how long to wait for the labels to change
    send_time: float = 2.0  # how long a server may still be sending after that
    settle: float = 0.5  # then this long for anything that comes late
    detail: str = ""
    then: Optional[Callable] = None  # further steps and checks before the final reading
    inspect: Optional[Callable] = None  # checks on what the driver saw after the click

    def expected_outcome(self):
        """What the labels say at the end: after the message box, still nothing."""
        return "nothing" if self.outcome == "box" else self.outcome


def present(when):
    return nist_line(when)


def three_members(when):
    line = nist_line(when)
    return line[: line.index(b" 00 0 ")] + b"\r\n"


def far_from_now():
    # 2012-09-12 04:26:27 UTC: sets 12:26:27 local, years from Wine's present time.
    return nist_line(datetime.datetime(2012, 9, 12, 4, 26, 27))


def four_second_rule(result, driver, recorder, lab, since):
    """A click within 4 s of the accepted connection does nothing; one after 4 s connects again."""
    first = lab.connections()[0]
    too_soon = time.monotonic() - first.accepted_at
    lines, _ = driver("click", 1500, "labels", timeout=30)
    result.check(too_soon < 3.5, f"the machine took {too_soon:.1f} s to click again")
    attempts = recorder.attempts(since)
    result.check(len(attempts) == 1, f"a click within 4 s made {len(attempts) - 1} new attempts")
    changed = [s for s in lines if "answered" in s and s.get("after") != lines[0].get("after")]
    result.check(not changed, f"a click within 4 s changed the labels: {changed}")
    time.sleep(max(0.0, first.accepted_at + 4.5 - time.monotonic()))
    driver("click", 4000, "labels", timeout=30)
    lab.wait_sent(timeout=5)
    result.notes.append(
        f"the 2nd click ({too_soon:.1f} s after the accept) made no attempt; the 3rd (4.5 s) did"
    )


def click_again_after_4_s(result, driver, recorder, lab, since):
    """A click past the 4-second rule drops the silent connection and starts from the first."""
    first = lab.connections()[0]
    time.sleep(max(0.0, first.accepted_at + 4.5 - time.monotonic()))
    driver("click", 1500, "labels", timeout=30)
    end = time.monotonic() + 3
    while time.monotonic() < end and not (first.peer_closed and len(lab.connections()) == 2):
        time.sleep(0.05)
    result.check(first.peer_closed, "a click after 4 s left the silent connection open")
    result.check(len(lab.connections()) == 2, "a click after 4 s made no new connection")
    result.notes.append("a click after 4 s closed the silent connection and connected anew")


def end_to_end_cases():
    return [
        Case("the first server answers", {0: serving(answer(present))}, "success", [0]),
        Case(
            "the first two refuse, the third answers",
            {2: serving(answer(present))},
            "success",
            [0, 1, 2],
        ),
        Case("all five refuse", {}, "box", ALL),
        Case("all five never accept", {i: NEVER_ACCEPT for i in ALL}, "box", ALL),
        Case(
            "an unhealthy reply (H = 2)",
            {0: serving(answer(lambda w: nist_line(w, health=2)))},
            "unhealthy",
            [0],
        ),
        Case(
            "a time far from now: the setting is refused",
            {0: serving(answer_fixed(far_from_now()))},
            "refused",
            [0],
        ),
        Case("Space on the focused button", {0: serving(answer(present))}, "success", [0],
             action="space"),
        Case("Enter on the focused button", {0: serving(answer(present))}, "success", [0],
             action="enter"),
        Case(
            "the 4-second rule: refused, ignored, then H = 1",
            {0: serving(in_turn(answer_fixed(far_from_now()),
                                answer(lambda w: nist_line(w, health=1))))},
            "unhealthy",
            [0, 0],
            then=four_second_rule,
        ),
    ]


def check_first_attempt_timed_out(result, lines):
    changed = [s for s in lines if s.get("end") == "labels"]
    if result.check(changed, "the labels never changed"):
        seconds = changed[0]["t"] / 1000
        result.notes.append(f"labels {seconds:.1f} s after the click")
        result.check(2.9 <= seconds <= 6, f"the labels came {seconds:.1f} s after the click")


def matrix_cases(rng):
    line = nist_line(datetime.datetime(2025, 10, 18, 6, 49, 19))
    time_start = line.index(b"06:49:19")
    time_end = time_start + len("06:49:19")
    date_start = line.index(b"25-10-18")
    # A piece is used when it holds the date with the member before it (even an empty one),
    # and the whole time: cut before that member's space, or after the time.
    cut = rng.randrange(1, len(line))
    delay = rng.choice([0.1, 0.2, 0.3, 0.4])
    split_outcome = "success" if cut < date_start or cut >= time_end else "nothing"
    noise_seed = rng.randrange(1 << 30)
    noise = random.Random(noise_seed).randbytes(2 << 20)
    no_line_end = noise.translate(None, b"\0\n\r")[: 1 << 20]

    unhealthy = [
        Case(
            f"H = {h}",
            {0: serving(answer(lambda w, h=h: nist_line(w, health=h)))},
            "unhealthy",
            [0],
        )
        for h in (1, 2, 3)
    ]
    return [
        Case("refused (all five)", {}, "box", ALL),
        Case(
            "never accepting (the first), the second answers",
            {0: NEVER_ACCEPT, 1: serving(answer(present))},
            "success",
            [0, 1],
            watch_ms=9000,
            inspect=check_first_attempt_timed_out,
        ),
        Case("accepting and closing without a byte", {0: serving(close_at_once())}, "nothing",
             [0], watch_ms=1500),
        Case(
            "accepting and never sending",
            {0: serving(hold_open())},
            "nothing",
            [0, 0],
            watch_ms=2500,
            then=click_again_after_4_s,
        ),
        Case(
            f"the reply split at byte {cut}, {delay * 1000:.0f} ms apart",
            {0: serving(split(present, cut, delay))},
            split_outcome,
            [0],
            watch_ms=2500,
            detail=f"pieces {line[:cut]!r} + {line[cut:]!r}",
        ),
        Case(
            "the reply one byte at a time",
            {0: serving(trickle(present, 0.02, time_end))},
            "nothing",
            [0],
            watch_ms=2500,
            also=("success",),
        ),
        Case(
            "1 MiB of bytes without a line end",
            {0: serving(flood(no_line_end))},
            "nothing",
            [0],
            watch_ms=3000,
            settle=1.0,
            detail=f"bytes 1-255 but CR and LF, noise seed {noise_seed}",
        ),
        Case(
            "three members, CR LF right after the time",
            {0: serving(answer(three_members))},
            "success",
            [0],
        ),
        Case("a zero byte first", {0: serving(answer(lambda w: b"\0" + nist_line(w)))}, "nothing",
             [0], watch_ms=2500),
        Case(
            'another RFC 867 format ("Fri Dec 11 04:19:24 2026")',
            {0: serving(answer(lambda w: w.strftime("%a %b %d %H:%M:%S %Y\r\n").encode()))},
            "nothing",
            [0],
            watch_ms=2500,
        ),
        Case(
            'RFC 867\'s own example format ("Tuesday, February 22, 1982 17:37:43-PST")',
            {0: serving(answer(lambda w: w.strftime("%A, %B %d, %Y %H:%M:%S-UTC\r\n").encode()))},
            "nothing",
            [0],
            watch_ms=2500,
        ),
        *unhealthy,
        Case("second 60", {0: serving(answer(lambda w: nist_line(w, second=60)))}, "unreadable",
             [0]),
        Case("month 13", {0: serving(answer(lambda w: nist_line(w, month=13)))}, "unreadable",
             [0]),
        Case(
            "a name that does not resolve (the first), the second answers",
            {1: serving(answer(present))},
            "success",
            [1],
            unresolved=("time.nist.gov",),
        ),
    ]
