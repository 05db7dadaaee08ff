"""Two peers, each a process with a Usd.Stage whose root layer is its sync
layer, edit one scene at once and report what their stages saw.

    python examples/stageDemo.py [--redis URL] [--rounds N]

Peer A builds the scene through UsdGeom, publishes a chair asset to the
shared store (vela.usd.resolve.LocalDirectoryStore, content-addressed) and
references it; each peer's stage fetches it on demand through vela's
resolver with the same store as its fetch callback. A annotates a prim
with VelaAnnotationAPI; peer B adds lights and annotates
one of them; both then edit at once for a few rounds. Each peer counts the
Usd.Notice.ObjectsChanged notices its stage sent for the other's edits.
Exits 1 if the two stages do not end with the same content.

Needs the usd-core flavour of vela (pxr.Usd)."""

import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import textwrap
import time

# The annotation schema must be known before the first stage is made.
import vela.usd.annotation as annotation
import vela.usd.resolve as resolve
from pxr import Ar, Gf, Tf, Usd, UsdGeom, UsdLux
from vela.usd.client.cli import NewSyncLayer, OpenTransport, RedisUrlVariable
from vela.usd.client.session import Session
from vela.usd.sync import round as syncRound

_Prefix = "demo"
_Timeout = 120.0


def _WriteChair(path):
    """The chair asset, as peer A authored it on its own disk."""
    with open(path, "w") as f:
        f.write(textwrap.dedent("""\
            #usda 1.0
            (
                defaultPrim = "Chair"
            )
            def Xform "Chair" (
                kind = "component"
            )
            {
                def Cube "Seat"
                {
                    double size = 0.5
                }
            }
            """))


class _Seen:
    """What the peer's stage reported for edits it received."""

    def __init__(self, stage):
        self.notices = 0
        self.resynced = set()
        self.changedInfo = set()
        self.counting = False
        self._listener = Tf.Notice.Register(Usd.Notice.ObjectsChanged, self._Changed, stage)

    def _Changed(self, notice, sender):
        if not self.counting:
            return  # the peer's own edit
        self.notices += 1
        self.resynced.update(str(p) for p in notice.GetResyncedPaths())
        self.changedInfo.update(str(p) for p in notice.GetChangedInfoOnlyPaths())

    def Pull(self, session, blockMs=0):
        """Pulls, counting the notices that what it received sends."""
        self.counting = True
        try:
            return session.Pull(blockMs=blockMs)
        finally:
            self.counting = False


def _WaitFor(session, seen, condition, what):
    deadline = time.monotonic() + _Timeout
    while not condition():
        if time.monotonic() > deadline:
            raise SystemExit("peer %s: gave up waiting for %s" % (session.name, what))
        seen.Pull(session, blockMs=50)


def _BuildScene(stage, chairAsset):
    UsdGeom.Xform.Define(stage, "/World")
    UsdGeom.SetStageUpAxis(stage, UsdGeom.Tokens.y)
    floor = UsdGeom.Cube.Define(stage, "/World/Floor")
    floor.CreateSizeAttr(10.0)
    floor.AddScaleOp().Set(Gf.Vec3f(1.0, 0.02, 1.0))
    chair = stage.DefinePrim("/World/Chair")
    chair.GetReferences().AddReference(chairAsset)
    notes = annotation.VelaAnnotationAPI.Apply(chair)
    notes.CreateCommentCountAttr(1)
    notes.CreateEntriesAttr(["A: the chair came from the store"])


def _EditRound(stage, name, r):
    if name == "A":
        UsdGeom.Cube(stage.GetPrimAtPath("/World/Floor")).GetSizeAttr().Set(10.0 + r)
        UsdGeom.Sphere.Define(stage, "/World/Props/Ball%d" % r).CreateRadiusAttr(0.1 * (r + 1))
    else:
        light = UsdLux.SphereLight.Define(stage, "/World/Lights/Bulb%d" % r)
        light.CreateIntensityAttr(800.0 + 10 * r)
        if r == 0:
            notes = annotation.VelaAnnotationAPI.Apply(light.GetPrim())
            notes.CreateEntriesAttr(["B: too bright?"])


