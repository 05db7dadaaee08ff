"""vela-sync: peers in separate processes keeping one layer in step.

    vela-sync demo [--redis URL | --redis-cluster URL] [--wire-json]
        Starts two peer processes that edit one layer at once over a new
        channel (the embedded transport unless --redis or --redis-cluster,
        whose URL is redis+cluster://host:port,host:port/ or just
        host:port,host:port), then reports what
        each sent and received and whether their layers match; exits 1 if
        they differ.
    vela-sync replay CHANNEL [--redis URL] [--dir DIR] [--usda FILE]
        Joins a channel late, replays it (from its latest snapshot) with
        progress on standard error, and prints the layer's size, or writes
        it as .usda text.
    vela-sync peer ...
        One peer of the demo (started by demo).

Without --redis, the URL in VELA_SYNC_REDIS_URL is used when it is set:
the demo hands its URL to its peers that way, so that a password in it
shows in no process's command line. Every URL printed is masked
(``resp.MaskUrl``).
"""

import argparse
import difflib
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
from typing import TYPE_CHECKING, Any, Callable, Dict, List, Optional, TextIO, Union

from pxr import Gf, Sdf

from vela.usd import sync
from vela.usd.client.embedded import EmbeddedTransport
from vela.usd.client.resp import MaskUrl
from vela.usd.client.session import Session
from vela.usd.client.transport import TransportError
# The demo's scene and the layer-as-text helper come from the one-process
# round, a demo too; the rest of the client never imports it.
from vela.usd.sync import round as syncRound

if TYPE_CHECKING:
    from vela.usd.client.redisTransport import RedisTransport

__all__ = ["NewSyncLayer", "OpenTransport", "ProgressLine", "RunDemo", "RunPeer",
           "RunReplay", "main"]

# A peer gives up waiting for the other after this long.
_PeerTimeout = 120.0
# The Redis URL when --redis is not given.
RedisUrlVariable = "VELA_SYNC_REDIS_URL"


def OpenTransport(redisUrl: Optional[str] = None,
                  directory: Optional[str] = None) -> Union[EmbeddedTransport, "RedisTransport"]:
    """The Redis transport at redisUrl, else the embedded one in
    directory (the default directory when None)."""
    if redisUrl:
        from vela.usd.client.redisTransport import RedisTransport as _RedisTransport
        return _RedisTransport(redisUrl)
    return EmbeddedTransport(directory)


def NewSyncLayer(name: str) -> Sdf.Layer:
    """A new anonymous sync layer with nothing pending."""
    layer = Sdf.Layer.CreateAnonymous(name + ".vela")
    sync.SyncData.GetLayerUpdates(layer)
    return layer


class ProgressLine:
    """Prints replay progress to a stream at most every interval seconds."""

    def __init__(self, out: TextIO = sys.stderr, interval: float = 0.5) -> None:
        """Prints to out, at most every interval seconds."""
        self.out, self.interval = out, interval
        self.last = time.monotonic()
        self.shown = False

    def __call__(self, frames: int, nbytes: int) -> None:
        """Prints the progress of frames read, nbytes in all, if interval
        seconds have passed since the last line."""
        now = time.monotonic()
        if now - self.last >= self.interval:
            self.last = now
            self.shown = True
            print("  replaying: %d frames, %.1f MB" % (frames, nbytes / 1e6),
                  file=self.out, flush=True)


def _WaitFor(session: Session, condition: Callable[[], Any], what: str) -> None:
    deadline = time.monotonic() + _PeerTimeout
    while not condition():
        if time.monotonic() > deadline:
            raise SystemExit("peer %s: gave up waiting for %s" % (session.name, what))
        session.Pull(blockMs=50)


def _EditRound(layer: Sdf.Layer, name: str, r: int) -> None:
    """One round of a demo peer's edits: its own prims, then a field both
    peers set."""
    if name == "A":
        layer.GetAttributeAtPath("/World/Geom/Cube.size").default = 2.0 + r
        paint = Sdf.CreatePrimInLayer(layer, "/World/Looks/Paint%d" % r)
        paint.specifier = Sdf.SpecifierDef
        paint.typeName = "Material"
    else:
        layer.GetAttributeAtPath("/World/Lights/Key.inputs:intensity").default = 800.0 + 10 * r
        bulb = Sdf.CreatePrimInLayer(layer, "/World/Lights/Bulb%d" % r)
        bulb.specifier = Sdf.SpecifierDef
        bulb.typeName = "SphereLight"
        Sdf.AttributeSpec(bulb, "inputs:color", Sdf.ValueTypeNames.Color3f).default = \
            Gf.Vec3f(1.0, 0.9, 0.8)
    # The same field on both peers: the later frame in the channel wins.
    layer.GetPrimAtPath("/World").documentation = "round %d, last edited by %s" % (r, name)
    layer.GetAttributeAtPath("/World/Geom/Cube.userProperties:label").default = \
        "labelled by %s" % name


