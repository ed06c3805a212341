"""An HTTP server of the tests' own for the faults a real server will not make on request. It
records every request it gets (request line and headers) and answers by path:
  /status/N             status N with a short body
  /cut/ANNOUNCED/SENT   200 announcing ANNOUNCED bytes, then SENT bytes of pattern(), then the connection is cut
                        (SENT beyond ANNOUNCED: a body longer than its announced length)
  /stall/ANNOUNCED/SENT 200 announcing ANNOUNCED bytes, then SENT bytes of pattern(), then nothing until closed
  /slow/SIZE/MS         200 with SIZE bytes of pattern(), one byte every MS milliseconds
  /chunked/SIZE         200 with SIZE bytes of pattern() in chunked encoding (no length announced)
  /endless              200 in chunked encoding whose body never ends
  /silent               reads the request and never answers
  /trickle/MS/NAME      200 with the body put under /NAME in `bodies`, 4 KiB every MS milliseconds
  anything else         200 with the body the test put under that path in `bodies`, else 404
Runs on 127.0.0.1 in a thread of the test process:
    with FaultServer() as server: url = server.url("/status/404")"""
import dataclasses
import http.server
import socket
import threading
import time
from typing import Dict, List


def pattern(size: int) -> bytes:
    """The body the fault routes send: not periodic in powers of two, so a shifted or repeated block shows."""
    block = bytes(i % 251 for i in range(251))
    return (block * (size // 251 + 1))[:size]


@dataclasses.dataclass
class Request:
    line: str
    headers: Dict[str, str]


class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server: "_Server"

    def log_message(self, *args):  # the test prints what it needs
        pass

    def do_GET(self):
        self.server.owner.requests.append(Request(self.requestline, dict(self.headers.items())))
        parts = self.path.split("/")[1:]
        try:
            if parts[0] == "status":
                self._send(int(parts[1]), b"fault server status\n")
            elif parts[0] == "cut":
                self._cut(int(parts[1]), int(parts[2]))
            elif parts[0] == "stall":
                self._stall(int(parts[1]), int(parts[2]))
            elif parts[0] == "slow":
                self._slow(int(parts[1]), int(parts[2]))
            elif parts[0] == "chunked":
                self._chunked(int(parts[1]))
            elif parts[0] == "endless":
                self._endless()
            elif parts[0] == "silent":
                self.server.owner.stopping.wait(600)
                self.close_connection = True
            elif parts[0] == "trickle":
                self._trickle(self.server.owner.bodies["/" + "/".join(parts[2:])], int(parts[1]))
            elif self.path in self.server.owner.bodies:
                self._send(200, self.server.owner.bodies[self.path])
            else:
                self._send(404, b"not found\n")
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True

    def _head(self, status: int, length=None, chunked=False):
        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream")
        if length is not None:
            self.send_header("Content-Length", str(length))
        if chunked:
            self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()

    def _send(self, status: int, body: bytes):
        self._head(status, len(body))
        self.wfile.write(body)

    def _cut(self, announced: int, sent: int):
        self._head(200, announced)
        self.wfile.write(pattern(sent))
        self.wfile.flush()
        self.connection.shutdown(socket.SHUT_RDWR)
        self.close_connection = True

    def _stall(self, announced: int, sent: int):
        self._head(200, announced)
        self.wfile.write(pattern(sent))
        self.wfile.flush()
        self.server.owner.stopping.wait(600)

    def _slow(self, size: int, ms: int):
        self._head(200, size)
        self.wfile.flush()
        for byte in pattern(size):
            if self.server.owner.stopping.is_set():
                break
            self.wfile.write(bytes([byte]))
            self.wfile.flush()
            time.sleep(ms / 1000)

    def _trickle(self, body: bytes, ms: int):
        self._head(200, len(body))
        for start in range(0, len(body), 4096):
            if self.server.owner.stopping.is_set():
                break
            self.wfile.write(body[start:start + 4096])
            self.wfile.flush()
            time.sleep(ms / 1000)

    def _chunked(self, size: int):
        self._head(200, chunked=True)
        body = pattern(size)
        for start in range(0, size, 1000):
            piece = body[start:start + 1000]
            self.wfile.write(b"%X\r\n%s\r\n" % (len(piece), piece))
        self.wfile.write(b"0\r\n\r\n")


    def _endless(self):
        self._head(200, chunked=True)
        piece = pattern(65536)
        while not self.server.owner.stopping.is_set():
            self.wfile.write(b"%X\r\n%s\r\n" % (len(piece), piece))
        self.close_connection = True


class _Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    owner: "FaultServer"

    def handle_error(self, request, client_address):
        # A client that hangs up (a cancelled or killed download) is one of the cases under test.
        import sys
        if not isinstance(sys.exc_info()[1], (ConnectionResetError, BrokenPipeError)):
            super().handle_error(request, client_address)


class FaultServer:
    def __init__(self):
        self.requests: List[Request] = []
        self.bodies: Dict[str, bytes] = {}
        self.stopping = threading.Event()
        self._server = _Server(("127.0.0.1", 0), _Handler)
        self._server.owner = self
        self.port = self._server.server_address[1]
        self._thread = threading.Thread(target=self._server.serve_forever, daemon=True)
        self._thread.start()

    def url(self, path: str) -> str:
        return f"http://127.0.0.1:{self.port}{path}"

    def close(self):
        self.stopping.set()
        self._server.shutdown()
        self._server.server_close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
