"""Sync layers: the vela file format and its client API.

Importing this package loads the extension module and registers vela's
plug-ins with OpenUSD, so that layers with the extension ``.vela`` are sync
layers::

    from pxr import Sdf
    import vela.usd.sync as sync

    layer = Sdf.Layer.CreateAnonymous("scene.vela")
    Sdf.CreatePrimInLayer(layer, "/World")
    for op in sync.SyncData.GetLayerUpdates(layer):
        print(op.opType, op.nodePath, op.fieldName, op.GetFieldValue())

What the module offers:

``SyncOpType``
    The kind of an operation: ``CreateNode`` (0), ``SetField`` (1),
    ``MoveNode`` (2), ``EraseNode`` (3), ``EraseField`` (4).
``SyncOp``
    One operation, with the attributes ``opType``, ``nodePath``,
    ``oldNodePath``, ``nodeType`` and ``fieldName``, and ``GetFieldValue()``
    giving a new ``bytearray`` of its packed value.
``SyncOpList``
    A sequence of ``SyncOp`` (what ``GetLayerUpdates`` returns).
``SyncData``
    A layer's content store: ``CreateNew()``, ``GetLayerUpdates(layer)``,
    ``RefreshData(layer, syncData)``, ``CreateNode(path, specType)`` and
    ``SetField(path, fieldName, fieldValue)`` (fieldValue is the Base64 text
    of packed bytes). ``RefreshData`` refuses (with an error line) sync
    data that OpenUSD could not hold: a spec whose type does not fit its
    path, or a children field naming a spec that is not there.

Extensions for clients, beyond that surface:

``SyncData.ApplySyncOp(op)`` and ``SyncData.ApplySyncOps(ops)``
    Apply received operations, moves and erasures included, to a store. A
    store made with ``CreateNew`` records none of them.
``SyncData.GetPendingOpCount()``
    The number of operations recorded in a store and not yet taken out.
``SyncOp.SetFieldValue(data)``
    Give an operation rebuilt from the wire its packed bytes.
``CoalesceOps(ops) -> SyncOpList``
    Drop the field edits that later edits of the same field overwrite, so
    that fewer operations travel.
``PackValue(value, typeName='') -> bytes`` and ``UnpackValue(data) -> value``
    Pack a value as a set-field operation carries it, and unpack packed
    bytes (or their Base64 text) again.

The ``vela.usd.sync.round`` module runs one whole sync round between two
peers (``python -m vela.usd.sync.round``).
"""

import os as _os

# The OpenUSD modules whose types cross the module's interface come first.
from pxr import Gf as _Gf
from pxr import Plug as _Plug
from pxr import Sdf as _Sdf
from pxr import Tf as _Tf
from pxr import Vt as _Vt

_Tf.PreparePythonModule("_velaUsdSync")

# vela's plug-ins are installed beside the package, in
# site-packages/velahub_sdk.libs/usd, whose plugInfo.json includes every
# plug-in's resources.
_pluginDir = _os.path.join(
    _os.path.dirname(_os.path.dirname(_os.path.dirname(
        _os.path.dirname(_os.path.abspath(__file__))))),
    "velahub_sdk.libs", "usd")
_Plug.Registry().RegisterPlugins(_pluginDir)

del _os, _Gf, _Plug, _Sdf, _Tf, _Vt, _pluginDir

# What the extension module defines; the submodule round is a demo and is
# imported on its own.
__all__ = ["ApplyPackedOps", "CoalesceOps", "CreateNode", "EraseField", "EraseNode",
           "FrameLedger", "MoveNode", "PackLayerUpdates", "PackOps", "PackSyncData", "PackValue",
           "ReadFrameHeader", "SetField", "SyncData", "SyncOp", "SyncOpList", "SyncOpType",
           "UnpackOps", "UnpackValue", "WriteFrame"]
