"""The Redis Streams transport, for peers on several machines.

A channel is one stream (key ``<channel>``), each frame one entry with the
field ``f``; a cursor is the id of the last entry read (``"0"`` is the
start), and reading is ``XREAD`` from there. The latest snapshot is a hash
(key ``<channel>:snapshot``, fields ``base`` and ``frame``) written in one
``HSET``.

``Trim`` drops the entries before an id with ``XTRIM MINID`` (the entry
itself stays) and records the id in the snapshot hash's field ``trimmed``
first, in the same script; it only ever moves forward. Each read asks, in
the same pipeline after its ``XREAD``, for that field and the stream's last
id, so that a cursor older than the trim point raises ChannelTrimmed and a
cursor past the last entry raises TransportError, at no extra round trip.

A lost connection (a server restarted, a network gap) is retried, with
growing pauses, for up to ``retryFor`` seconds before TransportError: an
``XADD`` is sent again until the server takes it, so nothing published is
lost. Should the server have taken it before the connection dropped, the
frame is there twice; the session drops the copy by its sequence number.
The server must keep its data over a restart (``appendonly yes``) for the
stream to survive one.
"""

import logging
import re
import time
from typing import Any, Callable, List, Optional, Sequence, Tuple, TypeVar, cast

from vela.usd.client.transport import (Buffer, ChannelTrimmed, CheckChannelName, Entry,
                                       TransportError)

__all__ = ["RedisTransport"]

_T = TypeVar("_T")
# redis-py types its replies loosely (text or bytes, sync or async); a
# client made without decode_responses gets bytes, and the casts say so.

_log = logging.getLogger("vela.usd.client")

_EntryId = re.compile(r"^([0-9]+)(?:-([0-9]+))?$")

# Stream ids compared in a script: their parts are decimal texts without
# leading zeros, compared by length first (they may not fit Lua's numbers).
_CompareIds = """
local function Less(a, b)
  if #a ~= #b then return #a < #b end
  return a < b
end
local function Before(a, b)
  local am, as = string.match(a, '^(%d+)-(%d+)$')
  local bm, bs = string.match(b, '^(%d+)-(%d+)$')
  if am ~= bm then return Less(am, bm) end
  return Less(as, bs)
end
"""

# KEYS: stream, snapshot hash; ARGV: the id to trim before. The trim point
# is recorded before anything goes, and never moves back.
_TrimScript = _CompareIds + """
local last = redis.call('XREVRANGE', KEYS[1], '+', '-', 'COUNT', 1)[1]
if not last or Before(last[1], ARGV[1]) then
  return redis.error_reply('past the last entry')
end
local trimmed = redis.call('HGET', KEYS[2], 'trimmed')
if trimmed and not Before(trimmed, ARGV[1]) then return 0 end
redis.call('HSET', KEYS[2], 'trimmed', ARGV[1])
return redis.call('XTRIM', KEYS[1], 'MINID', ARGV[1])
"""

# KEYS: stream, snapshot hash. The trim point and the last id, without the
# last entry's frame.
_ReadCheckScript = """
local last = redis.call('XREVRANGE', KEYS[1], '+', '-', 'COUNT', 1)[1]
return {redis.call('HGET', KEYS[2], 'trimmed'), last and last[1] or false}
"""

# KEYS: stream, snapshot hash; ARGV: an id. Whether the entry is there,
# and the trim point.
_HasIdScript = """
local found = redis.call('XRANGE', KEYS[1], ARGV[1], ARGV[1], 'COUNT', 1)
return {#found, redis.call('HGET', KEYS[2], 'trimmed')}
"""


