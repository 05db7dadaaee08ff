"""One whole sync round between two peers, in one process.

Peer A edits a sync layer through OpenUSD's Sdf API: prims, typed
attributes with default values, relationships, metadata, a rename and a
removal. Its layer updates are collected, stripped of the field edits that
later edits overwrite (CoalesceOps), serialised as they would travel (JSON,
packed values as Base64 text) and handed to peer B, which builds a
``SyncData`` from them and refreshes its own sync layer with it. The
command prints a summary (operations by kind, bytes on the wire against the
size of the whole layer as .usda text) and exits with status 1 if B's layer
differs from A's.

Run it with ``python -m vela.usd.sync.round`` (or ``vela-sync-round``).

The operations travel in the session client's JSON form
(``vela.usd.client.jsonForm``: ``EncodeOps``, ``BuildSyncData``). The
comparison helpers (``LayerText``, ``DiffLayers``) are what a client of the
sync layer would write itself; the benchmark and the tests use them too.
"""

import argparse
import collections
import difflib
import sys
from typing import Callable, List, Optional, TextIO

from pxr import Gf, Sdf, Vt

from vela.usd import sync
# RunRound looks these up here, as module globals, so a test can stand in
# for the sender.
from vela.usd.client.jsonForm import BuildSyncData, EncodeOps

_OpTypeNames = {int(t): t.name for t in sync.SyncOpType.allValues}


def CoalesceOps(ops: "sync.SyncOpList") -> "sync.SyncOpList":
    """The operations worth sending: ops without the field edits that later
    edits of the same field overwrite (the module's CoalesceOps)."""
    return sync.CoalesceOps(ops)


def LayerText(layer: Sdf.Layer) -> str:
    """The layer's content as .usda text. A sync layer is never written
    itself, so its content is copied into an anonymous .usda layer first."""
    text = Sdf.Layer.CreateAnonymous("export.usda")
    text.TransferContent(layer)
    return text.ExportToString()


def DiffLayers(layerA: Sdf.Layer, layerB: Sdf.Layer) -> List[str]:
    """Lines of a unified diff between the two layers as .usda text; empty
    when their content is the same."""
    textA = LayerText(layerA).splitlines()
    textB = LayerText(layerB).splitlines()
    return list(difflib.unified_diff(textA, textB, "peer A", "peer B", lineterm=""))


def CountByKind(ops: "sync.SyncOpList") -> "collections.OrderedDict[str, int]":
    """Operation counts keyed by type name, in the enumeration's order."""
    counts = collections.Counter(_OpTypeNames.get(int(op.opType)) for op in ops)
    return collections.OrderedDict(
        (name, counts[name]) for name in _OpTypeNames.values() if counts[name])


def EditPeerA(layer: Sdf.Layer) -> None:
    """The edits of peer A: a small scene with prims, typed attributes with
    default values, relationships and metadata, then a rename and a
    removal."""
    layer.defaultPrim = "World"
    layer.documentation = "A scene kept in step by vela"

    world = Sdf.CreatePrimInLayer(layer, "/World")
    world.specifier = Sdf.SpecifierDef
    world.typeName = "Xform"
    world.kind = "assembly"
    world.documentation = "The root of the scene"

    translate = Sdf.AttributeSpec(world, "xformOp:translate", Sdf.ValueTypeNames.Double3)
    translate.default = Gf.Vec3d(0.0, 1.5, -3.0)
    order = Sdf.AttributeSpec(world, "xformOpOrder", Sdf.ValueTypeNames.TokenArray,
                              Sdf.VariabilityUniform)
    order.default = Vt.TokenArray(["xformOp:translate"])

    geom = Sdf.CreatePrimInLayer(layer, "/World/Geom")
    geom.specifier = Sdf.SpecifierDef
    geom.typeName = "Scope"

    cube = Sdf.CreatePrimInLayer(layer, "/World/Geom/Cube")
    cube.specifier = Sdf.SpecifierDef
    cube.typeName = "Cube"
    cube.inheritPathList.prependedItems = [Sdf.Path("/World/Looks")]
    Sdf.AttributeSpec(cube, "size", Sdf.ValueTypeNames.Double).default = 2.0
    extent = Sdf.AttributeSpec(cube, "extent", Sdf.ValueTypeNames.Float3Array)
    extent.default = Vt.Vec3fArray([Gf.Vec3f(-1, -1, -1), Gf.Vec3f(1, 1, 1)])
    color = Sdf.AttributeSpec(cube, "primvars:displayColor", Sdf.ValueTypeNames.Color3fArray)
    color.default = Vt.Vec3fArray([Gf.Vec3f(0.8, 0.2, 0.1)])
    color.displayName = "Display colour"
    visibility = Sdf.AttributeSpec(cube, "visibility", Sdf.ValueTypeNames.Token,
                                   Sdf.VariabilityUniform)
    visibility.default = "inherited"
    visibility.SetInfo("allowedTokens", Vt.TokenArray(["inherited", "invisible"]))
    Sdf.AttributeSpec(cube, "userProperties:label", Sdf.ValueTypeNames.String,
                      Sdf.VariabilityVarying, declaresCustom=True).default = "a cube"
    Sdf.AttributeSpec(cube, "userProperties:count", Sdf.ValueTypeNames.Int,
                      Sdf.VariabilityVarying, declaresCustom=True).default = 12
    Sdf.AttributeSpec(cube, "userProperties:pose", Sdf.ValueTypeNames.Matrix4d,
                      Sdf.VariabilityVarying, declaresCustom=True).default = Gf.Matrix4d(2.0)
    Sdf.AttributeSpec(cube, "userProperties:texture", Sdf.ValueTypeNames.Asset,
                      Sdf.VariabilityVarying, declaresCustom=True).default = Sdf.AssetPath("tex/wood.png")
    binding = Sdf.RelationshipSpec(cube, "material:binding", custom=False)
    binding.targetPathList.explicitItems = [Sdf.Path("/World/Looks/Wood")]

    sphere = Sdf.CreatePrimInLayer(layer, "/World/Geom/Sphere")
    sphere.specifier = Sdf.SpecifierDef
    sphere.typeName = "Sphere"
    Sdf.AttributeSpec(sphere, "radius", Sdf.ValueTypeNames.Double).default = 0.5
    sphere.SetInfo("references", Sdf.ReferenceListOp.Create(
        prependedItems=[Sdf.Reference("assets/ball.usd", Sdf.Path("/Ball"))]))
    sphere.hidden = True

    looks = Sdf.CreatePrimInLayer(layer, "/World/Looks")
    looks.specifier = Sdf.SpecifierDef
    looks.typeName = "Scope"
    wood = Sdf.CreatePrimInLayer(layer, "/World/Looks/Wood")
    wood.specifier = Sdf.SpecifierDef
    wood.typeName = "Material"
    wood.SetInfo("customData", {})  # dictionaries travel as keys only; keep it empty
    wood.comment = "shared by every wooden prim"

    lights = Sdf.CreatePrimInLayer(layer, "/World/Lights")
    lights.specifier = Sdf.SpecifierDef
    for name, intensity in (("Key", 800.0), ("Fill", 200.0)):
        light = Sdf.CreatePrimInLayer(layer, "/World/Lights/" + name)
        light.specifier = Sdf.SpecifierDef
        light.typeName = "SphereLight"
        Sdf.AttributeSpec(light, "inputs:intensity", Sdf.ValueTypeNames.Float).default = intensity
        light.SetInfo("active", True)

    # A rename and a removal, as an editor would make them.
    edit = Sdf.BatchNamespaceEdit()
    edit.Add("/World/Geom/Sphere", "/World/Geom/Ball")
    if not layer.Apply(edit):
        raise RuntimeError("peer A could not rename /World/Geom/Sphere")
    del lights.nameChildren["Fill"]
    # And one field erased again.
    layer.GetPrimAtPath("/World/Geom/Ball").ClearInfo("hidden")


