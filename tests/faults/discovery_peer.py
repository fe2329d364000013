#!/usr/bin/env python3
"""Discovery's counterparts for the shell tests, each a small independent peer.

plain ADDR PEER: a copy bound to ADDR's port 2904 as a plain UDP socket (no group, no
  SO_REUSEADDR), with its TCP port 2904 for hand-overs. It answers PEER's first unicast
  "notify" by handing over ADDR, then asks PEER three times ("notify" by unicast; the
  second and third time to the group at the same moment too) and prints
  "asked 3 handovers N": the address records PEER handed over (datagrams no copy sends,
  sent by unicast before the asks, must add none).
handover PEER SOURCE...: one address record from each SOURCE address to PEER's port 2904,
  as a copy answering discovery sends it (Flags 0, the source's own address), whether
  PEER asked or not; prints "handed N".
empty PEER SOURCE...: an empty transfer (a header with Total 0, no record) from each
  SOURCE address to PEER's port 2904; prints "sent N".
answer PEER SOURCE: waits (at most 10 s) for PEER's "notify", to the group or by unicast,
  then hands SOURCE over from SOURCE, as a copy answers; prints "answered".
hold PORT: holds TCP and UDP PORT on every address without SO_REUSEADDR; prints "held".
asks SECONDS STEP...: listens on TCP 2904 of every address, sends the datagrams the steps
  name ("SRC>DST/KIND/NUMBER", DST an address or "group"; "pause=SECONDS" waits), prints
  "handover ADDR" as each address record arrives at ADDR, and after SECONDS one
  "handovers ADDR N" line per address that got any (sorted), or "handovers none".
lie PEER FAR TEXT: for 2 s, "notify" datagrams to PEER from FAR (an address beyond
  PEER's subnet), and one address record to PEER whose text is TEXT, not its source;
  prints "lied".
flood COUNT FIRST LAST DST SECONDS: COUNT "notify" datagrams to DST, each with a number
  of its own, from the addresses FIRST to LAST (the last byte of TX's /24) in turn,
  spread over SECONDS; prints "flooded".
capture IF SECONDS: counts the discovery datagrams that leave on IF (AF_PACKET) for
  SECONDS and prints what the look-around did as "key value" lines; a sweep begins after
  5 s without a unicast datagram.
"""
import socket
import struct
import sys
import threading
import time

PORT = 2904
GROUP = "239.123.126.129"
TX_PREFIX = "10.213.0"  # the fault tests' link (tests/faults/lib.sh)
SWEEP_GAP = 5  # seconds without a unicast datagram between two sweeps


def datagram(kind, number):
    return b"%15s%15s%015d" % (b"Quorvalinthexa", kind, number)


def hand_over(own, peer, source=None):
    stream(b"Version:3.0\n\nType:ip\nSize:%d\nFlags:0\n\n%s\n\n" % (len(own), own.encode()), peer, source)


def stream(data, peer, source=None):
    with socket.create_connection((peer, PORT), timeout=5, source_address=(source, 0) if source else None) as s:
        s.sendall(data)
        s.shutdown(socket.SHUT_WR)
        try:
            s.recv(1)  # the peer's close: it has taken the record, and the next one finds it free
        except OSError:
            pass


def read_stream(c):
    """The first 200 bytes a connection sends, or what it sent before closing."""
    data = b""
    with c:
        c.settimeout(3)
        try:
            while len(data) < 200:
                chunk = c.recv(200)
                if not chunk:
                    break
                data += chunk
        except OSError:
            pass
    return data


def plain(addr, peer):
    udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    udp.bind((addr, PORT))
    udp.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(addr))
    tcp = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    tcp.bind((addr, PORT))
    tcp.listen(16)
    records = []

    def count():
        while True:
            data = read_stream(tcp.accept()[0])
            if b"Type:ip" in data:
                records.append(data)

    threading.Thread(target=count, daemon=True).start()
    udp.settimeout(30)
    while True:
        data, (sender, _) = udp.recvfrom(100)
        if sender == peer and data[15:30].strip() == b"notify":
            break
    hand_over(addr, peer)
    print("answered", flush=True)
    time.sleep(1)
    records.clear()
    # Datagrams no copy sends, by unicast: none may be answered, and the peer goes on.
    hostile = [b"", b"\0" * 45, b"x" * 65507, datagram(b"notify", 0), datagram(b"hello", 9),
               b"%15s%15s%015d" % (b"quorvalinthexa", b"notify", 9), datagram(b"notify", 99)[:20],
               b"%15s%15s%15s" % (b"Quorvalinthexa", b"notify", b"-42")]
    for bad in hostile:
        udp.sendto(bad, (peer, PORT))
    time.sleep(1)  # past the half second in which a wrongly answered one would hide the first ask
    asks = 3
    for i in range(asks):
        ask = datagram(b"notify", 777 + i)
        if i > 0:
            udp.sendto(ask, (GROUP, PORT))
        udp.sendto(ask, (peer, PORT))
        time.sleep(1.5)
    time.sleep(1)
    print("asked %d handovers %d" % (asks, len(records)), flush=True)


