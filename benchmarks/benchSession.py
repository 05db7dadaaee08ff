"""The session client, measured: bytes on the wire, a full 10k-prim round
beside exporting and re-importing the layer as .usdc, and propagation over
Redis between processes.

    bash scripts/bench.sh session [--prims N] [--repeat N] [--edits N]
                                  [--redis URL] [--skip-redis]
    bash scripts/bench.sh session --redis-cluster [--repeat N] [--edits N]

Wire: the frame that builds the 10k-prim layer from nothing (binary, and
JSON for comparison) against the same layer as .usdc and as .usda text, and
the frame of one attribute edit. Round: drain the updates, encode, send
(embedded transport), receive, decode, apply to a replica, refresh a second
layer; beside it, exporting the same content to a .usdc file and opening
that file. Redis: latency of one edit from one process to another (p50,
p99), and edits per second with 1, 2 and 8 peer processes that each edit
their own prim and pull everyone's frames. Without --redis a redis-server
of the benchmark's own runs on a loopback port.

With --redis-cluster it measures only this: 1 and 8 peer processes, each
on a channel of its own, on one redis-server and on a cluster of three
masters with a replica each (servers of its own, on ports 7000-7089), and
on the cluster with durable publishes (replicas=1) beside plain ones.
"""

import argparse
import json
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
# The cluster's servers are started by the tests' own helper.
sys.path.insert(1, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "python"))

from pxr import Sdf  # noqa: E402

from vela.usd import sync  # noqa: E402
from vela.usd.client import EmbeddedTransport, RedisTransport, Session, wire  # noqa: E402
from vela.usd.client.session import NewPeerName  # noqa: E402
from vela.usd.sync import round as syncRound  # noqa: E402
import benchRound  # noqa: E402


def _NewLayer(name):
    layer = Sdf.Layer.CreateAnonymous(name + ".vela")
    sync.SyncData.GetLayerUpdates(layer)
    return layer


def _Timed(fn):
    start = time.perf_counter()
    result = fn()
    return result, time.perf_counter() - start