def RunPeer(args):
    # The store the peers share (a directory here; HttpStore and S3Store
    # work the same way) is also each peer's fetch callback.
    store = resolve.LocalDirectoryStore(os.path.join(args.work, "store"))
    cache = os.path.join(args.work, "cache" + args.name)
    os.makedirs(cache, exist_ok=True)
    fetched = []

    def fetch(blobPath, localPath):
        fetched.append(blobPath)
        return store(blobPath, localPath)

    resolve.SetOnFetchCallback(fetch)
    context = Ar.ResolverContext([resolve.ResolverContext(_Prefix, cache),
                                  Ar.DefaultResolverContext([os.path.join(cache, _Prefix)])])
    layer = NewSyncLayer("stage" + args.name)
    stage = Usd.Stage.Open(layer, context)
    transport = OpenTransport(args.redis, args.dir)
    session = Session(layer, args.channel, transport, name=args.name)
    seen = _Seen(stage)
    if args.name == "A":
        chairFile = os.path.join(args.work, "A", "chair.usda")
        os.makedirs(os.path.dirname(chairFile), exist_ok=True)
        _WriteChair(chairFile)
        _BuildScene(stage, store.Publish(chairFile, _Prefix))
        session.Publish()
    _WaitFor(session, seen, lambda: stage.GetPrimAtPath("/World/Chair/Seat"), "the scene")
    for r in range(args.rounds):
        _EditRound(stage, args.name, r)
        seen.Pull(session, blockMs=5)
    session.Leave()
    _WaitFor(session, seen, lambda: session.left.issuperset(("A", "B")), "the other peer to leave")
    chair = stage.GetPrimAtPath("/World/Chair")
    result = {
        "name": args.name,
        "stats": session.stats.AsDict(),
        "prims": [str(p.GetPath()) for p in stage.Traverse()],
        "annotated": [str(p.GetPath()) for p in stage.Traverse()
                      if "VelaAnnotationAPI" in p.GetAppliedSchemas()],
        "chairFetched": fetched,
        "chairSeat": bool(chair.GetChild("Seat")),
        "notices": seen.notices,
        "resynced": len(seen.resynced),
        "changedInfo": sorted(seen.changedInfo)[:4],
        "layer": syncRound.LayerText(layer),
    }
    with open(args.result, "w") as f:
        json.dump(result, f)
    transport.Close()
    return 0


def RunDemo(args):
    work = tempfile.mkdtemp(prefix="vela-stage-demo-")
    try:
        channel = "stage-demo-%d" % os.getpid()
        directory = os.path.join(work, "channels")
        procs, results = [], {}
        # The URL, which may hold a password, goes to the peers in their
        # environment: command lines are for every user of the machine to see.
        env = dict(os.environ)
        env.pop(RedisUrlVariable, None)
        if args.redis:
            env[RedisUrlVariable] = args.redis
        for name in ("A", "B"):
            command = [sys.executable, os.path.abspath(__file__), "--peer", name,
                       "--channel", channel, "--work", work, "--dir", directory,
                       "--rounds", str(args.rounds),
                       "--result", os.path.join(work, name + ".json")]
            procs.append(subprocess.Popen(command, env=env))
        for proc in procs:
            if proc.wait(timeout=_Timeout * 2) != 0:
                print("a peer failed (exit %d)" % proc.returncode)
                return 1
        for name in ("A", "B"):
            with open(os.path.join(work, name + ".json")) as f:
                results[name] = json.load(f)
        for name, r in results.items():
            print("peer %s: %d prims on its stage, %d annotated (%s)"
                  % (name, len(r["prims"]), len(r["annotated"]), ", ".join(r["annotated"])))
            print("  sent %d frames, received %d; its stage sent %d ObjectsChanged "
                  "notices (%d resynced paths; changed values e.g. %s)"
                  % (r["stats"]["sentFrames"], r["stats"]["receivedFrames"], r["notices"],
                     r["resynced"], ", ".join(r["changedInfo"]) or "none"))
            print("  the chair asset: %s, its seat %s"
                  % ("fetched from the store (%s)" % ", ".join(r["chairFetched"])
                     if r["chairFetched"] else "not fetched",
                     "composed" if r["chairSeat"] else "missing"))
        same = results["A"]["layer"] == results["B"]["layer"] and \
            results["A"]["prims"] == results["B"]["prims"]
        print("stages %s" % ("match" if same else "DIFFER"))
        return 0 if same and all(r["chairSeat"] for r in results.values()) else 1
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--redis", help="a Redis URL (default: the embedded transport)")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--peer", help=argparse.SUPPRESS)
    parser.add_argument("--channel", help=argparse.SUPPRESS)
    parser.add_argument("--work", help=argparse.SUPPRESS)
    parser.add_argument("--dir", help=argparse.SUPPRESS)
    parser.add_argument("--result", help=argparse.SUPPRESS)
    args = parser.parse_args(argv)
    if args.redis is None:
        args.redis = os.environ.get(RedisUrlVariable) or None
    if args.peer:
        args.name = args.peer
        return RunPeer(args)
    return RunDemo(args)


if __name__ == "__main__":
    sys.exit(main())
