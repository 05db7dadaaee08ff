"""The Redis Streams transport, for peers on several machines.

A channel is one stream (key ``<prefix>{<channel>}:stream``), each frame
one entry with the field ``f``; a cursor is the id of the last entry read
(``"0"`` is the start), and reading is ``XREAD`` from there. The latest
snapshot is a hash (key ``<prefix>{<channel>}:snapshot``, fields ``base``
and ``frame``) written in one ``HSET``. The prefix is ``vela:`` unless
told otherwise: vela's keys keep apart from whatever else uses the server,
an ACL grants them by pattern (``~vela:*``, or ``~vela:{scene}:*`` for one
channel), and the braces put all keys of one channel in one hash slot of
a cluster, so that a script or a ``DEL`` may name them together.

A channel first written by a release that named its keys ``<channel>`` and
``<channel>:snapshot`` is moved to the new names, in one script, the first
time a transport uses it (with a log line), unless the new names are
taken already.

``Trim`` drops the entries before an id with ``XTRIM MINID`` (the entry
itself stays) and records the id in the snapshot hash's field ``trimmed``
first, in the same script; it only ever moves forward. Every read asks,
after its ``XREAD`` in the same round trip, for that field, so that a
cursor older than the trim point raises ChannelTrimmed; a cursor past the
last entry raises TransportError. A read that appends frames, or waits
for them, asks with a plain ``HGET``: it reads at least the frames it
appended, or those it waited for, unless its cursor lies past the end or
nothing came, which a second round trip then tells apart. A read that
neither appends nor waits asks, in a small script, for the stream's last
id too, since finding nothing is common there.

Commands go through ``vela.usd.client.resp``, a lean client of the Redis
protocol: a pull is one round trip of bytes packed here, its replies parsed
by hiredis when it is installed. ``RedisTransport`` takes the URL forms
redis-py does (``redis://``, ``rediss://``, ``unix://``, a user and
password, a database number); see ``resp.ParseUrl``.

A lost connection (a server restarted, a network gap) is retried, with
growing pauses, for up to ``retryFor`` seconds before TransportError: an
``XADD`` is sent again until the server takes it, so nothing published is
lost. Should the server have taken it before the connection dropped, the
frame is there twice; the session drops the copy by its sequence number.
The server must keep its data over a restart (``appendonly yes``) for the
stream to survive one.

A cluster (``redis+cluster://host:port,host:port/``, or any URL with
``cluster=True``) is served by ``vela.usd.client.redisCluster``: all keys
of a channel share its hash slot, so each exchange goes whole to the
master of that slot, and a failover is retried like a lost connection.

With ``replicas=N``, every exchange that appends frames ends its ``XADD``s
with ``WAIT N ms`` (ms from ``replicaTimeout``): it returns once the
frames reached N replicas, and raises TransportError, saying how many
did, when fewer acknowledged in time. The frames are on the master then
all the same; the session keeps them for its next send, and the copies
are dropped by their sequence numbers.

A refusal that no retry mends raises TransportRefused at once: a wrong
password or user (``WRONGPASS``, ``NOAUTH``), a command or key the user's
ACL does not grant (``NOPERM``, or a script's command refused), a command
the server does not know, a key of another type (``WRONGTYPE``), a TLS
certificate either side will not take. The URL's password never leaves
the transport: its repr, its log lines and its errors show the URL as
``resp.MaskUrl`` masks it (``display``).
"""

import logging
import re
import time
from typing import Any, Dict, List, Optional, Sequence, Tuple

from vela.usd.client import redisCluster, resp
from vela.usd.client.transport import (Buffer, ChannelTrimmed, CheckChannelName, Entry,
                                       TransportError, TransportRefused)

__all__ = ["RedisTransport"]

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