def _IdKey(text: str) -> Tuple[int, int]:
    # A stream id as numbers, to compare; "ms" alone is "ms-0".
    match = _EntryId.match(text) if isinstance(text, str) else None
    if not match:
        raise ValueError("bad cursor %r for a Redis channel" % (text,))
    return int(match.group(1)), int(match.group(2) or 0)


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
        entry. A cursor older than the trim point raises ChannelTrimmed,
        one past the last entry TransportError."""
        _, entries, newCursor, trimmed = self.AppendAndRead(channel, (), cursor, maxFrames,
                                                            blockMs)
        if trimmed is not None:
            raise ChannelTrimmed(channel, trimmed)
        return entries, newCursor

    def AppendAndRead(self, channel: str, frames: Sequence[Buffer], cursor: str,
                      maxFrames: int = 256, blockMs: float = 0
                      ) -> Tuple[List[str], List[Entry], str, Optional[str]]:
        """Appends frames, then reads after cursor, in one round trip:
        (their ids, entries, newCursor, trimmed). trimmed is the trim point
        when cursor is older than it (nothing was read then), else None;
        the frames are appended either way. A cursor past the last entry
        raises TransportError. Retried whole on a lost connection, so a
        frame may be there twice; sessions drop the copy."""
        key = CheckChannelName(channel)
        at = _IdKey(cursor)
        block = max(1, int(blockMs)) if blockMs else None
        datas = [bytes(data) for data in frames]

        def Run() -> List[Any]:
            # The check runs after the XREAD: a trim that could have taken
            # frames from under it has recorded its point by then.
            pipe = self._client.pipeline(transaction=False)
            for data in datas:
                pipe.xadd(key, {b"f": data})
            pipe.xread({key: cursor}, count=maxFrames, block=block)
            pipe.eval(_ReadCheckScript, 2, key, key + ":snapshot")
            return cast(List[Any], pipe.execute())

        replies = self._Call("XADD and XREAD" if datas else "XREAD", Run)
        ids = [cast(bytes, entryId).decode("ascii") for entryId in replies[:len(datas)]]
        reply, (trimmed, last) = replies[len(datas):]
        if trimmed is not None and at < _IdKey(trimmed.decode("ascii")):
            return ids, [], cursor, trimmed.decode("ascii")
        entries: List[Entry] = []
        for _, items in reply or ():
            for entryId, fields in items:
                entries.append((entryId.decode("ascii"), fields.get(b"f", b"")))
        if not entries and at != (0, 0) and (last is None or at > _IdKey(last.decode("ascii"))):
            raise TransportError("channel %s on %s: cursor %s is past the last entry (%s)"
                                 % (channel, self.url, cursor,
                                    "none" if last is None else last.decode("ascii")))
        return ids, entries, (entries[-1][0] if entries else cursor), None

    def Trim(self, channel: str, before: str) -> None:
        """Drops the entries before id before (XTRIM MINID: that entry
        stays), recording the trim point first; reads from an older cursor
        raise ChannelTrimmed. An id past the last entry raises
        TransportError; a trim point already further on is kept."""
        key = CheckChannelName(channel)
        at = _IdKey(before)
        if at == (0, 0):
            return
        try:
            self._Call("XTRIM", lambda: self._client.eval(
                _TrimScript, 2, key, key + ":snapshot", "%d-%d" % at))
        except self._redis.ResponseError as error:
            raise TransportError("channel %s on %s: cannot trim to %s: %s"
                                 % (channel, self.url, before, error)) from None

    def HasPosition(self, channel: str, position: str) -> bool:
        """Whether position is "0", the id of an entry of the stream, or an
        id before the trim point."""
        key = CheckChannelName(channel)
        try:
            at = _IdKey(position)
        except ValueError:
            return False
        if at == (0, 0):
            return True
        found, trimmed = cast(List[Any], self._Call("XRANGE", lambda: self._client.eval(
            _HasIdScript, 2, key, key + ":snapshot", "%d-%d" % at)))
        return bool(found) or (trimmed is not None and at < _IdKey(trimmed.decode("ascii")))

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
        """Removes the channel's stream and snapshot (its trim point with it)."""
        key = CheckChannelName(channel)
        self._Call("DEL", lambda: self._client.delete(key, key + ":snapshot"))

    def Close(self) -> None:
        """Closes the connection to the server."""
        self._client.close()
