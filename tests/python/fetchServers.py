"""Blob servers on loopback for the fetcher tests and benchmark: an HTTP
server over a directory (GET with ETag and Content-Length, atomic PUT,
faults to order, an optional latency per request), moto's S3 server in a
subprocess, and a proxy that cuts connections part-way; with the tests'
session-scoped fixtures for them.

    python tests/python/fetchServers.py ROOT [--latency SECONDS]

serves ROOT over HTTP on a free loopback port, prints its URL and runs
until its standard input closes."""

import argparse
import collections
import hashlib
import os
import socket
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse
import urllib.request
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

import pytest


class _BlobHandler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def _Blob(self):
        path = urllib.parse.unquote(urllib.parse.urlsplit(self.path).path).lstrip("/")
        if not path or ".." in path.split("/") or "\0" in path:
            return None
        return path

    def _Fault(self, blob):
        with self.server.lock:
            queued = self.server.faults.get(blob)
            return queued.pop(0) if queued else None

    def do_GET(self):
        blob = self._Blob()
        time.sleep(self.server.latency)
        with self.server.lock:
            self.server.gets[blob] += 1
        fault = self._Fault(blob)
        if fault == "503":
            return self.send_error(503, "busy")
        try:
            with open(os.path.join(self.server.root, blob), "rb") as f:
                data = f.read()
        except (OSError, TypeError):
            return self.send_error(404)
        etag = hashlib.sha256(b"other" if fault == "etag" else data).hexdigest()
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(data)))
        self.send_header("ETag", '"%s"' % etag)
        self.end_headers()
        if fault == "cut":
            # The server dies half-way through the body.
            self.wfile.write(data[:len(data) // 2])
            self.wfile.flush()
            self.close_connection = True
            self.connection.shutdown(socket.SHUT_RDWR)
            return
        self.wfile.write(data)

    def do_PUT(self):
        blob = self._Blob()
        length = int(self.headers.get("Content-Length", "-1"))
        if blob is None or length < 0:
            return self.send_error(400)
        target = os.path.join(self.server.root, blob)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        # Written aside and renamed: a GET meanwhile sees the old or the new
        # blob, whole.
        fd, partial = tempfile.mkstemp(dir=os.path.dirname(target), suffix=".put")
        with os.fdopen(fd, "wb") as out:
            left = length
            while left:
                chunk = self.rfile.read(min(left, 1 << 20))
                if not chunk:
                    break
                out.write(chunk)
                left -= len(chunk)
        if left:
            os.remove(partial)
            self.close_connection = True
            return
        os.replace(partial, target)
        self.send_response(201)
        self.send_header("Content-Length", "0")
        self.end_headers()


class _Server(ThreadingHTTPServer):
    daemon_threads = True
    # Room for every peer's fetches at once: with the default backlog of 5,
    # connections beyond it wait a second for the kernel to retry them.
    request_queue_size = 128


class HttpBlobServer:
    """The HTTP blob store over root, in a thread of this process. faults
    maps a blob path to the faults its next GETs meet, in order: "503",
    "cut" (half the body, then the connection closes) or "etag" (an ETag
    that is not the body's digest). gets counts the GETs per blob path."""

    def __init__(self, root, latency=0.0):
        self.server = _Server(("127.0.0.1", 0), _BlobHandler)
        self.server.root = str(root)
        self.server.latency = latency
        self.server.lock = threading.Lock()
        self.server.faults = {}
        self.server.gets = collections.Counter()
        self.root = str(root)
        self.url = "http://127.0.0.1:%d" % self.server.server_address[1]
        self._thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self._thread.start()

    @property
    def gets(self):
        return self.server.gets

    def Fail(self, blob, *faults):
        with self.server.lock:
            self.server.faults[blob] = list(faults)

    def Stop(self):
        self.server.shutdown()
        self.server.server_close()
        self._thread.join()


def FreePort():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def _WaitForPort(port, proc, what):
    for _ in range(600):
        if proc.poll() is not None:
            raise RuntimeError("%s exited with %d" % (what, proc.returncode))
        try:
            socket.create_connection(("127.0.0.1", port), timeout=0.5).close()
            return
        except OSError:
            time.sleep(0.05)
    raise RuntimeError("%s did not start" % what)


class MotoServer:
    """moto's stand-alone S3-compatible server, a subprocess on loopback."""

    def __init__(self):
        self.port = FreePort()
        self.url = "http://127.0.0.1:%d" % self.port
        self.proc = subprocess.Popen(
            [sys.executable, "-m", "moto.server", "-H", "127.0.0.1", "-p", str(self.port)],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        _WaitForPort(self.port, self.proc, "moto_server")

    def Stop(self):
        self.proc.terminate()
        self.proc.wait(timeout=30)


class CuttingProxy:
    """A TCP proxy to 127.0.0.1:port that closes each connection once it
    has passed cutAfter bytes of the server's answer."""

    def __init__(self, port, cutAfter):
        self.upstream = port
        self.cutAfter = cutAfter
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.url = "http://127.0.0.1:%d" % self.listener.getsockname()[1]
        self._thread = threading.Thread(target=self._Accept, daemon=True)
        self._thread.start()

    def _Accept(self):
        while True:
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            server = socket.create_connection(("127.0.0.1", self.upstream))
            threading.Thread(target=self._Pump, args=(client, server, None), daemon=True).start()
            threading.Thread(target=self._Pump, args=(server, client, self.cutAfter),
                             daemon=True).start()

    @staticmethod
    def _Pump(source, sink, limit):
        passed = 0
        try:
            while limit is None or passed < limit:
                data = source.recv(65536)
                if not data:
                    break
                if limit is not None:
                    data = data[:limit - passed]
                sink.sendall(data)
                passed += len(data)
        except OSError:
            pass
        for s in (source, sink):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            s.close()

    def Stop(self):
        self.listener.close()


@pytest.fixture(scope="session")
def httpServer(tmp_path_factory):
    server = HttpBlobServer(tmp_path_factory.mktemp("httpBlobs"))
    yield server
    server.Stop()


@pytest.fixture(scope="session")
def s3Server():
    """moto's server with a bucket "vela", and credentials for boto3 in the
    environment (which peer processes inherit)."""
    try:
        import boto3
        import moto.server  # noqa: F401
    except ImportError as e:
        pytest.skip("S3 tests need boto3 and moto[server] (scripts/requirements.txt): %s" % e)
    for name, value in (("AWS_ACCESS_KEY_ID", "testing"), ("AWS_SECRET_ACCESS_KEY", "testing"),
                        ("AWS_DEFAULT_REGION", "us-east-1")):
        os.environ[name] = value
    server = MotoServer()
    boto3.client("s3", endpoint_url=server.url).create_bucket(Bucket="vela")
    yield server
    server.Stop()


def main(argv=None):
    parser = argparse.ArgumentParser(description="serves a blob directory over HTTP")
    parser.add_argument("root")
    parser.add_argument("--latency", type=float, default=0.0,
                        help="seconds every GET waits before it answers")
    args = parser.parse_args(argv)
    server = HttpBlobServer(args.root, args.latency)
    print(server.url, flush=True)
    sys.stdin.read()
    server.Stop()


if __name__ == "__main__":
    main()