# KEYS: the old stream and snapshot, the new ones. Moves a channel kept
# under the old names, unless the new stream is there or the old key is
# not a stream of frames; 1 if it did.
_MigrateScript = """
if redis.call('EXISTS', KEYS[3]) == 1 or redis.call('TYPE', KEYS[1])['ok'] ~= 'stream' then
  return 0
end
local first = redis.call('XRANGE', KEYS[1], '-', '+', 'COUNT', 1)[1]
if first and first[2][1] ~= 'f' then return 0 end
redis.call('RENAME', KEYS[1], KEYS[3])
if redis.call('EXISTS', KEYS[2]) == 1 and redis.call('EXISTS', KEYS[4]) == 0 then
  redis.call('RENAME', KEYS[2], KEYS[4])
end
return 1
"""

DefaultPrefix = "vela:"

_KeyPrefix = re.compile(r"[A-Za-z0-9_.:-]*")


def _IdKey(text: str) -> Tuple[int, int]:
    # A stream id as numbers, to compare; "ms" alone is "ms-0".
    match = _EntryId.match(text) if isinstance(text, str) else None
    if not match:
        raise ValueError("bad cursor %r for a Redis channel" % (text,))
    return int(match.group(1)), int(match.group(2) or 0)


def _Bulk(data: bytes) -> bytes:
    return b"$%d\r\n%s\r\n" % (len(data), data)


class _ChannelCommands:
    """The packed commands of one channel, but for what changes per call:
    the hot path joins bytes and packs nothing."""

    __slots__ = ("channel", "append", "trimmed", "readCheck", "reads", "key", "snapshot",
                 "slot", "migrate", "oldNamesSeen")

    def __init__(self, prefix: str, channel: str) -> None:
        self.channel = channel
        old = channel.encode("ascii")
        tagged = b"%s{%s}:" % (prefix.encode("ascii"), old)
        key = tagged + b"stream"
        self.key = key
        self.slot = redisCluster.KeySlot(key)
        self.snapshot = tagged + b"snapshot"
        self.migrate = resp.PackCommand("EVAL", _MigrateScript, 4, old, old + b":snapshot", key,
                                        self.snapshot)
        # Whether a channel under the old key names was looked for.
        self.oldNamesSeen = False
        # XADD key * f <frame>: the frame's length, the frame, CRLF follow.
        self.append = b"*5\r\n$4\r\nXADD\r\n" + _Bulk(key) + b"$1\r\n*\r\n$1\r\nf\r\n$"
        self.trimmed = resp.PackCommand("HGET", self.snapshot, "trimmed")
        self.readCheck = resp.PackCommand("EVAL", _ReadCheckScript, 2, key, self.snapshot)
        self.reads: Dict[Tuple[int, Optional[int]], bytes] = {}

    def Append(self, data: Buffer) -> List[Buffer]:
        return [self.append, b"%d\r\n" % len(data), data, b"\r\n"]

    def Read(self, cursor: str, count: int, block: Optional[int]) -> bytes:
        # XREAD [BLOCK ms] COUNT n STREAMS key cursor
        head = self.reads.get((count, block))
        if head is None:
            args = [b"XREAD"] + ([b"BLOCK", b"%d" % block] if block is not None else []) + [
                b"COUNT", b"%d" % count, b"STREAMS", self.key]
            head = b"*%d\r\n" % (len(args) + 1) + b"".join(_Bulk(arg) for arg in args)
            if len(self.reads) < 64:
                self.reads[(count, block)] = head
        return head + _Bulk(cursor.encode("ascii"))


class _Loading(Exception):
    """The server is loading its data set: try again shortly."""


# Error replies that the same call would get again: authentication,
# permission (a script's command refused by the ACL says so in words of
# its own), an unknown command, a key of another type.
_Final = re.compile(r"^(?:[A-Z]+: )?(?:WRONGPASS|NOAUTH|NOPERM|WRONGTYPE|ERR unknown command"
                    r"|ERR unknown subcommand|ERR .*user executing the script can't)")


def _Refusal(what: str, where: str, error: Any) -> TransportError:
    # The error for an error reply: TransportRefused when it is final.
    text = str(error)
    if _Final.match(text):
        return TransportRefused("%s refused by %s: %s" % (what, where, text))
    return TransportError("%s on %s: %s" % (what, where, text))


