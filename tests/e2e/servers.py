"""Test daytime servers for the end-to-end run, and a recorder of every connection attempt.

Everything here listens on loopback addresses inside the private network namespace that the
harness made; nothing reaches outside it. Each server records what it accepted and what it
received (a daytime client must send nothing), and the recorder sees the SYN of every attempt,
so refused and never-accepted attempts are counted too, in the order they were made.
"""

import datetime
import errno
import select
import socket
import struct
import threading
import time

DAYTIME_PORT = 13
SERVER_NAMES = [
    "time.nist.gov",
    "time-a-g.nist.gov",
    "time-b-g.nist.gov",
    "time-a-wwv.nist.gov",
    "time-b-wwv.nist.gov",
]
SERVER_ADDRESSES = [f"127.0.0.{11 + i}" for i in range(len(SERVER_NAMES))]

# A server sends this long after the start of a second: Wine accepts a clock setting only within
# half a second of its present time, and the reply carries whole seconds.
SEND_AFTER_SECOND_START = 0.010


def utc_now():
    return datetime.datetime.now(datetime.timezone.utc).replace(tzinfo=None)


def nist_line(when, health=0, second=None, month=None):
    """A reply in NIST's daytime format for the UTC time `when`; fields can be made wrong."""
    mjd = (when.date() - datetime.date(1858, 11, 17)).days
    sec = when.second if second is None else second
    mon = when.month if month is None else month
    return (
        f"\n{mjd:05d} {when.year % 100:02d}-{mon:02d}-{when.day:02d} "
        f"{when.hour:02d}:{when.minute:02d}:{sec:02d} 00 0 {health} 50.0 UTC(NIST) *\n"
    ).encode("ascii")


class Connection:
    """One accepted connection, as the server saw it."""

    def __init__(self, index):
        self.index = index
        self.accepted_at = time.monotonic()
        self.received = b""
        self.sent = b""
        self.sent_time = None  # the UTC time that the reply carried, if any
        self.done = threading.Event()  # the server has sent all it meant to send
        self.peer_closed = False


# Behaviours. Each is a function of (socket, Connection, stop event) that serves one accepted
# connection; the server reads (and records) whatever the client sends all along.


def _read_until(sock, conn, deadline, stop):
    while not stop.is_set():
        left = deadline - time.monotonic()
        if left <= 0:
            return
        ready, _, _ = select.select([sock], [], [], min(left, 0.05))
        if not ready:
            continue
        try:
            data = sock.recv(65536)
        except OSError:
            conn.peer_closed = True
            return
        if not data:
            conn.peer_closed = True
            return
        conn.received += data


def _send(sock, conn, data):
    sock.sendall(data)
    conn.sent += data


def _wait_for_second_start(sock, conn, stop):
    """Reads until just after the start of the next second; the UTC time then, whole seconds."""
    now = time.time()
    wait = (int(now) + 1 + SEND_AFTER_SECOND_START) - now
    end = time.monotonic() + wait
    _read_until(sock, conn, end, stop)
    time.sleep(max(0.0, end - time.monotonic()))  # the client closed early: wait all the same
    return utc_now().replace(microsecond=0)


def answer(make_line):
    """Sends, just after a second starts, the line that `make_line` builds from the UTC time."""

    def serve(sock, conn, stop):
        when = _wait_for_second_start(sock, conn, stop)
        conn.sent_time = when
        _send(sock, conn, make_line(when))
        conn.done.set()
        _read_until(sock, conn, time.monotonic() + 0.3, stop)

    return serve


def answer_fixed(data, sent_time=None):
    """Sends these bytes at once."""

    def serve(sock, conn, stop):
        conn.sent_time = sent_time
        _send(sock, conn, data)
        conn.done.set()
        _read_until(sock, conn, time.monotonic() + 0.3, stop)

    return serve


def _sleep_until(sock, conn, stop, wall_time):
    end = time.monotonic() + (wall_time - time.time())
    _read_until(sock, conn, end, stop)
    time.sleep(max(0.0, end - time.monotonic()))


