"""redis-server processes of the tests' own, on loopback ports: plain, with
a password and ACL users, or speaking TLS only, with certificates made
here with openssl (a CA, a server certificate for 127.0.0.1 and
localhost, a client certificate, and a second CA that vouches for
neither)."""

import os
import shutil
import socket
import subprocess
import time
from urllib.parse import quote

from vela.usd.client import resp


def FreePort():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def _OpenSsl(*args):
    subprocess.run(["openssl", *args], check=True, capture_output=True, timeout=60)


class Certificates:
    """A CA and the certificates it signs, in directory: ``ca``,
    ``serverCert``/``serverKey`` (127.0.0.1 and localhost),
    ``clientCert``/``clientKey``; ``otherCa`` and ``otherCert``/
    ``otherKey`` are a CA of their own and a client certificate it
    signs."""

    def __init__(self, directory):
        path = lambda name: os.path.join(str(directory), name)  # noqa: E731
        self.ca, caKey = path("ca.pem"), path("ca.key")
        self.otherCa, otherCaKey = path("other-ca.pem"), path("other-ca.key")
        for cert, key, name in ((self.ca, caKey, "vela test CA"),
                                (self.otherCa, otherCaKey, "another CA")):
            _OpenSsl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                     "-out", cert, "-days", "2", "-subj", "/CN=" + name)
        extensions = path("server.ext")
        with open(extensions, "w") as f:
            f.write("subjectAltName=DNS:localhost,IP:127.0.0.1\n")
        made = {}
        for name, ca, key, names in (("server", self.ca, caKey, extensions),
                                     ("client", self.ca, caKey, None),
                                     ("other", self.otherCa, otherCaKey, None)):
            cert, certKey, request = path(name + ".pem"), path(name + ".key"), path(name + ".csr")
            _OpenSsl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", certKey, "-out", request,
                     "-subj", "/CN=" + ("localhost" if name == "server" else "vela peer"))
            _OpenSsl("x509", "-req", "-in", request, "-CA", ca, "-CAkey", key, "-CAcreateserial",
                     "-out", cert, "-days", "2", *(["-extfile", names] if names else []))
            made[name] = cert, certKey
        self.serverCert, self.serverKey = made["server"]
        self.clientCert, self.clientKey = made["client"]
        self.otherCert, self.otherKey = made["other"]


_TlsSupport = {}


def RedisHasTls():
    """Whether this machine's redis-server was built with TLS (and openssl
    is there to make certificates)."""
    if "yes" not in _TlsSupport:
        # A build without TLS takes no TLS directive; one with it fails to
        # set TLS up without certificates. Either way it exits at once.
        probe = subprocess.run(["redis-server", "--port", "0", "--tls-port", "1",
                                "--daemonize", "no"], capture_output=True, text=True, timeout=60)
        text = probe.stdout + probe.stderr
        _TlsSupport["yes"] = (shutil.which("openssl") is not None and "Bad directive" not in text
                              and "TLS" in text)
    return _TlsSupport["yes"]


class RedisServer:
    """A redis-server on a loopback port, keeping its data in an
    append-only file so that it survives a restart. With password, the
    default user needs it; users are ACL rules, one list per user, the
    user's name first (as after ``user`` in an ACL file). With tls (a
    Certificates), it speaks TLS only, asking clients for a certificate
    as clientAuth says (no, optional, yes). extra goes on redis-server's
    command line."""

    def __init__(self, directory, password=None, users=(), tls=None, clientAuth="no",
                 extra=()):
        self.directory = str(directory)
        self.port = FreePort()
        self.password = password
        self.users = [list(rules) for rules in users]
        self.tls = tls
        self.clientAuth = clientAuth
        self.extra = list(extra)
        self.url = self.Url(password=password)
        self.proc = None
        self._admin = None

    def Url(self, user=None, password=None, host="127.0.0.1", **options):
        """A URL of this server for user and password (quoted here), with
        query options; over TLS it trusts the test CA unless options say
        otherwise."""
        auth = ""
        if password is not None:
            auth = "%s:%s@" % (quote(user or "", safe=""), quote(password, safe=""))
        if self.tls is not None:
            options.setdefault("ssl_ca_certs", self.tls.ca)
        query = "&".join("%s=%s" % item for item in options.items() if item[1] is not None)
        return "%s://%s%s:%d/0%s" % ("rediss" if self.tls else "redis", auth, host, self.port,
                                     "?" + query if query else "")

    def AdminUrl(self):
        """A URL as the default user, with the client certificate over TLS."""
        if self.tls is None:
            return self.url
        return self.Url(password=self.password, ssl_certfile=self.tls.clientCert,
                        ssl_keyfile=self.tls.clientKey)

    def Start(self):
        command = ["redis-server", "--bind", "127.0.0.1", "--dir", self.directory,
                   "--logfile", self.LogFile(),
                   "--appendonly", "yes", "--appendfsync", "always", "--save", "",
                   "--daemonize", "no", "--loglevel", "warning"]
        if self.tls is None:
            command += ["--port", str(self.port)]
        else:
            command += ["--port", "0", "--tls-port", str(self.port),
                        "--tls-cert-file", self.tls.serverCert,
                        "--tls-key-file", self.tls.serverKey,
                        "--tls-ca-cert-file", self.tls.ca, "--tls-auth-clients", self.clientAuth]
        if self.password is not None:
            command += ["--requirepass", self.password]
        for rules in self.users:
            command += ["--user", *rules]
        self.proc = subprocess.Popen(command + self.extra, stdout=subprocess.DEVNULL)
        deadline = time.monotonic() + 20
        while True:
            try:
                admin = resp.Connection(self.AdminUrl())
                if admin.Execute("PING") == b"PONG":
                    break
            except (OSError, resp.ReplyError):
                if time.monotonic() > deadline or self.proc.poll() is not None:
                    raise RuntimeError("redis-server did not start")
                time.sleep(0.05)
        admin.Close()

    def Admin(self):
        """A connection as the default user (kept open, so that it counts
        as one connection from the start)."""
        if self._admin is None:
            self._admin = resp.Connection(self.AdminUrl())
        return self._admin

    def Connections(self):
        """How many connections the server has accepted since it started."""
        info = self.Admin().Execute("INFO", "stats").decode()
        return int(info.split("total_connections_received:")[1].split()[0])

    def LogFile(self):
        return os.path.join(self.directory, "redis-%d.log" % self.port)

    def Refused(self, atLeast=0):
        """How many TLS connections the server has refused at the
        handshake (by its log; Connections counts none of them), once
        there are atLeast: the server may log a refusal after the client
        has seen it."""
        deadline = time.monotonic() + 20
        while True:
            with open(self.LogFile()) as f:
                count = f.read().count("Error accepting a client connection")
            if count >= atLeast or time.monotonic() > deadline:
                return count
            time.sleep(0.02)

    def Stop(self):
        if self._admin is not None:
            self._admin.Close()
            self._admin = None
        if self.proc and self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait(timeout=20)
