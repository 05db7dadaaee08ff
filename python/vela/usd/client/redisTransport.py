"""The Redis Streams transport, for peers on several machines.

A channel is one stream (key ``<channel>``), each frame one entry with the
field ``f``; a cursor is the id of the last entry read (``"0"`` is the
start), and reading is ``XREAD`` from there. The latest snapshot is a hash
(key ``<channel>:snapshot``, fields ``base`` and ``frame``) written in one
``HSET``.

A lost connection (a server restarted, a network gap) is retried, with
growing pauses, for up to ``retryFor`` seconds before TransportError: an
``XADD`` is sent again until the server takes it, so nothing published is
lost. Should the server have taken it before the connection dropped, the
frame is there twice; the session drops the copy by its sequence number.
The server must keep its data over a restart (``appendonly yes``) for the
stream to survive one.
"""

import logging
import time
from typing import Any, Callable, List, Optional, Tuple, TypeVar, cast

from vela.usd.client.transport import Buffer, CheckChannelName, Entry, TransportError

__all__ = ["RedisTransport"]

_T = TypeVar("_T")
# redis-py types its replies loosely (text or bytes, sync or async); a
# client made without decode_responses gets bytes, and the casts say so.

_log = logging.getLogger("vela.usd.client")


class RedisTransport:
    """Channels as streams on the Redis server at url
    (``redis://host:port/db``). Needs the ``redis`` package."""

    name = "redis"

    def __init__(self, url: str, retryFor: float = 30.0) -> None:
        """Opens a client of the server at url (it connects on the first
        call); retryFor is how long a lost connection is retried. Without
        the ``redis`` package, TransportError."""
        try:
            import redis
        except ImportError:
            raise TransportError("the Redis transport needs the 'redis' package "
                                 "(pip install redis)") from None
        self._redis = redis
        self.url = url
        self.retryFor = retryFor
        self.reconnects = 0
        self._client = redis.Redis.from_url(url, socket_connect_timeout=2.0)

    def __repr__(self) -> str:
        return "RedisTransport(%r)" % self.url

    def _Call(self, what: str, fn: Callable[[], _T]) -> _T:
        deadline = time.monotonic() + self.retryFor
        pause = 0.02
        while True:
            try:
                return fn()
            except (self._redis.ConnectionError, self._redis.TimeoutError,
                    self._redis.BusyLoadingError) as error:
                if time.monotonic() >= deadline:
                    raise TransportError("%s on %s failed for %.0f s: %s"
                                         % (what, self.url, self.retryFor, error)) from None
                _log.warning("%s on %s: %s; retrying", what, self.url, error)
                self.reconnects += 1
                self._client.connection_pool.disconnect()
                time.sleep(pause)
                pause = min(pause * 2, 1.0)

    def Append(self, channel: str, data: Buffer) -> str:
        """Appends one frame to the channel's stream; returns its id."""
        key = CheckChannelName(channel)
        entryId = cast(bytes, self._Call(
            "XADD", lambda: self._client.xadd(key, {b"f": bytes(data)})))
        return entryId.decode("ascii")

    def Read(self, channel: str, cursor: str, maxFrames: int = 256,
             blockMs: float = 0) -> Tuple[List[Entry], str]:
        """Entries after cursor: (entries, newCursor), entries a list of
        (id, frame bytes). With blockMs, waits up to that long for a first
        entry."""
        key = CheckChannelName(channel)
        reply = cast(Any, self._Call("XREAD", lambda: self._client.xread(
            {key: cursor}, count=maxFrames, block=int(blockMs) if blockMs else None)))
        entries: List[Entry] = []
        for _, items in reply or ():
            for entryId, fields in items:
                entries.append((entryId.decode("ascii"), fields.get(b"f", b"")))
        return entries, (entries[-1][0] if entries else cursor)

    def PutSnapshot(self, channel: str, base: str, data: Buffer) -> None:
        """Replaces the channel's latest snapshot: data covers the stream up
        to entry base."""
        key = CheckChannelName(channel) + ":snapshot"
        self._Call("HSET", lambda: self._client.hset(
            key, mapping={b"base": base.encode("ascii"), b"frame": bytes(data)}))

    def GetSnapshotBase(self, channel: str) -> Optional[str]:
        """The entry id the latest snapshot covers, or None."""
        key = CheckChannelName(channel) + ":snapshot"
        base = cast(Optional[bytes], self._Call("HGET", lambda: self._client.hget(key, b"base")))
        return base.decode("ascii") if base is not None else None

    def GetSnapshot(self, channel: str) -> Optional[Tuple[str, bytes]]:
        """(base, frame bytes) of the latest snapshot, or None."""
        key = CheckChannelName(channel) + ":snapshot"
        base, frame = cast(List[Optional[bytes]], self._Call(
            "HMGET", lambda: self._client.hmget(key, [b"base", b"frame"])))
        if base is None or frame is None:
            return None
        return base.decode("ascii"), frame

    def Delete(self, channel: str) -> None:
        """Removes the channel's stream and snapshot."""
        key = CheckChannelName(channel)
        self._Call("DEL", lambda: self._client.delete(key, key + ":snapshot"))

    def Close(self) -> None:
        """Closes the connection to the server."""
        self._client.close()