def split(make_line, cut, delay):
    """Sends the line in two pieces, cut before byte `cut`: the first `delay` seconds before the
    start of a second, the second just after it. The line carries the time of that second, so
    either piece, were it whole enough to be used, would arrive within Wine's half second."""

    def serve(sock, conn, stop):
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        second = int(time.time() + delay) + 1
        _sleep_until(sock, conn, stop, second - delay)
        when = datetime.datetime.fromtimestamp(second, datetime.timezone.utc).replace(tzinfo=None)
        conn.sent_time = when
        line = make_line(when)
        _send(sock, conn, line[:cut])
        _sleep_until(sock, conn, stop, second + SEND_AFTER_SECOND_START)
        _send(sock, conn, line[cut:])
        conn.done.set()
        _read_until(sock, conn, time.monotonic() + 0.3, stop)

    return serve


def trickle(make_line, gap, time_end):
    """Sends the line one byte at a time, `gap` seconds apart, timed so that the byte that ends
    its time (before index `time_end`) goes just after the start of the second the line gives."""

    def serve(sock, conn, stop):
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        lead = (time_end - 1) * gap
        second = int(time.time() + lead) + 1
        start = second + SEND_AFTER_SECOND_START - lead
        when = datetime.datetime.fromtimestamp(second, datetime.timezone.utc).replace(tzinfo=None)
        conn.sent_time = when
        for i, byte in enumerate(make_line(when)):
            _sleep_until(sock, conn, stop, start + i * gap)
            _send(sock, conn, bytes([byte]))
        conn.done.set()
        _read_until(sock, conn, time.monotonic() + 0.3, stop)

    return serve


def flood(data):
    """Sends all these bytes as fast as the client takes them."""

    def serve(sock, conn, stop):
        sock.settimeout(30)
        _send(sock, conn, data)
        conn.done.set()
        _read_until(sock, conn, time.monotonic() + 0.3, stop)

    return serve


def in_turn(*serves):
    """The first connection served by the first behaviour, the next by the next, and so on."""
    count = [0]

    def serve(sock, conn, stop):
        index = min(count[0], len(serves) - 1)
        count[0] += 1
        serves[index](sock, conn, stop)

    return serve


def close_at_once():
    """Accepts and closes without sending a byte."""

    def serve(sock, conn, stop):
        _read_until(sock, conn, time.monotonic() + 0.05, stop)
        conn.done.set()

    return serve


def hold_open():
    """Accepts and never sends; keeps the connection open until the case ends."""

    def serve(sock, conn, stop):
        conn.done.set()
        _read_until(sock, conn, time.monotonic() + 3600, stop)

    return serve


class Behaviour:
    """How one of the five addresses behaves: refuse (no listener), never accept, or serve."""

    def __init__(self, kind, serve=None):
        self.kind = kind
        self.serve = serve


REFUSE = Behaviour("refuse")
NEVER_ACCEPT = Behaviour("never accept")


def serving(serve):
    return Behaviour("serve", serve)


