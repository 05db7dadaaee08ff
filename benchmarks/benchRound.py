"""One sync round of a 10k-prim layer, from Python, beside moving the same
layer as .usda text.

Stages of the round: collect A's updates (GetLayerUpdates), drop the field
edits that later edits overwrite (CoalesceOps), serialise them (JSON,
packed values as Base64), rebuild a store from the JSON on B
(BuildSyncData) and refresh B's layer with it (RefreshData). Beside it, in
the same run: exporting the same content as .usda text and importing that
text into a new layer, which is what sending the whole layer would cost.
Finally the wire bytes of one attribute edit against the size of the layer
as text.

    bash scripts/bench.sh round [--prims N] [--per-group N] [--repeat N]
"""

import argparse
import statistics
import time

from pxr import Gf, Sdf, Vt

from vela.usd import sync
from vela.usd.client import jsonForm
from vela.usd.sync import round as syncRound


def PrimPath(i, perGroup):
    return "/World/Group%03d/Prim%05d" % (i // perGroup, i)


def AuthorScene(layer, prims, perGroup):
    """prims Cube prims in groups of perGroup under /World, each with a
    double, a float3[] and a token attribute and a relationship."""
    with Sdf.ChangeBlock():
        world = Sdf.CreatePrimInLayer(layer, "/World")
        world.specifier = Sdf.SpecifierDef
        extent = Vt.Vec3fArray([Gf.Vec3f(-1, -1, -1), Gf.Vec3f(1, 1, 1)])
        group = None
        for i in range(prims):
            if i % perGroup == 0:
                group = Sdf.PrimSpec(world, "Group%03d" % (i // perGroup),
                                     Sdf.SpecifierDef, "Scope")
            prim = Sdf.PrimSpec(group, "Prim%05d" % i, Sdf.SpecifierDef, "Cube")
            Sdf.AttributeSpec(prim, "size", Sdf.ValueTypeNames.Double).default = float(i)
            Sdf.AttributeSpec(prim, "extent", Sdf.ValueTypeNames.Float3Array).default = extent
            Sdf.AttributeSpec(prim, "purpose", Sdf.ValueTypeNames.Token,
                              Sdf.VariabilityUniform).default = "render"
            rel = Sdf.RelationshipSpec(prim, "proxyPrim")
            rel.targetPathList.explicitItems = [Sdf.Path("/World")]


def _Timed(fn):
    start = time.perf_counter()
    result = fn()
    return result, time.perf_counter() - start


def OneRun(prims, perGroup):
    layerA = Sdf.Layer.CreateAnonymous("benchA.vela")
    layerB = Sdf.Layer.CreateAnonymous("benchB.vela")
    sync.SyncData.GetLayerUpdates(layerA)
    sync.SyncData.GetLayerUpdates(layerB)
    _, author = _Timed(lambda: AuthorScene(layerA, prims, perGroup))

    times = {"author on sync layer": author}
    recorded, times["collect updates"] = _Timed(lambda: sync.SyncData.GetLayerUpdates(layerA))
    ops, times["coalesce"] = _Timed(lambda: syncRound.CoalesceOps(recorded))
    wire, times["serialise (JSON)"] = _Timed(lambda: jsonForm.EncodeOps(ops))
    store, times["rebuild store on B"] = _Timed(lambda: jsonForm.BuildSyncData(wire))
    _, times["RefreshData on B"] = _Timed(lambda: sync.SyncData.RefreshData(layerB, store))
    times["round total"] = sum(times[k] for k in (
        "collect updates", "coalesce", "serialise (JSON)", "rebuild store on B",
        "RefreshData on B"))

    sameContent = syncRound.DiffLayers(layerA, layerB) == []

    # The same content in OpenUSD's own layer data, moved as text.
    plain = Sdf.Layer.CreateAnonymous("plain.usda")
    plain.TransferContent(layerA)
    text, times["export .usda text"] = _Timed(plain.ExportToString)
    imported = Sdf.Layer.CreateAnonymous("imported.usda")
    _, times["import .usda text"] = _Timed(lambda: imported.ImportFromString(text))
    times["text total"] = times["export .usda text"] + times["import .usda text"]

    # One attribute edit on the same layer.
    layerA.GetAttributeAtPath(PrimPath(prims // 2, perGroup) + ".size").default = 42.0
    editOps = sync.SyncData.GetLayerUpdates(layerA)
    editWire = jsonForm.EncodeOps(editOps)

    sizes = {
        "recorded": len(recorded),
        "recorded value bytes": sum(len(op.GetFieldValue()) for op in recorded),
        "ops": len(ops),
        "wire bytes": len(wire.encode("utf-8")),
        "packed value bytes": sum(len(op.GetFieldValue()) for op in ops),
        "usda bytes": len(text.encode("utf-8")),
        "edit ops": len(editOps),
        "edit wire bytes": len(editWire.encode("utf-8")),
        "same content": sameContent,
    }
    return times, sizes


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--prims", type=int, default=10000)
    parser.add_argument("--per-group", type=int, default=100,
                        help="prims per group (children of one parent)")
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()

    runs = [OneRun(args.prims, args.per_group) for _ in range(args.repeat)]
    sizes = runs[-1][1]
    print("sync round of %d prims in groups of %d (median of %d runs)"
          % (args.prims, args.per_group, args.repeat))
    for key in runs[0][0]:
        median = statistics.median(run[0][key] for run in runs)
        print("  %-22s %9.1f ms" % (key, median * 1000.0))
    print("  round / text:          %9.2f" % (
        statistics.median(run[0]["round total"] / run[0]["text total"] for run in runs)))
    print("sizes")
    print("  operations recorded:    %9d (%d bytes of packed values)" % (
        sizes["recorded"], sizes["recorded value bytes"]))
    print("  operations sent:        %9d" % sizes["ops"])
    print("  wire (JSON):            %9d bytes (%d of packed values)" % (
        sizes["wire bytes"], sizes["packed value bytes"]))
    print("  layer as .usda text:    %9d bytes" % sizes["usda bytes"])
    print("  one attribute edit:     %9d bytes on the wire in %d op(s), %.4f%% of the text" % (
        sizes["edit wire bytes"], sizes["edit ops"],
        100.0 * sizes["edit wire bytes"] / sizes["usda bytes"]))
    print("  B matches A:            %9s" % ("yes" if sizes["same content"] else "NO"))
    return 0 if sizes["same content"] else 1


if __name__ == "__main__":
    raise SystemExit(main())