def RunRound(editPeerA: Callable[[Sdf.Layer], None] = EditPeerA, out: TextIO = sys.stdout,
             showLayer: bool = False, wireFile: Optional[str] = None) -> bool:
    """Runs one round and prints its summary to out. Returns True when
    peer B's layer ends up with the same content as peer A's."""
    layerA = Sdf.Layer.CreateAnonymous("peerA.vela")
    layerB = Sdf.Layer.CreateAnonymous("peerB.vela")
    # Both peers start from an empty layer; what their creation recorded is
    # known to both sides already.
    sync.SyncData.GetLayerUpdates(layerA)
    sync.SyncData.GetLayerUpdates(layerB)

    editPeerA(layerA)
    recorded = sync.SyncData.GetLayerUpdates(layerA)
    ops = CoalesceOps(recorded)
    wire = EncodeOps(ops)
    if wireFile:
        with open(wireFile, "w") as f:
            f.write(wire)

    sync.SyncData.RefreshData(layerB, BuildSyncData(wire))
    echoed = len(sync.SyncData.GetLayerUpdates(layerB))
    diff = DiffLayers(layerA, layerB)

    textBytes = len(LayerText(layerA).encode("utf-8"))
    wireBytes = len(wire.encode("utf-8"))
    valueBytes = sum(len(op.GetFieldValue()) for op in ops)
    kinds = ", ".join("%s %d" % item for item in CountByKind(ops).items())

    print("vela sync round: peer A -> peer B", file=out)
    print("  operations:      %d sent of %d recorded (%s)"
          % (len(ops), len(recorded), kinds), file=out)
    print("  on the wire:     %d bytes of JSON (%d bytes of packed values)"
          % (wireBytes, valueBytes), file=out)
    print("  layer as .usda:  %d bytes (wire / text = %.2f)"
          % (textBytes, wireBytes / textBytes if textBytes else 0.0), file=out)
    print("  echoed by B:     %d operations" % echoed, file=out)
    if showLayer:
        print(LayerText(layerB), file=out)
    if diff or echoed:
        print("  result:          peer B DIFFERS from peer A", file=out)
        for line in diff:
            print("    " + line, file=out)
        return False
    print("  result:          peer B matches peer A", file=out)
    return True


def main(argv: Optional[List[str]] = None) -> int:
    """The vela-sync-round command: runs one round as argv says (the
    process's arguments when None) and returns the exit status."""
    parser = argparse.ArgumentParser(
        prog="python -m vela.usd.sync.round",
        description="Run one sync round between two peers in one process.")
    parser.add_argument("--show-layer", action="store_true",
                        help="print peer B's layer as .usda text")
    parser.add_argument("--wire", metavar="FILE",
                        help="write the JSON sent from A to B to FILE")
    args = parser.parse_args(argv)
    return 0 if RunRound(showLayer=args.show_layer, wireFile=args.wire) else 1


if __name__ == "__main__":
    sys.exit(main())
