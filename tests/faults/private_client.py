"""A client's session on the private channel, for the tests' scripted senders."""
import socket
import ssl


class Session:
    """TLS 1.3 through memory with the key and certificate given (PEM): a session that has
    sent its close_notify still reads the answer. pump(call) runs one TLS call to its end."""

    def __init__(self, addr, port, cert, key=None, timeout=10):
        ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
        ctx.minimum_version = ssl.TLSVersion.TLSv1_3
        ctx.load_cert_chain(cert, key)
        ctx.check_hostname = False
        ctx.verify_mode = ssl.CERT_NONE
        self.sock = socket.create_connection((addr, int(port)), timeout=timeout)
        self.incoming, self.outgoing = ssl.MemoryBIO(), ssl.MemoryBIO()
        self.tls = ctx.wrap_bio(self.incoming, self.outgoing)
        self.pump(self.tls.do_handshake)

    def pump(self, call):
        while True:
            try:
                result = call()
                self.sock.sendall(self.outgoing.read())
                return result
            except ssl.SSLWantReadError:
                self.sock.sendall(self.outgoing.read())
                data = self.sock.recv(65536)
                if not data:
                    raise EOFError("the receiver closed")
                self.incoming.write(data)

    def finish(self):
        """Ends our direction with close_notify; the answer can still be read."""
        try:
            self.tls.unwrap()
        except ssl.SSLWantReadError:
            pass
        self.sock.sendall(self.outgoing.read())

    def line(self):
        """One line of the receiver's, its line feed included."""
        text = b""
        while not text.endswith(b"\n"):
            text += self.pump(lambda: self.tls.read(1))
        return text