def RunPeer(args: argparse.Namespace) -> int:
    """One demo peer: A authors the scene, both edit it at once for a few
    rounds, then leave; the result goes to args.result as JSON."""
    transport = OpenTransport(args.redis, args.dir)
    layer = NewSyncLayer("peer" + args.name)
    session = Session(layer, args.channel, transport, name=args.name,
                      useJson=args.wire_json, snapshotEvery=args.snapshot_every)
    peers = args.peers.split(",")
    if args.name == peers[0]:
        syncRound.EditPeerA(layer)
        session.Publish()
    # Everyone starts from the same scene.
    _WaitFor(session, lambda: layer.GetPrimAtPath("/World/Lights/Key"), "the scene")
    for r in range(args.rounds):
        _EditRound(layer, args.name, r)
        session.Pull(blockMs=5)
    session.Leave()
    _WaitFor(session, lambda: session.left.issuperset(peers), "every peer to leave")
    result = {"name": args.name, "stats": session.stats.AsDict(),
              "layer": syncRound.LayerText(layer)}
    with open(args.result, "w") as f:
        json.dump(result, f)
    transport.Close()
    return 0


def _PeerCommand(args: argparse.Namespace, channel: str, name: str, names: List[str],
                 work: str, directory: str) -> List[str]:
    """The command line of the demo peer called name."""
    cmd = [sys.executable, "-m", "vela.usd.client.cli", "peer", "--channel", channel,
           "--name", name, "--peers", ",".join(names), "--rounds", str(args.rounds),
           "--result", os.path.join(work, name + ".json"),
           "--snapshot-every", str(args.snapshot_every)]
    if not args.redis:
        cmd += ["--dir", directory]
    if args.wire_json:
        cmd.append("--wire-json")
    return cmd


def _WaitForPeers(names: List[str], procs: List["subprocess.Popen[bytes]"]) -> List[str]:
    """Waits for every peer process; returns the names of those that failed
    or ran out of time (and were killed)."""
    failed = []
    for name, proc in zip(names, procs):
        try:
            if proc.wait(timeout=_PeerTimeout + 30) != 0:
                failed.append(name)
        except subprocess.TimeoutExpired:
            proc.kill()
            failed.append(name)
    return failed


def _LoadResults(work: str, names: List[str]) -> List[Dict[str, Any]]:
    """The results the peers wrote into work, in the order of names."""
    results = []
    for name in names:
        with open(os.path.join(work, name + ".json")) as f:
            results.append(json.load(f))
    return results


def _PrintDemoReport(args: argparse.Namespace, channel: str, where: str,
                     results: List[Dict[str, Any]], out: TextIO) -> None:
    """The demo's heading and what each peer sent and received."""
    kind = ("Redis cluster" if "+cluster:" in args.redis else "Redis") if args.redis \
        else "embedded"
    print("vela sync demo: two peer processes, one layer, %s transport (%s frames)"
          % (kind, "JSON" if args.wire_json else "binary"),
          file=out)
    print("  channel:  %s on %s" % (channel, where), file=out)
    for result in results:
        s = result["stats"]
        print("  peer %s:   sent %d frames (%d ops, %d bytes); received %d frames "
              "(%d ops, %d bytes)%s; read back %d of its own"
              % (result["name"], s["sentFrames"], s["sentOps"], s["sentBytes"],
                 s["receivedFrames"], s["receivedOps"], s["receivedBytes"],
                 " after joining from a snapshot" if s["snapshotsRead"] else "",
                 s["ownFrames"]), file=out)


def _CompareLayers(texts: List[str], showLayer: bool, out: TextIO) -> int:
    """Prints whether the peers' layers (as .usda text) match, and their
    difference if not; returns the exit status."""
    if showLayer:
        print(texts[0], file=out)
    if all(text == texts[0] for text in texts):
        print("  result:   the layers match (%d bytes as .usda)" % len(texts[0].encode()),
              file=out)
        return 0
    print("  result:   the layers DIFFER", file=out)
    for line in difflib.unified_diff(texts[0].splitlines(), texts[1].splitlines(),
                                     "peer A", "peer B", lineterm=""):
        print("    " + line, file=out)
    return 1


def _CleanUpDemo(args: argparse.Namespace, channel: str, work: str) -> None:
    """Removes what the demo left: its Redis channel and its work directory."""
    if args.redis:
        try:
            OpenTransport(args.redis).Delete(channel)
        except Exception:  # the report matters more than the clean-up
            pass
    shutil.rmtree(work, ignore_errors=True)