def asks(seconds, steps):
    tcp = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    tcp.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    tcp.bind(("0.0.0.0", PORT))
    tcp.listen(64)
    got = {}

    def take(c):
        at = c.getsockname()[0]
        if b"Type:ip" in read_stream(c):
            got[at] = got.get(at, 0) + 1
            print("handover", at, flush=True)

    def count():
        while True:
            c, _ = tcp.accept()
            threading.Thread(target=take, args=(c,), daemon=True).start()

    threading.Thread(target=count, daemon=True).start()
    end = time.monotonic() + seconds
    for step in steps:
        if step.startswith("pause="):
            time.sleep(float(step[6:]))
            continue
        src, rest = step.split(">")
        dst, kind, number = rest.split("/")
        u = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        u.bind((src, 0))
        u.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton(src))
        u.sendto(datagram(kind.encode(), int(number)), (GROUP if dst == "group" else dst, PORT))
        u.close()
    time.sleep(max(0.0, end - time.monotonic()))
    for line in ["handovers %s %d" % (at, got[at]) for at in sorted(got)] or ["handovers none"]:
        print(line, flush=True)


def flood(count, first, last, dst, seconds):
    prefix = TX_PREFIX
    socks = []
    for b in range(first, last + 1):
        u = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        u.bind(("%s.%d" % (prefix, b), 0))
        socks.append(u)
    for i in range(count):
        socks[i % len(socks)].sendto(datagram(b"notify", 100000 + i), (dst, PORT))
        time.sleep(seconds / count)
    print("flooded", flush=True)


def lie(peer, far, text):
    u = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    u.bind((far, 0))
    for i in range(20):
        u.sendto(datagram(b"notify", 500 + i), (peer, PORT))
        if i == 5:
            hand_over(text, peer)
        time.sleep(0.1)
    print("lied", flush=True)


def handover(peer, sources):
    for source in sources:
        hand_over(source, peer, source)
    print("handed %d" % len(sources), flush=True)


def empty(peer, sources):
    for source in sources:
        stream(b"Version:3.0\nTotal:0\n\n", peer, source)
    print("sent %d" % len(sources), flush=True)


def answer(peer, source):
    udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    udp.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    udp.bind(("", PORT))
    udp.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP, socket.inet_aton(GROUP) + socket.inet_aton(source))
    udp.settimeout(10)
    while True:
        data, (sender, _) = udp.recvfrom(100)
        if sender == peer and data[15:30].strip() == b"notify":
            break
    hand_over(source, peer, source)
    print("answered", flush=True)


def hold(port):
    t = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    t.bind(("0.0.0.0", port))
    t.listen(1)
    u = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    u.bind(("0.0.0.0", port))
    print("held", flush=True)
    time.sleep(600)


def capture(interface, seconds):
    # Every protocol: a socket of IPv4's alone is not shown what the host sends.
    s = socket.socket(socket.AF_PACKET, socket.SOCK_DGRAM, socket.htons(3))
    s.bind((interface, 0))
    s.settimeout(0.5)
    sent = []  # (time, destination, kind) of each unicast discovery datagram
    requests = 0
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        try:
            packet, info = s.recvfrom(2048)
        except socket.timeout:
            continue
        if info[1] != 0x0800 or info[2] != socket.PACKET_OUTGOING or len(packet) < 28 or packet[9] != 17:
            continue
        header = (packet[0] & 15) * 4
        dport = struct.unpack("!H", packet[header + 2:header + 4])[0]
        if dport != PORT:
            continue
        kind = packet[header + 8 + 15:header + 8 + 30].strip()
        if kind == b"request":
            requests += 1
        if packet[16] >= 224:
            continue  # the group's once-a-second notify
        sent.append((time.monotonic(), socket.inet_ntoa(packet[16:20]), kind))
    first = sent[0][0] if sent else 0
    again = [b[0] for a, b in zip(sent, sent[1:]) if b[0] - a[0] > SWEEP_GAP]
    sweep = [d for t, d, _ in sent if not again or t < again[0]]
    most = 0
    for i, (t, _, _) in enumerate(sent):
        j = i
        while j < len(sent) and sent[j][0] < t + 1:
            j += 1
        most = max(most, j - i)
    print("requests %d" % requests)
    print("non_notify %d" % sum(1 for _, _, k in sent if k != b"notify"))
    print("first_sweep_addresses %d" % len(set(sweep)))
    print("most_in_a_second %d" % most)
    print("second_sweep_after %s" % ("%.1f" % (again[0] - first) if again else "none"))


def main():
    command, args = sys.argv[1], sys.argv[2:]
    if command == "plain":
        plain(args[0], args[1])
    elif command == "handover":
        handover(args[0], args[1:])
    elif command == "empty":
        empty(args[0], args[1:])
    elif command == "answer":
        answer(args[0], args[1])
    elif command == "hold":
        hold(int(args[0]))
    elif command == "asks":
        asks(float(args[0]), args[1:])
    elif command == "lie":
        lie(args[0], args[1], args[2])
    elif command == "flood":
        flood(int(args[0]), int(args[1]), int(args[2]), args[3], float(args[4]))
    elif command == "capture":
        capture(args[0], float(args[1]))


if __name__ == "__main__":
    main()
