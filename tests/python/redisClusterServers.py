"""Redis servers of the tests' (and the session benchmark's) own on loopback:
a cluster of masters with a replica each, and a server with one replica.

Every redis-server runs in a directory of its own on ports 7000-7089 (the
first free run of them), with no persistence, and dies with the process
that started it: each is stopped by ``Stop``, at interpreter exit, and by
the kernel (a parent-death signal) should the starter die unannounced.
"""

import atexit
import ctypes
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import time

from vela.usd.client import resp

__all__ = ["Available", "ClusterServers", "FreePorts", "Node", "ReplicatedServer"]

_FirstPort, _LastPort = 7000, 7089
_Started = []


def Available():
    """Why these servers cannot run here, or None when they can."""
    for tool in ("redis-server", "redis-cli"):
        if shutil.which(tool) is None:
            return "%s is not installed (Debian's redis-server package)" % tool
    return None


def _DieWithParent():
    # PR_SET_PDEATHSIG: SIGKILL when the process that started it goes.
    try:
        ctypes.CDLL("libc.so.6", use_errno=True).prctl(1, signal.SIGKILL)
    except OSError:
        pass


def _Free(port):
    with socket.socket() as s:
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            s.bind(("127.0.0.1", port))
        except OSError:
            return False
    return True


def FreePorts(count):
    """count consecutive free ports of 7000-7089 whose cluster bus ports
    (10000 on) are free too."""
    for base in range(_FirstPort, _LastPort + 2 - count):
        ports = list(range(base, base + count))
        if all(_Free(p) and _Free(p + 10000) for p in ports):
            return ports
    raise RuntimeError("no %d free ports in %d-%d" % (count, _FirstPort, _LastPort))


def _StopAll():
    for node in list(_Started):
        node.Kill()


atexit.register(_StopAll)


class Node:
    """One redis-server on a loopback port, in a directory of its own; with
    tls (redisServers.Certificates), speaking TLS alone on that port."""

    def __init__(self, port, directory, extra=(), tls=None):
        self.port = port
        self.directory = directory
        self.extra = list(extra)
        self.url = "redis://127.0.0.1:%d/0" % port
        self.listen = ["--port", str(port)]
        if tls is not None:
            self.url = "rediss://127.0.0.1:%d/0?ssl_ca_certs=%s" % (port, tls.ca)
            self.listen = ["--port", "0", "--tls-port", str(port), "--tls-cert-file",
                           tls.serverCert, "--tls-key-file", tls.serverKey,
                           "--tls-ca-cert-file", tls.ca, "--tls-auth-clients", "no",
                           "--tls-replication", "yes", "--tls-cluster", "yes"]
        self.proc = None

    def Start(self):
        os.makedirs(self.directory, exist_ok=True)
        self.proc = subprocess.Popen(
            ["redis-server"] + self.listen + ["--bind", "127.0.0.1",
             "--dir", self.directory, "--save", "", "--appendonly", "no",
             "--daemonize", "no", "--loglevel", "warning", "--repl-diskless-sync-delay", "0",
             "--logfile", os.path.join(self.directory, "log")] + self.extra,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, preexec_fn=_DieWithParent)
        _Started.append(self)
        deadline = time.monotonic() + 20
        while True:
            try:
                self.Execute("PING")
                return
            except (OSError, resp.ReplyError):
                if time.monotonic() > deadline or self.proc.poll() is not None:
                    raise RuntimeError("redis-server on port %d did not start" % self.port)
                time.sleep(0.05)

    def Execute(self, *args):
        """One command's reply (a new connection each time)."""
        connection = resp.Connection(self.url, connectTimeout=1.0)
        try:
            return connection.Execute(*args)
        finally:
            connection.Close()

    def Info(self, section):
        """INFO section as a dict of its fields."""
        text = self.Execute("INFO", section).decode()
        return dict(line.split(":", 1) for line in text.splitlines() if ":" in line)

    @property
    def alive(self):
        return self.proc is not None and self.proc.poll() is None

    def Kill(self, sig=signal.SIGKILL):
        """Stops the server at once (SIGKILL unless told otherwise)."""
        if self.alive:
            self.proc.send_signal(sig)
            if sig in (signal.SIGKILL, signal.SIGTERM):
                self.proc.wait(timeout=20)
        if self in _Started and not self.alive:
            _Started.remove(self)