def RunDemo(args: argparse.Namespace, out: TextIO = sys.stdout) -> int:
    """Two peer processes edit one layer over a new channel; prints what
    each sent and received and whether their layers match. Returns the
    exit status."""
    channel = "demo-%d-%d" % (os.getpid(), int(time.time() * 1000))
    work = tempfile.mkdtemp(prefix="vela-demo-")
    directory = args.dir or os.path.join(work, "channels")
    names = ["A", "B"]
    try:
        # The URL goes to the peers in their environment, not on their
        # command lines, which every user of the machine may read.
        env = dict(os.environ)
        env.pop(RedisUrlVariable, None)
        if args.redis:
            env[RedisUrlVariable] = args.redis
        procs = [subprocess.Popen(_PeerCommand(args, channel, name, names, work, directory),
                                  env=env)
                 for name in names]
        failed = _WaitForPeers(names, procs)
        if failed:
            print("vela sync demo: peer %s failed" % " and ".join(failed), file=out)
            return 1
        results = _LoadResults(work, names)
        _PrintDemoReport(args, channel, MaskUrl(args.redis) if args.redis else directory,
                         results, out)
        return _CompareLayers([r["layer"] for r in results], args.show_layer, out)
    finally:
        _CleanUpDemo(args, channel, work)


def RunReplay(args: argparse.Namespace, out: TextIO = sys.stdout) -> int:
    """A late joiner: replays a channel into a new layer, with progress."""
    transport = OpenTransport(args.redis, args.dir)
    layer = NewSyncLayer("replay")
    session = Session(layer, args.channel, transport, snapshotEvery=0)
    start = time.monotonic()
    progress = ProgressLine()
    session.Pull(progress=progress, batch=512)
    s = session.stats
    print("vela sync replay of %s: %d frames (%d ops, %d bytes)%s in %.2f s"
          % (args.channel, s.receivedFrames, s.receivedOps, s.receivedBytes,
             ", from a snapshot" if s.snapshotsRead else "", time.monotonic() - start), file=out)
    if s.refusedFrames:
        print("  refused:  %d frames" % s.refusedFrames, file=out)
    text = syncRound.LayerText(layer)
    if args.usda:
        with open(args.usda, "w") as f:
            f.write(text)
    print("  layer:    %d bytes as .usda" % len(text.encode()), file=out)
    return 0


def _AddCommonArguments(p: argparse.ArgumentParser) -> None:
    """The options every command takes: where the channel is, which form."""
    p.add_argument("--redis", metavar="URL", help="use the Redis server at URL "
                   "(redis://host:port) instead of the embedded transport; by default "
                   "the URL in %s, if set" % RedisUrlVariable)
    p.add_argument("--redis-cluster", metavar="URL", help="use the Redis cluster at URL "
                   "(redis+cluster://host:port,host:port/ or host:port,host:port)")
    p.add_argument("--dir", help="directory of the embedded transport's channels")
    p.add_argument("--wire-json", action="store_true",
                   help="send frames in the JSON form (for debugging)")


def main(argv: Optional[List[str]] = None) -> int:
    """The vela-sync command: runs demo, peer or replay as argv says (the
    process's arguments when None) and returns the exit status."""
    parser = argparse.ArgumentParser(prog="vela-sync",
                                     description=(__doc__ or "vela-sync").splitlines()[0])
    sub = parser.add_subparsers(dest="command", required=True)

    demo = sub.add_parser("demo", help="two peer processes edit one layer")
    _AddCommonArguments(demo)
    demo.add_argument("--rounds", type=int, default=5)
    demo.add_argument("--snapshot-every", type=int, default=4)
    demo.add_argument("--show-layer", action="store_true", help="print the layer as .usda")

    peer = sub.add_parser("peer", help="one peer of the demo")
    _AddCommonArguments(peer)
    peer.add_argument("--channel", required=True)
    peer.add_argument("--name", required=True)
    peer.add_argument("--peers", required=True)
    peer.add_argument("--rounds", type=int, default=5)
    peer.add_argument("--snapshot-every", type=int, default=4)
    peer.add_argument("--result", required=True)

    replay = sub.add_parser("replay", help="join a channel late and replay it")
    _AddCommonArguments(replay)
    replay.add_argument("channel")
    replay.add_argument("--usda", metavar="FILE", help="write the layer as .usda text")

    args = parser.parse_args(argv)
    if args.redis_cluster:
        # A cluster URL is a Redis URL the transport knows for a cluster.
        from vela.usd.client.redisCluster import ClusterUrl
        args.redis = ClusterUrl(args.redis_cluster)
    if args.redis is None:
        args.redis = os.environ.get(RedisUrlVariable) or None
    try:
        if args.command == "demo":
            return RunDemo(args)
        if args.command == "peer":
            return RunPeer(args)
        return RunReplay(args)
    except TransportError as error:
        # A refusal or a server away: its message says what and where.
        print("vela-sync %s: %s: %s" % (args.command, type(error).__name__, error),
              file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
