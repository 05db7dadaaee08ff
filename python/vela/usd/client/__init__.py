"""The session client: sync layers kept in step across processes.

A ``Session`` binds one sync layer to a named channel. ``Publish()`` drains
the layer's updates and sends them as one frame; ``Pull()`` reads every
frame the channel holds after the session's position (its own included),
applies them in channel order to a replica store and refreshes the layer
from it, so every peer converges on the same content; where two peers set
one field, the later frame in the channel wins. Every N frames a peer
writes a snapshot (the operations that rebuild the whole layer), from
which late joiners start::

    from pxr import Sdf
    from vela.usd import client

    layer = Sdf.Layer.CreateAnonymous("scene.vela")
    session = client.Session(layer, "scene")      # embedded transport
    Sdf.CreatePrimInLayer(layer, "/World")
    session.Publish()
    session.Pull()

Transports: ``EmbeddedTransport`` (a log file per channel, safe for several
processes on one machine) and ``RedisTransport`` (a Redis stream per
channel, for peers on several machines); ``Transport`` is what a session
needs of one.

The modules, each depending only on those listed before it:

``transport``
    The transport interface, ``TransportError`` (``TransportRefused`` when
    retrying cannot help), ``ChannelTrimmed`` and the channel-name check.
``resp``
    A lean client of Redis's protocol (RESP2 and RESP3), replies parsed by
    hiredis when it is installed.
``embedded``, ``redisTransport``
    The two transports.
``jsonForm``
    Operations as JSON arrays (the debugging form).
``wire``
    Frames, binary and JSON.
``session``
    ``Session`` and its ``Stats``.
``cli``
    The ``vela-sync`` command and its demo, which also uses the round's
    scene (``vela.usd.sync.round``); nothing in the client imports it.
"""

import typing as _typing

from vela.usd.client.embedded import EmbeddedTransport
from vela.usd.client.session import Session, Stats
from vela.usd.client.transport import (ChannelTrimmed, Transport, TransportError,
                                       TransportRefused)
from vela.usd.client.wire import DecodeFrame, EncodeFrame, Frame, FrameError

if _typing.TYPE_CHECKING:
    from vela.usd.client import redisTransport as _redisTransport


def RedisTransport(url: str, retryFor: float = 30.0, prefix: str = "vela:",
                   cluster: bool = False, replicas: int = 0,
                   replicaTimeout: float = 1.0) -> "_redisTransport.RedisTransport":
    """The Redis Streams transport, on one server or a cluster (imported
    on first use; speaks the protocol itself, faster with the ``hiredis``
    package)."""
    from vela.usd.client.redisTransport import RedisTransport as _RedisTransport
    return _RedisTransport(url, retryFor, prefix, cluster=cluster, replicas=replicas,
                           replicaTimeout=replicaTimeout)


__all__ = ["ChannelTrimmed", "DecodeFrame", "EmbeddedTransport", "EncodeFrame", "Frame",
           "FrameError", "RedisTransport", "Session", "Stats", "Transport", "TransportError",
           "TransportRefused"]