def _WaitFor(condition, what, timeout=30.0):
    deadline = time.monotonic() + timeout
    while True:
        try:
            if condition():
                return
        except (OSError, resp.ReplyError):
            pass
        if time.monotonic() > deadline:
            raise RuntimeError("gave up waiting for " + what)
        time.sleep(0.05)


def _OnlineReplicas(master):
    # The replicas done with their first sync ("slave0:...,state=online,...").
    return sum(1 for key, value in master.Info("replication").items()
               if key.startswith("slave") and key[5:].isdigit() and "state=online" in value)


class ClusterServers:
    """masters masters with replicas replicas each, as one cluster with a
    node timeout of 1 s; with tls (redisServers.Certificates), one that
    speaks TLS alone, between its nodes too."""

    def __init__(self, masters=3, replicas=1, tls=None):
        self.directory = tempfile.mkdtemp(prefix="vela-cluster-")
        ports = FreePorts(masters * (1 + replicas))
        self.nodes = [Node(port, os.path.join(self.directory, str(port)),
                           ["--cluster-enabled", "yes", "--cluster-config-file", "nodes.conf",
                            "--cluster-node-timeout", "1000"], tls) for port in ports]
        self.masters, self.replicas = masters, replicas
        seeds = ",".join("127.0.0.1:%d" % n.port for n in self.nodes[:2])
        self.url = "redis+cluster://" + seeds
        self.cli = []
        if tls is not None:
            self.url = "rediss+cluster://%s/?ssl_ca_certs=%s" % (seeds, tls.ca)
            self.cli = ["--tls", "--cacert", tls.ca]

    def Start(self):
        try:
            for node in self.nodes:
                node.Start()
            subprocess.run(["redis-cli"] + self.cli + ["--cluster", "create"]
                           + ["127.0.0.1:%d" % n.port for n in self.nodes]
                           + ["--cluster-replicas", str(self.replicas), "--cluster-yes"],
                           check=True, stdout=subprocess.DEVNULL, stderr=subprocess.STDOUT,
                           timeout=60)
            self.WaitHealthy()
        except BaseException:
            self.Stop()
            raise
        return self

    def WaitHealthy(self, timeout=30.0):
        """Waits until every live node says the cluster is ok and the live
        masters, seen from every live node, serve all slots with their
        replicas linked."""
        def Healthy():
            for node in self.nodes:
                if node.alive and b"cluster_state:ok" not in node.Execute("CLUSTER", "INFO"):
                    return False
            wanted = self.replicas if all(n.alive for n in self.nodes) else 0
            return all(_OnlineReplicas(node) >= wanted for node in self.Masters())
        _WaitFor(Healthy, "the cluster to be ok", timeout)

    def Node(self, port):
        return next(node for node in self.nodes if node.port == port)

    def SlotMap(self):
        """{(start, end): master port} as a live node sees it."""
        node = next(n for n in self.nodes if n.alive)
        return {(entry[0], entry[1]): int(entry[2][1])
                for entry in node.Execute("CLUSTER", "SLOTS")}

    def MasterOfSlot(self, slot):
        """The port of the master serving slot; None while no node lists
        one for it, as for a moment during a failover."""
        return next((port for (start, end), port in self.SlotMap().items()
                     if start <= slot <= end), None)

    def Masters(self):
        return [self.Node(port) for port in sorted(set(self.SlotMap().values()))]

    def ReplicaOf(self, master):
        """The live node that replicates master."""
        for node in self.nodes:
            if node.alive and node is not master:
                info = node.Info("replication")
                if info.get("role") == "slave" and int(info.get("master_port", 0)) == master.port:
                    return node
        return None

    def Stop(self):
        for node in self.nodes:
            node.Kill()
        shutil.rmtree(self.directory, ignore_errors=True)


class ReplicatedServer:
    """A plain redis-server and one replica of it (replicaof)."""

    def __init__(self):
        self.directory = tempfile.mkdtemp(prefix="vela-replicated-")
        master, replica = FreePorts(2)
        self.master = Node(master, os.path.join(self.directory, "master"))
        self.replica = Node(replica, os.path.join(self.directory, "replica"),
                            ["--replicaof", "127.0.0.1", str(master)])
        self.url = self.master.url

    def Start(self):
        try:
            self.master.Start()
            self.replica.Start()
            _WaitFor(lambda: _OnlineReplicas(self.master) == 1, "the replica to link")
        except BaseException:
            self.Stop()
            raise
        return self

    def Stop(self):
        self.replica.Kill()
        self.master.Kill()
        shutil.rmtree(self.directory, ignore_errors=True)