class Server:
    def __init__(self, index, behaviour, stop):
        self.index = index
        self.address = SERVER_ADDRESSES[index]
        self.behaviour = behaviour
        self.stop = stop
        self.connections = []
        self.fillers = []
        self.filler_ports = set()
        self.listener = None
        self.threads = []
        if behaviour.kind == "refuse":
            return
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind((self.address, DAYTIME_PORT))
        if behaviour.kind == "never accept":
            self.listener.listen(0)
            self._fill_backlog()
        else:
            self.listener.listen(8)
            thread = threading.Thread(target=self._accept_loop, daemon=True)
            thread.start()
            self.threads.append(thread)

    def _fill_backlog(self):
        # With the accept queue full and nobody accepting, the kernel drops every further SYN:
        # to a client the server is silent, exactly as one behind a dropping firewall.
        for _ in range(8):
            filler = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
            filler.setblocking(False)
            filler.bind(("127.0.0.1", 0))
            self.filler_ports.add(filler.getsockname()[1])
            self.fillers.append(filler)
            try:
                filler.connect((self.address, DAYTIME_PORT))
            except BlockingIOError:
                pass
            _, writable, _ = select.select([], [filler], [], 0.3)
            if not writable:
                return  # this one got no answer: the queue is full
        raise RuntimeError(f"the backlog of {self.address} does not fill")

    def _accept_loop(self):
        while not self.stop.is_set():
            ready, _, _ = select.select([self.listener], [], [], 0.05)
            if not ready:
                continue
            sock, _ = self.listener.accept()
            conn = Connection(self.index)
            self.connections.append(conn)
            thread = threading.Thread(target=self._serve, args=(sock, conn), daemon=True)
            thread.start()
            self.threads.append(thread)

    def _serve(self, sock, conn):
        try:
            self.behaviour.serve(sock, conn, self.stop)
        except OSError:
            pass  # the client went away; what was sent and received is recorded
        finally:
            conn.done.set()
            sock.close()

    def close(self):
        for thread in self.threads:
            thread.join(timeout=5)
        for filler in self.fillers:
            filler.close()
        if self.listener:
            self.listener.close()


class Lab:
    """The five servers of one case, each with its behaviour (refusing unless given one)."""

    def __init__(self, behaviours):
        self.stop = threading.Event()
        self.servers = [
            Server(i, behaviours.get(i, REFUSE), self.stop) for i in range(len(SERVER_ADDRESSES))
        ]

    def connections(self):
        return [c for s in self.servers for c in s.connections]

    def filler_ports(self):
        return set().union(*(s.filler_ports for s in self.servers))

    def wait_sent(self, timeout):
        """Waits until every accepted connection has had all its bytes sent."""
        end = time.monotonic() + timeout
        for conn in self.connections():
            if not conn.done.wait(max(0.0, end - time.monotonic())):
                return False
        return True

    def close(self):
        self.stop.set()
        for server in self.servers:
            server.close()


class SynRecorder:
    """Sees every TCP SYN to the daytime port on the loopback interface of the namespace."""

    def __init__(self):
        self.sock = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(0x0800))
        self.sock.bind(("lo", 0))
        self.lock = threading.Lock()
        self.seen = []  # (monotonic time, destination address, source port)
        self.running = True
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def _run(self):
        packet_outgoing = 4  # each loopback packet is seen going out and coming in; keep one
        while self.running:
            ready, _, _ = select.select([self.sock], [], [], 0.1)
            if not ready:
                continue
            try:
                frame, where = self.sock.recvfrom(65536)
            except OSError as error:
                if error.errno == errno.EINTR:
                    continue
                raise
            if where[2] == packet_outgoing:
                continue
            ip = frame[14:]
            if len(ip) < 20 or ip[0] >> 4 != 4 or ip[9] != socket.IPPROTO_TCP:
                continue
            header = (ip[0] & 0x0F) * 4
            tcp = ip[header:]
            if len(tcp) < 14:
                continue
            source_port, dest_port = struct.unpack("!HH", tcp[:4])
            flags = tcp[13]
            if dest_port == DAYTIME_PORT and flags & 0x02 and not flags & 0x10:
                with self.lock:
                    self.seen.append((time.monotonic(), socket.inet_ntoa(ip[16:20]), source_port))

    def timed_attempts(self, since, ignore_ports=()):
        """(time, address) of each attempt since then, in order; a SYN sent again is folded."""
        with self.lock:
            seen = list(self.seen)
        out, tried = [], set()
        for when, address, port in seen:
            if when < since or port in ignore_ports or (address, port) in tried:
                continue
            tried.add((address, port))
            out.append((when, address))
        return out

    def attempts(self, since, ignore_ports=()):
        return [address for _, address in self.timed_attempts(since, ignore_ports)]

    def close(self):
        self.running = False
        self.thread.join(timeout=2)
        self.sock.close()
