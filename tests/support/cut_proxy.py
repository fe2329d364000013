"""A TCP proxy on loopback for the browser tests: it counts the bytes clients send through
it, and at a given count cuts every connection and refuses new ones (accepted and closed
at once, as a network that is gone) until it is restored."""
import socket
import threading


class CutProxy:
    def __init__(self, host, port):
        self.target = (host, port)
        self.sent = 0            # bytes from clients to the server
        self.cut_at = None       # a count of sent bytes at which the network goes
        self.down = threading.Event()
        self.lock = threading.Lock()
        self.open = []
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        threading.Thread(target=self.accept, daemon=True).start()

    def cut(self):
        with self.lock:
            self.down.set()
            for s in self.open:
                try:
                    s.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass
            self.open = []

    def restore(self):
        self.cut_at = None
        self.down.clear()

    def accept(self):
        while True:
            client, _ = self.listener.accept()
            if self.down.is_set():
                client.close()
                continue
            try:
                server = socket.create_connection(self.target)
            except OSError:
                client.close()
                continue
            with self.lock:
                self.open += [client, server]
            threading.Thread(target=self.pump, args=(client, server, True), daemon=True).start()
            threading.Thread(target=self.pump, args=(server, client, False), daemon=True).start()

    def pump(self, source, sink, counted):
        try:
            while True:
                data = source.recv(65536)
                if not data or self.down.is_set():
                    break
                sink.sendall(data)
                if counted:
                    with self.lock:
                        self.sent += len(data)
                    if self.cut_at is not None and self.sent >= self.cut_at:
                        self.cut()
        except OSError:
            pass
        for s in (source, sink):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
        source.close()