def OneRound(prims, perGroup, work):
    """One run: sizes and stage timings of a whole round and of .usdc."""
    layerA, layerB = _NewLayer("benchA"), _NewLayer("benchB")
    benchRound.AuthorScene(layerA, prims, perGroup)
    transport = EmbeddedTransport(os.path.join(work, "channels"))
    channel = "round%d" % time.monotonic_ns()
    t = {}

    # What Session.Publish and Session.Pull do, stage by stage.
    body, t["drain+coalesce+pack"] = _Timed(lambda: sync.PackLayerUpdates(layerA))
    frame = wire.Frame(wire.KindOps, "A", 1, body=body)
    data, t["frame (zlib)"] = _Timed(lambda: wire.EncodeFrame(frame))
    _, t["send"] = _Timed(lambda: transport.Append(channel, data))
    (entries, _), t["receive"] = _Timed(lambda: transport.Read(channel, "0"))
    received, t["decode header"] = _Timed(lambda: wire.DecodeFrame(entries[0][1], unpack=False))
    replica = sync.SyncData.CreateNew()
    _, t["check+apply"] = _Timed(lambda: wire.ApplyFrame(received, replica))
    _, t["refresh"] = _Timed(lambda: sync.SyncData.RefreshData(layerB, replica))
    t["round"] = sum(t.values())

    plain = Sdf.Layer.CreateAnonymous("plain.usda")
    plain.TransferContent(layerA)
    usdc = os.path.join(work, "layer%d.usdc" % time.monotonic_ns())
    _, t["usdc export"] = _Timed(lambda: plain.Export(usdc))
    opened, t["usdc import"] = _Timed(lambda: Sdf.Layer.OpenAsAnonymous(usdc))
    t["usdc"] = t["usdc export"] + t["usdc import"]
    text = plain.ExportToString()
    _, t["usda text export+import"] = _Timed(
        lambda: Sdf.Layer.CreateAnonymous("t.usda").ImportFromString(plain.ExportToString()))

    same = syncRound.DiffLayers(layerA, layerB) == [] and opened is not None

    # One attribute edit on the built layer.
    layerA.GetAttributeAtPath(benchRound.PrimPath(prims // 2, perGroup) + ".size").default = 42.0
    editOps = sync.SyncData.GetLayerUpdates(layerA)
    sizes = {
        "ops": frame.opCount,
        "frame": len(data),
        "frame json": len(wire.EncodeFrame(frame, useJson=True)),
        "usdc": os.path.getsize(usdc),
        "usda": len(text.encode("utf-8")),
        "edit": len(wire.EncodeFrame(wire.Frame(wire.KindOps, NewPeerName(), 2, editOps))),
        "edit json": len(wire.EncodeFrame(wire.Frame(wire.KindOps, NewPeerName(), 2, editOps),
                                          useJson=True)),
        "same": same,
    }
    transport.Delete(channel)
    os.unlink(usdc)
    return t, sizes


def _Range(values, fmt):
    return (fmt + " .. " + fmt) % (min(values), max(values))


# ---------------------------------------------------------------- scale

def _ScaleScene(layer, prims, perGroup=1000):
    """prims Cube prims with a double 'size' each, in groups of perGroup."""
    with Sdf.ChangeBlock():
        world = Sdf.CreatePrimInLayer(layer, "/World")
        world.specifier = Sdf.SpecifierDef
        group = None
        for i in range(prims):
            if i % perGroup == 0:
                group = Sdf.PrimSpec(world, "G%04d" % (i // perGroup), Sdf.SpecifierDef, "Scope")
            prim = Sdf.PrimSpec(group, "P%07d" % i, Sdf.SpecifierDef, "Cube")
            Sdf.AttributeSpec(prim, "size", Sdf.ValueTypeNames.Double).default = float(i)


def _Median(values):
    ordered = sorted(values)
    return ordered[len(ordered) // 2]


def ScaleRun(prims, samples, work):
    """Two peers on an embedded channel holding a scene of prims prims:
    medians (ms) of a remote one-edit pull, an own read-back, a remote
    frame of 100 new prims pulled, and a snapshot written."""
    transport = EmbeddedTransport(os.path.join(work, "channels"))
    channel = "scale%d" % time.monotonic_ns()
    a = Session(_NewLayer("A"), channel, transport, name="A", snapshotEvery=0)
    b = Session(_NewLayer("B"), channel, transport, name="B", snapshotEvery=0)
    _ScaleScene(a.layer, prims)
    a.Pull()
    b.Pull()
    attr = a.layer.GetAttributeAtPath("/World/G0000/P0000000.size")
    t = {"remote edit": [], "own read-back": [], "100 prims": [], "snapshot": []}
    for i in range(samples):
        attr.default = float(-i)
        a.Publish()
        t["remote edit"].append(_Timed(b.Pull)[1])
        t["own read-back"].append(_Timed(a.Pull)[1])
    for i in range(samples):
        group = Sdf.PrimSpec(a.layer.GetPrimAtPath("/World"), "New%03d" % i,
                             Sdf.SpecifierDef, "Scope")
        for k in range(100):
            prim = Sdf.PrimSpec(group, "N%03d" % k, Sdf.SpecifierDef, "Cube")
            Sdf.AttributeSpec(prim, "size", Sdf.ValueTypeNames.Double).default = float(k)
        a.Publish()
        t["100 prims"].append(_Timed(b.Pull)[1])
        a.Pull()
    same = syncRound.LayerText(a.layer) == syncRound.LayerText(b.layer) if prims <= 100000 \
        else True
    for _ in range(min(samples, 3)):
        t["snapshot"].append(_Timed(a.WriteSnapshot)[1])
    transport.Delete(channel)
    return {key: _Median(values) * 1000 for key, values in t.items()}, same


def _PeakRss(prims, what, work):
    """Peak RSS (MB) of a process holding the scene as a peer's sync layer
    (what='peer') or as a .usda layer (what='usda')."""
    done = subprocess.run([sys.executable, os.path.abspath(__file__), "--rss", what,
                           "--prims", str(prims), "--work", work],
                          capture_output=True, text=True, timeout=3600)
    return float(done.stdout.strip().splitlines()[-1])


def _Memory(key):
    # kB from /proc: ru_maxrss would carry the parent's peak across exec.
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith(key + ":"):
                return int(line.split()[1])
    return 0


def RssWorker(args):
    start = _Memory("VmRSS")
    if args.rss == "usda":
        layer = Sdf.Layer.CreateAnonymous("scene.usda")
        _ScaleScene(layer, args.prims)
    else:
        # A peer joining a channel whose writer already left: its layer and
        # replica, built from the frames.
        transport = EmbeddedTransport(os.path.join(args.work, "rss"))
        channel = "rss%d" % args.prims
        if transport.GetSnapshotBase(channel) is None:
            writer = Session(_NewLayer("W"), channel, transport, name="W", snapshotEvery=0)
            _ScaleScene(writer.layer, args.prims)
            writer.Pull()
            writer.WriteSnapshot()
            print("-1")
            return 0
        peer = Session(_NewLayer("P"), channel, transport, name="P", snapshotEvery=0)
        peer.Pull()
    peak = _Memory("VmHWM")
    print("%.1f" % ((peak - start) / 1024.0))
    return 0


def ScaleRuns(sizes, repeat, samples):
    print("scale: two peers on an embedded channel, medians of %d, %d runs (min .. max)"
          % (samples, repeat))
    print("  %9s %16s %16s %16s %16s %18s" % ("prims", "remote edit ms", "own read-back ms",
                                              "100 prims ms", "snapshot ms", "peer/usda RSS"))
    work = tempfile.mkdtemp(prefix="vela-scale-")
    try:
        for prims in sizes:
            runs = []
            for _ in range(repeat):
                figures, same = ScaleRun(prims, samples, work)
                if not same:
                    print("  %d prims: THE PEERS DIFFER" % prims)
                runs.append(figures)
            _PeakRss(prims, "peer", work)  # writes the channel the peer joins
            ratio = _PeakRss(prims, "peer", work) / max(_PeakRss(prims, "usda", work), 1.0)
            print("  %9d %16s %16s %16s %16s %18.2f" % (
                prims, *(_Range([r[key] for r in runs], "%.2f")
                         for key in ("remote edit", "own read-back", "100 prims", "snapshot")),
                ratio))
            sys.stdout.flush()
    finally:
        shutil.rmtree(work, ignore_errors=True)


# ---------------------------------------------------------------- history

def HistoryRun(transport, frames, prims, snapshotEvery, measure):
    """frames one-edit frames on a prims-prim scene, a snapshot every
    snapshotEvery frames: the largest channel footprint seen (bytes, from
    measure(channel)) against three snapshots plus the retention window, and
    whether a late joiner and a peer that fell behind converge."""
    channel = "history%d" % time.monotonic_ns()
    writer = Session(_NewLayer("W"), channel, transport, name="W", snapshotEvery=snapshotEvery)
    behind = Session(_NewLayer("B"), channel, transport, name="B", snapshotEvery=0)
    _ScaleScene(writer.layer, prims)
    writer.Pull()
    behind.Pull()
    attr = writer.layer.GetAttributeAtPath("/World/G0000/P0000000.size")
    largest = 0
    frameBytes = 0
    for i in range(frames):
        attr.default = float(i)
        frameBytes = max(frameBytes, writer.Publish())
        writer.Pull()
        if i % 500 == 0 or i == frames - 1:
            largest = max(largest, measure(channel))
    snapshot = len(transport.GetSnapshot(channel)[1])
    bound = 3 * snapshot + snapshotEvery * frameBytes * 2
    behind.Pull()
    late = Session(_NewLayer("L"), channel, transport, name="L", snapshotEvery=0)
    late.Pull()
    text = syncRound.LayerText(writer.layer)
    same = syncRound.LayerText(behind.layer) == text and syncRound.LayerText(late.layer) == text
    transport.Delete(channel)
    return largest, bound, same, behind.stats.rejoins


def HistoryRuns(frames, url):
    print("history: %d one-edit frames on a 10k-prim scene, a snapshot every 200" % frames)
    work = tempfile.mkdtemp(prefix="vela-history-")
    try:
        transport = EmbeddedTransport(os.path.join(work, "channels"))
        largest, bound, same, rejoins = HistoryRun(
            transport, frames, 10000, 200,
            lambda channel: sum(os.path.getsize(os.path.join(transport.directory, channel + s))
                                for s in (".log", ".snapshot")
                                if os.path.exists(os.path.join(transport.directory, channel + s))))
        print("  embedded: largest log+snapshot %.2f MB, bound %.2f MB; converged %s, rejoins %d"
              % (largest / 1e6, bound / 1e6, same, rejoins))
        if url:
            import redis
            client = redis.Redis.from_url(url)
            redisTransport = RedisTransport(url)
            largest, bound, same, rejoins = HistoryRun(
                redisTransport, frames, 10000, 200,
                lambda channel: sum(client.memory_usage(k) or 0 for k in client.keys(channel + "*")))
            print("  redis:    largest MEMORY USAGE %.2f MB, bound %.2f MB; converged %s, rejoins %d"
                  % (largest / 1e6, bound / 1e6, same, rejoins))
    finally:
        shutil.rmtree(work, ignore_errors=True)


# ---------------------------------------------------------------- integrity

def IntegrityRuns(repeat):
    """What the frame check costs beside encoding a frame, and what
    refusing a 1 MB frame that claims a gigabyte costs in memory."""
    import zlib
    print("integrity check, %d runs (min .. max)" % repeat)
    big = _NewLayer("big")
    benchRound.AuthorScene(big, 10000, 100)
    bigBody = sync.PackLayerUpdates(big)
    one = _NewLayer("one")
    Sdf.CreatePrimInLayer(one, "/World").specifier = Sdf.SpecifierDef
    sync.PackLayerUpdates(one)
    Sdf.AttributeSpec(one.GetPrimAtPath("/World"), "x", Sdf.ValueTypeNames.Double).default = 1.0
    oneBody = sync.PackLayerUpdates(one)
    work = tempfile.mkdtemp(prefix="vela-integrity-")
    for label, body, count in (("10k-prim frame", bigBody, 20), ("one-edit frame", oneBody, 5000)):
        encodes, publishes = [], []
        for _ in range(repeat):
            frame = wire.Frame(wire.KindOps, "peer", 1, body=body)
            data, encode = _Timed(lambda: [wire.EncodeFrame(frame) for _ in range(count)])
            data = data[0]
            _, check = _Timed(lambda: [zlib.crc32(data) for _ in range(count)])
            # A publish as a session makes it: encode, then the append.
            transport = EmbeddedTransport(work)
            _, publish = _Timed(lambda: [transport.Append("integrity", wire.EncodeFrame(frame))
                                         for _ in range(count)])
            transport.Delete("integrity")
            encodes.append(100.0 * check / encode)
            publishes.append(100.0 * check / publish)
        print("  %-16s %8d bytes: check / encode %s %%, check / publish %s %%"
              % (label, len(data), _Range(encodes, "%.2f"), _Range(publishes, "%.2f")))
    shutil.rmtree(work, ignore_errors=True)
    growths = []
    for _ in range(repeat):
        done = subprocess.run([sys.executable, os.path.abspath(__file__), "--bomb"],
                              capture_output=True, text=True, timeout=600)
        growths.append(float(done.stdout.strip().splitlines()[-1]))
    print("  refusing a 1 MB frame claiming 1 GiB: peak RSS growth %s MB" % _Range(growths, "%.1f"))


def BombWorker():
    import struct
    import zlib
    # 1 MB of zlib stream, made without holding what it inflates to.
    packer = zlib.compressobj(9)
    chunk = b"\0" * (1 << 20)
    parts = []
    size = 0
    while size < (1 << 20):
        part = packer.compress(chunk)
        parts.append(part)
        size += len(part)
    parts.append(packer.flush())
    bomb = b"".join(parts)[:1 << 20]
    head = bytes((2, wire.KindOps, 1)) + b"\x01X\x01\x00" + wire._Varint(1 << 30)
    data = head + bomb
    data += struct.pack("<I", zlib.crc32(data))
    transport = EmbeddedTransport(tempfile.mkdtemp(prefix="vela-bomb-"))
    transport.Append("bomb", data)
    session = Session(_NewLayer("victim"), "bomb", transport, name="victim")
    before = _Memory("VmRSS")
    session.Pull()
    assert session.stats.refusedFrames == 1
    after = _Memory("VmHWM")
    transport.Delete("bomb")
    print("%.1f" % ((after - before) / 1024.0))
    return 0


# ---------------------------------------------------------------- Redis peers

_SCAFFOLD_PEERS = 8


def _Scaffold(url, channel):
    """The channel's starting scene: /World/P0.. with a double 'value', and
    /World/Clock with a double 'stamp'."""
    layer = _NewLayer("scaffold")
    world = Sdf.CreatePrimInLayer(layer, "/World")
    world.specifier = Sdf.SpecifierDef
    for name in ["Clock"] + ["P%d" % k for k in range(_SCAFFOLD_PEERS)]:
        prim = Sdf.PrimSpec(world, name, Sdf.SpecifierDef, "Xform")
        Sdf.AttributeSpec(prim, "value", Sdf.ValueTypeNames.Double).default = 0.0
    session = Session(layer, channel, RedisTransport(url), name="scaffold", snapshotEvery=0)
    session.Publish()
    session.transport.Close()


def Worker(args):
    """One peer process of the Redis measurements; prints JSON results."""
    layer = _NewLayer("peer")
    session = Session(layer, args.channel, RedisTransport(args.redis, replicas=args.replicas),
                      name=args.name, snapshotEvery=0)
    session.Pull()
    print("ready", flush=True)
    sys.stdin.readline()  # go
    start = time.time()
    cpuStart = time.process_time()
    latencies = []
    if args.role == "writer":
        attr = layer.GetAttributeAtPath("/World/Clock.value")
        for _ in range(args.edits):
            attr.default = time.time()
            session.Publish()
            time.sleep(0.004)
        session.Leave()
    elif args.role == "reader":
        attr = layer.GetAttributeAtPath("/World/Clock.value")
        while "writer" not in session.left:
            if session.Pull(blockMs=500):
                latencies.append(time.time() - attr.default)
    else:  # an editing peer: its own prim, everyone's frames
        attr = layer.GetAttributeAtPath("/World/%s.value" % args.name)
        for i in range(args.edits):
            attr.default = float(i + 1)
            session.Pull()  # sends the edit, then reads everyone's frames
        session.Leave()
        while not session.left.issuperset(args.peers.split(",")):
            session.Pull(blockMs=500)
    print(json.dumps({"start": start, "end": time.time(), "latencies": latencies,
                      "received": session.stats.receivedFrames,
                      "cpu": time.process_time() - cpuStart}), flush=True)
    return 0


def _ServerCpu(urls):
    """The CPU seconds the servers at urls have used (INFO cpu)."""
    from vela.usd.client import resp
    total = 0.0
    for url in urls:
        connection = resp.Connection(url)
        text = connection.Execute("INFO", "cpu").decode()
        connection.Close()
        info = dict(line.split(":", 1) for line in text.splitlines() if ":" in line)
        total += float(info["used_cpu_user"]) + float(info["used_cpu_sys"])
    return total


def _RunPeers(url, roles, edits, serverUrls=None, ownChannels=False, replicas=0):
    """Starts one process per (name, role), lets them go at once, returns
    their results and the servers' CPU seconds from the go to the last
    result. All share one channel, or with ownChannels each has its own."""
    stem = "bench-%d" % time.monotonic_ns()
    names = [name for name, _ in roles]
    channels = [stem + "-" + name for name in names] if ownChannels else [stem] * len(names)
    for channel in sorted(set(channels)):
        _Scaffold(url, channel)
    procs = [subprocess.Popen(
        [sys.executable, os.path.abspath(__file__), "--worker", "--redis", url,
         "--channel", channel, "--name", name, "--role", role, "--edits", str(edits),
         "--peers", name if ownChannels else ",".join(names), "--replicas", str(replicas)],
        stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        for (name, role), channel in zip(roles, channels)]
    for proc in procs:
        assert proc.stdout.readline().strip() == "ready"
    serverUrls = serverUrls or [url]
    serverCpu = _ServerCpu(serverUrls)
    for proc in procs:
        proc.stdin.write("go\n")
        proc.stdin.flush()
    results = []
    for proc in procs:
        out, _ = proc.communicate(timeout=600)
        results.append(json.loads(out.strip().splitlines()[-1]))
    serverCpu = _ServerCpu(serverUrls) - serverCpu
    transport = RedisTransport(url)
    for channel in sorted(set(channels)):
        transport.Delete(channel)
    transport.Close()
    return results, serverCpu


def _Percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(p / 100.0 * (len(ordered) - 1))))]


def RedisRuns(url, edits, repeat, peerEdits):
    print("propagation over Redis (%s), %d runs" % (url, repeat))
    p50s, p99s = [], []
    for _ in range(repeat):
        results, _ = _RunPeers(url, [("writer", "writer"), ("reader", "reader")], edits)
        lat = results[1]["latencies"]
        p50s.append(_Percentile(lat, 50) * 1000)
        p99s.append(_Percentile(lat, 99) * 1000)
    print("  one edit, writer -> reader:   p50 %s ms, p99 %s ms  (%d edits, 4 ms apart)"
          % (_Range(p50s, "%.2f"), _Range(p99s, "%.2f"), edits))
    for peers in (1, 2, 8):
        # CPU from the go to the end, every peer and the server, per edit
        # made.
        rates, peerCpus, serverCpus = _PeerRates(url, peers, peerEdits, repeat)
        print("  %d peer%s, each %d edits, all pulled by all: %s edits/s; CPU per edit: "
              "peers %s us, server %s us"
              % (peers, " " if peers == 1 else "s", peerEdits, _Range(rates, "%.0f"),
                 _Range(peerCpus, "%.0f"), _Range(serverCpus, "%.0f")))


def _PeerRates(url, peers, edits, repeat, **options):
    """peers processes, each editing and pulling edits times: edits/s in
    all, CPU per edit of the peers and of the servers (us), per run."""
    rates, peerCpus, serverCpus = [], [], []
    for _ in range(repeat):
        roles = [("P%d" % k, "peer") for k in range(peers)]
        results, serverCpu = _RunPeers(url, roles, edits, **options)
        span = max(r["end"] for r in results) - min(r["start"] for r in results)
        rates.append(peers * edits / span)
        peerCpus.append(sum(r["cpu"] for r in results) / (peers * edits) * 1e6)
        serverCpus.append(serverCpu / (peers * edits) * 1e6)
    return rates, peerCpus, serverCpus


def ClusterRuns(edits, repeat):
    """One server against a cluster of three masters, peers on channels of
    their own; and durable publishes on the cluster."""
    import redisClusterServers
    missing = redisClusterServers.Available()
    if missing:
        print("cluster: skipped, " + missing)
        return
    work = tempfile.mkdtemp(prefix="vela-bench-single-")
    single = redisClusterServers.Node(redisClusterServers.FreePorts(1)[0], work)
    single.Start()
    cluster = redisClusterServers.ClusterServers(masters=3, replicas=1)
    try:
        cluster.Start()
        masters = [node.url for node in cluster.Masters()]
        print("one server against a cluster (3 masters, a replica each), each peer on a channel"
              " of its own, %d edits each, %d runs (min .. max)" % (edits, repeat))
        rows = [("one server", single.url, [single.url], 0),
                ("cluster", cluster.url, masters, 0),
                ("cluster, replicas=1", cluster.url, masters, 1)]
        figures = {}
        for label, url, serverUrls, replicas in rows:
            for peers in (1, 8):
                rates, peerCpus, serverCpus = _PeerRates(
                    url, peers, edits, repeat, serverUrls=serverUrls, ownChannels=True,
                    replicas=replicas)
                figures[label, peers] = rates
                print("  %-20s %d peer%s: %s edits/s; CPU per edit: peers %s us, servers %s us"
                      % (label, peers, " " if peers == 1 else "s", _Range(rates, "%6.0f"),
                         _Range(peerCpus, "%4.0f"), _Range(serverCpus, "%3.0f")))
                sys.stdout.flush()
        print("  8 peers, cluster / one server: %s" % _Range(
            [c / s for c, s in zip(figures["cluster", 8], figures["one server", 8])], "%.2f"))
        for peers in (1, 8):
            print("  %d peer%s, durable / plain on the cluster: %s" % (
                peers, " " if peers == 1 else "s", _Range(
                    [d / p for d, p in zip(figures["cluster, replicas=1", peers],
                                           figures["cluster", peers])], "%.2f")))
    finally:
        cluster.Stop()
        single.Kill()
        shutil.rmtree(work, ignore_errors=True)


class _OwnRedis:
    def __init__(self):
        self.dir = tempfile.mkdtemp(prefix="vela-bench-redis-")
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            self.port = s.getsockname()[1]
        self.url = "redis://127.0.0.1:%d/0" % self.port
        self.proc = subprocess.Popen(
            ["redis-server", "--port", str(self.port), "--bind", "127.0.0.1", "--dir", self.dir,
             "--save", "", "--appendonly", "no", "--loglevel", "warning"],
            stdout=subprocess.DEVNULL)
        import redis
        client = redis.Redis.from_url(self.url)
        for _ in range(200):
            try:
                client.ping()
                return
            except redis.ConnectionError:
                time.sleep(0.05)
        raise RuntimeError("redis-server did not start")

    def Stop(self):
        self.proc.terminate()
        self.proc.wait(timeout=20)
        shutil.rmtree(self.dir, ignore_errors=True)


def _Arguments():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--prims", type=int, default=10000)
    parser.add_argument("--per-group", type=int, default=100)
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--edits", type=int, default=300,
                        help="edits of the propagation runs and of the cluster's")
    # Long enough that the start of eight processes on a small machine does
    # not weigh in the rate: 300 edits a peer last a fifth of a second.
    parser.add_argument("--peer-edits", type=int, default=2000,
                        help="edits a peer of the throughput rows")
    parser.add_argument("--redis", metavar="URL")
    parser.add_argument("--skip-redis", action="store_true")
    parser.add_argument("--redis-cluster", action="store_true",
                        help="only one server against a cluster of servers of its own")
    parser.add_argument("--scale", default="1000,10000,100000,1000000",
                        help="scene sizes of the scale table, comma-separated ('' skips it)")
    parser.add_argument("--samples", type=int, default=15)
    parser.add_argument("--skip-round", action="store_true")
    parser.add_argument("--integrity", action="store_true",
                        help="also measure the frame check and refusing a bomb")
    parser.add_argument("--history", type=int, default=0, metavar="FRAMES",
                        help="also run the history table with this many one-edit frames")
    parser.add_argument("--rss", help=argparse.SUPPRESS)
    parser.add_argument("--bomb", action="store_true", help=argparse.SUPPRESS)
    parser.add_argument("--work", help=argparse.SUPPRESS)
    parser.add_argument("--worker", action="store_true", help=argparse.SUPPRESS)
    parser.add_argument("--channel", help=argparse.SUPPRESS)
    parser.add_argument("--name", help=argparse.SUPPRESS)
    parser.add_argument("--role", help=argparse.SUPPRESS)
    parser.add_argument("--peers", help=argparse.SUPPRESS)
    parser.add_argument("--replicas", type=int, default=0, help=argparse.SUPPRESS)
    return parser.parse_args()


def _PrintRounds(args, runs):
    """Prints the embedded rounds' times and sizes; True if B matched A in all."""
    sizes = runs[-1][1]
    print("session round of %d prims in groups of %d, %d runs (min .. max)"
          % (args.prims, args.per_group, args.repeat))
    for key in runs[0][0]:
        print("  %-26s %s ms" % (key, _Range([r[0][key] * 1000 for r in runs], "%8.1f")))
    print("  round / .usdc:             %s" % _Range(
        [r[0]["round"] / r[0]["usdc"] for r in runs], "%8.2f"))
    print("bytes")
    print("  layer from nothing:        %9d (binary frame, %d ops)" % (sizes["frame"], sizes["ops"]))
    print("                             %9d (JSON frame)" % sizes["frame json"])
    print("  layer as .usdc:            %9d   (frame / usdc = %.2f)"
          % (sizes["usdc"], sizes["frame"] / sizes["usdc"]))
    print("  layer as .usda text:       %9d   (frame / text = %.3f)"
          % (sizes["usda"], sizes["frame"] / sizes["usda"]))
    print("  one attribute edit:        %9d (binary frame), %d (JSON frame)"
          % (sizes["edit"], sizes["edit json"]))
    ok = all(r[1]["same"] for r in runs)
    print("  B matches A:               %9s" % ("yes" if ok else "NO"))
    return ok


def _RunRedis(args):
    """The Redis runs, on the given server or on one of the benchmark's own."""
    own = None
    url = args.redis
    if not url:
        if shutil.which("redis-server") is None:
            print("Redis: skipped, redis-server is not installed")
            return
        own = _OwnRedis()
        url = own.url
    try:
        RedisRuns(url, args.edits, args.repeat, args.peer_edits)
    finally:
        if own:
            own.Stop()


def main():
    args = _Arguments()
    if args.worker:
        return Worker(args)
    if args.rss:
        return RssWorker(args)
    if args.bomb:
        return BombWorker()
    if args.redis_cluster:
        ClusterRuns(args.edits, args.repeat)
        return 0
    ok = True
    if not args.skip_round:
        work = tempfile.mkdtemp(prefix="vela-bench-")
        try:
            runs = [OneRound(args.prims, args.per_group, work) for _ in range(args.repeat)]
        finally:
            shutil.rmtree(work, ignore_errors=True)
        ok = _PrintRounds(args, runs)
    if args.integrity:
        IntegrityRuns(args.repeat)
    if args.history:
        own = None
        url = args.redis
        if not url and not args.skip_redis and shutil.which("redis-server"):
            own = _OwnRedis()
            url = own.url
        try:
            HistoryRuns(args.history, url)
        finally:
            if own:
                own.Stop()
    if args.scale:
        ScaleRuns([int(n) for n in args.scale.split(",")], args.repeat, args.samples)
    if not args.skip_redis:
        _RunRedis(args)
    return 0 if ok else 1


if __name__ == "__main__":
    raise SystemExit(main())
