"""Sync layers under Usd stages (the usd-core flavour):

    bash scripts/bench.sh usd [--prims N] [--repeat N] [--samples N]

1. Authoring N prims (default 100k: an Xform group per 1,000, each prim a
   UsdGeom.Cube with its size set) through Usd/UsdGeom on a stage whose
   root layer is a sync layer, against the same on a stage whose root
   layer is an anonymous .usda layer, in the same run.
2. One remote attribute edit on an N-prim stage, end to end: peer A sets a
   cube's size through UsdGeom and publishes; peer B's pull applies it and
   its stage sends Usd.Notice.ObjectsChanged (median of --samples).

Each figure is taken --repeat times (default 3); the range is printed."""

import argparse
import statistics
import tempfile
import time

import vela.usd.annotation  # noqa: F401  (the schema is known before any stage)
from pxr import Sdf, Tf, Usd, UsdGeom
from vela.usd import sync
from vela.usd.client import EmbeddedTransport, Session


def _Range(values, fmt):
    return "%s–%s" % (fmt % min(values), fmt % max(values))


def _SyncLayer(name):
    layer = Sdf.Layer.CreateAnonymous(name + ".vela")
    sync.SyncData.GetLayerUpdates(layer)
    return layer


def _Author(stage, prims, perGroup=1000):
    UsdGeom.Xform.Define(stage, "/World")
    for g in range((prims + perGroup - 1) // perGroup):
        group = "/World/G%d" % g
        UsdGeom.Xform.Define(stage, group)
        for p in range(min(perGroup, prims - g * perGroup)):
            UsdGeom.Cube.Define(stage, "%s/P%d" % (group, p)).CreateSizeAttr(1.0)


def AuthoringRun(prims):
    times = {}
    for kind, layer in (("usda", Sdf.Layer.CreateAnonymous("plain.usda")),
                        ("vela", _SyncLayer("authored"))):
        stage = Usd.Stage.Open(layer)
        start = time.perf_counter()
        _Author(stage, prims)
        times[kind] = time.perf_counter() - start
    return times


def PullRun(prims, samples):
    with tempfile.TemporaryDirectory() as directory:
        transport = EmbeddedTransport(directory)
        layerA, layerB = _SyncLayer("A"), _SyncLayer("B")
        a = Session(layerA, "bench", transport, name="A", snapshotEvery=0)
        b = Session(layerB, "bench", transport, name="B", snapshotEvery=0)
        stageA, stageB = Usd.Stage.Open(layerA), Usd.Stage.Open(layerB)
        _Author(stageA, prims)
        a.Publish()
        b.Pull()
        assert stageB.GetPrimAtPath("/World/G0/P0")
        size = UsdGeom.Cube(stageA.GetPrimAtPath("/World/G0/P0")).GetSizeAttr()
        noticed = []
        listener = Tf.Notice.Register(
            Usd.Notice.ObjectsChanged,
            lambda notice, sender: noticed.append(time.perf_counter()), stageB)
        figures = []
        for i in range(samples):
            del noticed[:]
            start = time.perf_counter()
            size.Set(2.0 + i)
            a.Publish()
            b.Pull()
            assert noticed, "B's stage sent no notice"
            figures.append(noticed[-1] - start)
        assert UsdGeom.Cube(stageB.GetPrimAtPath("/World/G0/P0")).GetSizeAttr().Get() == \
            2.0 + samples - 1
        del listener
        return statistics.median(figures)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--prims", type=int, default=100000)
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--samples", type=int, default=15)
    args = parser.parse_args()

    runs = [AuthoringRun(args.prims) for _ in range(args.repeat)]
    print("authoring %d prims through UsdGeom, %d runs" % (args.prims, args.repeat))
    print("  stage on a .usda layer: %s s" % _Range([r["usda"] for r in runs], "%.2f"))
    print("  stage on a sync layer:  %s s" % _Range([r["vela"] for r in runs], "%.2f"))
    print("  ratio:                  %s x" % _Range([r["vela"] / r["usda"] for r in runs],
                                                     "%.2f"))
    pulls = [PullRun(args.prims, args.samples) for _ in range(args.repeat)]
    print("one remote attribute edit on a %d-prim stage, set to ObjectsChanged "
          "(median of %d): %s ms" % (args.prims, args.samples,
                                     _Range([p * 1000 for p in pulls], "%.2f")))


if __name__ == "__main__":
    main()