def _Entries(reply: Any) -> List[Entry]:
    # XREAD's reply: per stream (a map in RESP3) its entries, each an id
    # and the flat list of its fields, in the common case just f <frame>.
    if not reply:
        return []
    streams = reply.values() if isinstance(reply, dict) else [items for _, items in reply]
    entries: List[Entry] = []
    for items in streams:
        entries += [(entryId.decode("ascii"), fields[1] if len(fields) == 2 and fields[0] == b"f"
                     else dict(zip(fields[::2], fields[1::2])).get(b"f", b""))
                    for entryId, fields in items]
    return entries


class RedisTransport:
    """Channels as streams on the Redis server at url
    (``redis://host:port/db``; see ``resp.ParseUrl`` for the other forms)."""

    name = "redis"

    def __init__(self, url: str, retryFor: float = 30.0, prefix: str = DefaultPrefix,
                 cluster: bool = False, replicas: int = 0,
                 replicaTimeout: float = 1.0) -> None:
        """A client of the server at url (it connects on the first call);
        retryFor is how long a lost connection is retried; prefix begins
        every key (letters, digits, '_', '.', ':', '-'). A cluster URL
        (``redis+cluster://``, ``rediss+cluster://``), or cluster True,
        makes url name the seed nodes of a cluster. With replicas, an
        append returns once that many replicas have the frames, waiting
        up to replicaTimeout seconds (more than 0) before TransportError.
        A URL, prefix or option that does not read raises ValueError.
        display is the URL as it may be shown, its passwords masked (url
        keeps them)."""
        if not isinstance(prefix, str) or not _KeyPrefix.fullmatch(prefix):
            raise ValueError("bad key prefix %r: use letters, digits, '_', '.', ':' and '-'"
                             % (prefix,))
        if type(replicas) is not int or replicas < 0:
            raise ValueError("replicas is a count of replicas, not %r" % (replicas,))
        if replicas and not (isinstance(replicaTimeout, (int, float)) and replicaTimeout > 0):
            raise ValueError("replicaTimeout is seconds, more than 0: %r" % (replicaTimeout,))
        self.url = url
        self.prefix = prefix
        self.retryFor = retryFor
        self.reconnects = 0
        self.cluster = bool(cluster) or redisCluster.IsClusterUrl(url)
        self.replicas = replicas
        self.replicaTimeout = replicaTimeout
        self._wait = resp.PackCommand("WAIT", replicas, max(1, int(replicaTimeout * 1000))) \
            if replicas else b""
        self._connection: Any = redisCluster.ClusterConnection(url, connectTimeout=2.0) \
            if self.cluster else resp.Connection(url, connectTimeout=2.0)
        # The URL as it may be shown: no password.
        self.display = resp.MaskUrl(url)
        self._channels: Dict[str, _ChannelCommands] = {}

    def __repr__(self) -> str:
        return "RedisTransport(%r)" % self.display

    def _Commands(self, channel: str) -> _ChannelCommands:
        commands = self._channels.get(channel)
        if commands is None:
            commands = self._channels[channel] = _ChannelCommands(self.prefix,
                                                                  CheckChannelName(channel))
            # The old names lie in other slots; no cluster ever held them.
            commands.oldNamesSeen = self.cluster
        return commands

    def _Migrated(self, commands: _ChannelCommands, reply: Any) -> None:
        # The reply of the script that moves a channel an older release kept
        # under the bare names <channel> and <channel>:snapshot. A server that
        # refuses the script (an ACL that grants vela's keys alone) shows no
        # such channel.
        commands.oldNamesSeen = True
        if reply == 1:
            _log.warning("channel %s on %s: moved from the keys %s and %s:snapshot to %s and %s",
                         commands.channel, self.display, commands.channel, commands.channel,
                         commands.key.decode("ascii"), commands.snapshot.decode("ascii"))
        elif isinstance(reply, resp.ReplyError):
            _log.debug("channel %s on %s: old key names not looked for: %s", commands.channel,
                       self.display, reply)

    def _Exchange(self, what: str, payload: bytes, count: int, errors: bool = False,
                  commands: Optional[_ChannelCommands] = None) -> List[Any]:
        # count commands in one round trip (their keys those of commands'
        # channel, in one hash slot), retried whole while the connection
        # fails, the server loads its data or the cluster fails over; their
        # replies. An error reply raises TransportError, or with errors stays
        # in the list; a refusal no retry mends raises TransportRefused at
        # once. The first exchange of a channel's commands moves the
        # channel from its old key names first, in the same round trip.
        migrate = commands is not None and not commands.oldNamesSeen
        if migrate:
            assert commands is not None
            payload, count = commands.migrate + payload, count + 1
        deadline = time.monotonic() + self.retryFor
        pause = 0.02
        while True:
            try:
                if self.cluster:
                    assert commands is not None
                    replies = self._connection.Exchange(payload, count, commands.slot)
                else:
                    replies = self._connection.Exchange(payload, count)
                if migrate:
                    assert commands is not None
                    self._Migrated(commands, replies[0])
                    del replies[0]
                for reply in replies:
                    if type(reply) is resp.ReplyError:
                        if str(reply).startswith("LOADING"):
                            raise _Loading(str(reply))
                        if not errors:
                            raise _Refusal(what, self.display, reply)
                return replies
            except resp.TlsRefused as error:
                raise TransportRefused("%s on %s: %s" % (what, self.display, error)) from None
            except (OSError, _Loading) as error:
                if time.monotonic() >= deadline:
                    raise TransportError("%s on %s failed for %.0f s: %s"
                                         % (what, self.display, self.retryFor, error)) from None
                _log.warning("%s on %s: %s; retrying", what, self.display, error)
                self.reconnects += 1
                self._connection.Close()
                time.sleep(pause)
                pause = min(pause * 2, 1.0)
            except resp.ReplyError as error:
                # AUTH or SELECT refused while connecting: no retry mends it.
                raise TransportRefused("%s refused by %s: %s"
                                       % (what, self.display, error)) from None

    def _Execute(self, what: str, commands: _ChannelCommands, *args: Any) -> Any:
        return self._Exchange(what, resp.PackCommand(*args), 1, commands=commands)[0]

    def _CheckReplicas(self, channel: str, acknowledged: int) -> None:
        if acknowledged < self.replicas:
            raise TransportError("channel %s on %s: %d of %d replicas acknowledged the frames "
                                 "within %g s" % (channel, self.display, acknowledged,
                                                  self.replicas, self.replicaTimeout))

    def Append(self, channel: str, data: Buffer) -> str:
        """Appends one frame to the channel's stream; returns its id. With
        replicas, fewer replicas acknowledging it in time raise
        TransportError (the frame is on the master all the same)."""
        commands = self._Commands(channel)
        payload = b"".join(commands.Append(data)) + self._wait
        replies = self._Exchange("XADD", payload, 2 if self.replicas else 1, commands=commands)
        if self.replicas:
            self._CheckReplicas(channel, replies[1])
        entryId: bytes = replies[0]
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
        frame may be there twice; sessions drop the copy. With replicas,
        fewer replicas acknowledging the frames in time raise
        TransportError."""
        commands = self._Commands(channel)
        if not isinstance(cursor, str) or not _EntryId.match(cursor):
            raise ValueError("bad cursor %r for a Redis channel" % (cursor,))
        block = max(1, int(blockMs)) if blockMs else None
        parts: List[Buffer] = []
        for data in frames:
            parts += commands.Append(data)
        count = len(frames)
        waits = 1 if count and self.replicas else 0
        if waits:
            parts.append(self._wait)
        parts.append(commands.Read(cursor, maxFrames, block))
        # The check comes after the XREAD: a trim that could have taken
        # frames from under it has recorded its point by then. A read that
        # appends, or waits, expects entries and asks only for the trim
        # point.
        expect = bool(count) or block is not None
        parts.append(commands.trimmed if expect else commands.readCheck)
        replies = self._Exchange("XADD and XREAD" if count else "XREAD", b"".join(parts),
                                 count + waits + 2, commands=commands)
        if waits:
            self._CheckReplicas(channel, replies[count])
        ids = [entryId.decode("ascii") for entryId in replies[:count]]
        reply, check = replies[count + waits:]
        trimmed, last = (check, None) if expect else check
        if trimmed is not None and _IdKey(cursor) < _IdKey(trimmed.decode("ascii")):
            return ids, [], cursor, trimmed.decode("ascii")
        entries = _Entries(reply)
        if not entries and _IdKey(cursor) != (0, 0):
            if expect:
                # Not even the frames just appended, or nothing came while
                # it waited: the last id, to tell a cursor past the end.
                _, last = self._Exchange("XREAD", commands.readCheck, 1, commands=commands)[0]
            if last is None or _IdKey(cursor) > _IdKey(last.decode("ascii")):
                raise TransportError("channel %s on %s: cursor %s is past the last entry (%s)"
                                     % (channel, self.display, cursor,
                                        "none" if last is None else last.decode("ascii")))
        return ids, entries, (entries[-1][0] if entries else cursor), None

    def Trim(self, channel: str, before: str) -> None:
        """Drops the entries before id before (XTRIM MINID: that entry
        stays), recording the trim point first; reads from an older cursor
        raise ChannelTrimmed. An id past the last entry raises
        TransportError; a trim point already further on is kept."""
        commands = self._Commands(channel)
        at = _IdKey(before)
        if at == (0, 0):
            return
        payload = resp.PackCommand("EVAL", _TrimScript, 2, commands.key, commands.snapshot,
                                   "%d-%d" % at)
        (reply,) = self._Exchange("XTRIM", payload, 1, errors=True, commands=commands)
        if isinstance(reply, resp.ReplyError):
            raise _Refusal("channel %s: trimming to %s" % (channel, before), self.display, reply)

    def HasPosition(self, channel: str, position: str) -> bool:
        """Whether position is "0", the id of an entry of the stream, or an
        id before the trim point."""
        commands = self._Commands(channel)
        try:
            at = _IdKey(position)
        except ValueError:
            return False
        if at == (0, 0):
            return True
        found, trimmed = self._Execute("XRANGE", commands, "EVAL", _HasIdScript, 2,
                                       commands.key, commands.snapshot, "%d-%d" % at)
        return bool(found) or (trimmed is not None and at < _IdKey(trimmed.decode("ascii")))

    def PutSnapshot(self, channel: str, base: str, data: Buffer) -> None:
        """Replaces the channel's latest snapshot: data covers the stream up
        to entry base."""
        commands = self._Commands(channel)
        self._Execute("HSET", commands, "HSET", commands.snapshot, "base", base,
                      "frame", data)

    def GetSnapshotBase(self, channel: str) -> Optional[str]:
        """The entry id the latest snapshot covers, or None."""
        commands = self._Commands(channel)
        base: Optional[bytes] = self._Execute("HGET", commands, "HGET", commands.snapshot,
                                              "base")
        return base.decode("ascii") if base is not None else None

    def GetSnapshot(self, channel: str) -> Optional[Tuple[str, bytes]]:
        """(base, frame bytes) of the latest snapshot, or None."""
        commands = self._Commands(channel)
        base, frame = self._Execute("HMGET", commands, "HMGET", commands.snapshot, "base",
                                    "frame")
        if base is None or frame is None:
            return None
        return base.decode("ascii"), frame

    def Delete(self, channel: str) -> None:
        """Removes the channel's stream and snapshot (its trim point with it)."""
        commands = self._Commands(channel)
        self._Execute("DEL", commands, "DEL", commands.key, commands.snapshot)

    def Close(self) -> None:
        """Closes the connection to the server (every node's, in a
        cluster); the next call connects again."""
        self._connection.Close()
