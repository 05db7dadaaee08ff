"""A client of a Redis Cluster, for the Redis transport.

``ClusterConnection`` stands where ``resp.Connection`` stands for one
server: ``Exchange(payload, count, slot)`` sends packed commands whose keys
all lie in hash slot ``slot`` (``KeySlot`` of any of them) to the master
that serves it and returns their replies. It keeps one ``resp.Connection``
per node and the slot map it read with ``CLUSTER SLOTS`` from a seed node
(or any node it has heard of since).

A ``MOVED`` reply means the map is stale: the slot's new owner is noted, the
map read again before the next exchange, and the payload sent again there.
The commands answered ``ASK`` (their keys gone already from a slot half
way through a migration) go once to the node named, each after an
``ASKING``. A connection that
fails, and the replies ``CLUSTERDOWN`` and ``TRYAGAIN``, raise
``resp.ConnectionLost`` with the map marked stale: the transport retries
the exchange within its retry window, and the retry reads the map again
from any node that answers, which is how a master's failover (its replica
promoted) is followed. A payload sent again may have been carried out once
already (an ``XADD`` taken before the connection dropped); the session
drops the copy.

A cluster is named by ``redis+cluster://[user:password@]host:port[,host:
port...][/][?options]`` (``rediss+cluster://`` for TLS): the seeds, and the
user, password and query options (``resp.ParseUrl``'s) of every node
connection. A cluster has database 0 alone.
"""

import threading
from typing import Any, Dict, List, Optional, Sequence, Tuple
from urllib.parse import unquote

from vela.usd.client import resp

__all__ = ["ClusterConnection", "ClusterUrl", "IsClusterUrl", "KeySlot", "ParseClusterUrl",
           "Slots"]

Slots = 16384

_Schemes = {"redis+cluster": "redis", "rediss+cluster": "rediss"}

# Redirections one exchange follows before it gives up (as a lost
# connection, which the transport retries).
_MaxRedirects = 5


def _CrcTable() -> List[int]:
    table = []
    for byte in range(256):
        crc = byte << 8
        for _ in range(8):
            crc = ((crc << 1) ^ 0x1021) if crc & 0x8000 else crc << 1
        table.append(crc & 0xFFFF)
    return table


_Crc = _CrcTable()


def KeySlot(key: bytes) -> int:
    """The hash slot of key: CRC16 (XMODEM) of the key, or of its hash tag
    (what lies between the first '{' and the next '}', when not empty),
    modulo 16384."""
    start = key.find(b"{")
    if start >= 0:
        end = key.find(b"}", start + 1)
        if end > start + 1:
            key = key[start + 1:end]
    crc = 0
    for byte in key:
        crc = ((crc << 8) & 0xFFFF) ^ _Crc[(crc >> 8) ^ byte]
    return crc % Slots


def IsClusterUrl(url: Any) -> bool:
    """Whether url names a cluster (``redis+cluster://``, ``rediss+cluster://``)."""
    return isinstance(url, str) and url.split("://", 1)[0].lower() in _Schemes


def ClusterUrl(url: str) -> str:
    """url as a cluster URL: ``host:port,host:port`` and ``redis://`` forms
    get the cluster scheme; a cluster URL stays as it is."""
    if IsClusterUrl(url):
        return url
    if "://" not in url:
        return "redis+cluster://" + url
    scheme, rest = url.split("://", 1)
    return "%s+cluster://%s" % (scheme.lower(), rest)


def _HostPort(text: str, url: str) -> Tuple[str, int]:
    if text.startswith("["):  # [IPv6]:port
        host, _, port = text[1:].partition("]")
        port = port[1:] if port.startswith(":") else ""
    else:
        host, _, port = text.rpartition(":") if ":" in text else (text, "", "")
    try:
        number = int(port) if port else 6379
    except ValueError:
        raise ValueError("bad port in Redis cluster URL %r" % resp.MaskUrl(url)) from None
    if not host or not 0 < number < 65536:
        raise ValueError("bad node %r in Redis cluster URL %r" % (text, resp.MaskUrl(url)))
    return unquote(host), number


def ParseClusterUrl(url: str) -> Tuple[List[Tuple[str, int]], str, str, str]:
    """(seeds as (host, port), and of a node's URL its scheme, what comes
    before host:port after the scheme, what follows it) of a cluster URL;
    one that does not read, or names a database other than 0, raises
    ValueError."""
    if not IsClusterUrl(url):
        raise ValueError("a Redis cluster URL starts with redis+cluster:// or "
                         "rediss+cluster://: %r" % (resp.MaskUrl(url),))
    scheme, rest = url.split("://", 1)
    cut = min([i for i in (rest.find("/"), rest.find("?")) if i >= 0] or [len(rest)])
    netloc, tail = rest[:cut], rest[cut:]
    userinfo, _, hosts = netloc.rpartition("@")
    path, _, query = tail.partition("?")
    if path.strip("/") not in ("", "0"):
        raise ValueError("a Redis cluster has database 0 alone: %r" % resp.MaskUrl(url))
    seeds = [_HostPort(part, url) for part in hosts.split(",") if part]
    if not seeds:
        raise ValueError("a Redis cluster URL names at least one node: %r" % resp.MaskUrl(url))
    prefix = (userinfo + "@") if userinfo else ""
    suffix = "/0" + ("?" + query if query else "")
    # Every option is read once here, so that a bad one fails at once.
    address = resp.ParseUrl("%s://%s%s:%d%s" % (_Schemes[scheme.lower()], prefix, "h", 1,
                                                suffix))
    if address.db:
        raise ValueError("a Redis cluster has database 0 alone: %r" % resp.MaskUrl(url))
    return seeds, _Schemes[scheme.lower()], prefix, suffix


def _SplitCommands(payload: bytes, count: int) -> List[bytes]:
    # The packed commands of payload, each an array of bulk strings.
    commands, at = [], 0
    for _ in range(count):
        end = payload.index(b"\r\n", at)
        args = int(payload[at + 1:end])
        cursor = end + 2
        for _ in range(args):
            end = payload.index(b"\r\n", cursor)
            cursor = end + 2 + int(payload[cursor + 1:end]) + 2
        commands.append(payload[at:cursor])
        at = cursor
    return commands


_Asking = resp.PackCommand("ASKING")


def _Redirect(reply: resp.ReplyError) -> Tuple[str, int, Tuple[str, int]]:
    # "MOVED 3999 127.0.0.1:6381": (kind, slot, (host, port)).
    kind, slot, where = str(reply).split()[:3]
    host, _, port = where.rpartition(":")
    return kind, int(slot), (host.strip("[]"), int(port))


class ClusterConnection:
    """Connections to the nodes of one cluster, routing each exchange by
    hash slot to the master serving it."""

    def __init__(self, url: str, connectTimeout: Optional[float] = 2.0) -> None:
        """A client of the cluster at url (``redis+cluster://host:port,...``;
        a plain ``redis://`` or ``rediss://`` URL names one seed); it reads
        the slot map on the first exchange. A URL that does not read
        raises ValueError."""
        self.url = url
        self.seeds, self._scheme, self._userinfo, self._tail = ParseClusterUrl(ClusterUrl(url))
        self._connectTimeout = connectTimeout
        self._nodes: Dict[Tuple[str, int], resp.Connection] = {}
        # The master of every slot, None where no node serves it.
        self._slots: List[Optional[Tuple[str, int]]] = [None] * Slots
        self._stale = True
        self._lock = threading.Lock()
        self.refreshes = 0
        self.redirects = 0

    def __repr__(self) -> str:
        return "ClusterConnection(%s)" % ",".join("%s:%d" % seed for seed in self.seeds)

    @property
    def connected(self) -> bool:
        """Whether a socket to any node is open."""
        return any(node.connected for node in self._nodes.values())

    def NodeUrl(self, node: Tuple[str, int]) -> str:
        """The URL of one node, with the cluster URL's credentials and
        options."""
        host = "[%s]" % node[0] if ":" in node[0] else node[0]
        return "%s://%s%s:%d%s" % (self._scheme, self._userinfo, host, node[1], self._tail)

    def _Node(self, node: Tuple[str, int]) -> resp.Connection:
        connection = self._nodes.get(node)
        if connection is None:
            connection = resp.Connection(self.NodeUrl(node), self._connectTimeout)
            self._nodes[node] = connection
        return connection

    def MasterOf(self, slot: int) -> Optional[Tuple[str, int]]:
        """The node serving slot as the map has it (read first if stale)."""
        if self._stale:
            self.Refresh()
        return self._slots[slot]

    def Refresh(self) -> None:
        """Reads the slot map from the first node that answers: the
        masters known, then the seeds, then the other nodes known. None
        answering raises resp.ConnectionLost; every node refusing this
        client raises the refusal (resp.ReplyError, or resp.TlsRefused for
        certificates), which no retry mends."""
        with self._lock:
            masters = [node for node in dict.fromkeys(self._slots) if node is not None]
            others = [node for node in self._nodes if node not in masters]
            errors = []
            refused: List[Exception] = []
            for node in dict.fromkeys(masters + list(self.seeds) + others):
                try:
                    reply = self._Node(node).Execute("CLUSTER", "SLOTS")
                except (resp.ReplyError, resp.TlsRefused) as error:
                    refused.append(error)
                    errors.append("%s:%d: %s" % (node[0], node[1], error))
                    continue
                except OSError as error:
                    errors.append("%s:%d: %s" % (node[0], node[1], error))
                    continue
                self._Read(reply, node)
                return
            # Every node refusing this client (its credentials, its
            # certificate, or theirs) will refuse it again: that is final.
            if refused and len(refused) == len(errors):
                replies = [error for error in refused if isinstance(error, resp.ReplyError)]
                if replies:
                    raise replies[0]
                raise resp.TlsRefused("every node of the cluster: %s" % "; ".join(errors))
            raise resp.ConnectionLost("no node of the cluster answers: %s" % "; ".join(errors))

    def _Read(self, reply: Sequence[Any], source: Tuple[str, int]) -> None:
        # CLUSTER SLOTS: [start, end, master, replica...], each node
        # [ip, port, id, ...]; an empty ip is the node asked.
        slots: List[Optional[Tuple[str, int]]] = [None] * Slots
        for entry in reply:
            start, end, master = entry[0], entry[1], entry[2]
            host = master[0].decode("utf-8") if master[0] else source[0]
            node = (host, int(master[1]))
            slots[start:end + 1] = [node] * (end + 1 - start)
        self._slots = slots
        self._stale = False
        self.refreshes += 1
        serving = set(slots)
        for node in [node for node in self._nodes if node not in serving]:
            self._nodes.pop(node).Close()

    def SetSlotOwner(self, slot: int, node: Tuple[str, int]) -> None:
        """Records that node serves slot (as a MOVED reply says)."""
        self._slots[slot] = node

    def Exchange(self, payload: bytes, count: int, slot: int) -> List[Any]:
        """Sends payload (count packed commands, every key in slot) to the
        master of slot and returns their replies, error replies as
        ReplyError values, following MOVED and ASK. A failed connection,
        CLUSTERDOWN, TRYAGAIN or a slot no node serves raise
        resp.ConnectionLost with the map marked stale."""
        node = self.MasterOf(slot)
        replies = self._Send(node, slot, payload, count)
        for _ in range(_MaxRedirects):
            redirects = [(i, _Redirect(reply)) for i, reply in enumerate(replies)
                         if type(reply) is resp.ReplyError
                         and str(reply).startswith(("MOVED ", "ASK "))]
            if not redirects:
                return replies
            self.redirects += 1
            index, (kind, movedSlot, node) = redirects[0]
            if kind == "MOVED":
                # The slot lives elsewhere now: nothing ran, all goes there.
                self.SetSlotOwner(movedSlot, node)
                self._stale = True
                replies = self._Send(node, slot, payload, count)
                continue
            # A slot being migrated: the commands whose keys have left
            # already go, each after ASKING, to the node importing it; the
            # others ran where they were.
            asked = [i for i, (what, _, _) in redirects if what == "ASK"]
            commands = _SplitCommands(payload, count)
            answers = self._Send(node, slot, b"".join(_Asking + commands[i] for i in asked),
                                 2 * len(asked))[1::2]
            replies = list(replies)
            for i, answer in zip(asked, answers):
                replies[i] = answer
        self._stale = True
        raise resp.ConnectionLost("slot %d: more than %d redirections" % (slot, _MaxRedirects))

    def _Send(self, node: Optional[Tuple[str, int]], slot: int, payload: bytes,
              count: int) -> List[Any]:
        # One exchange with node; a failure, or a reply saying the cluster
        # cannot serve the slot now, raises ConnectionLost.
        if node is None:
            self._stale = True
            raise resp.ConnectionLost("no node of the cluster serves slot %d" % slot)
        try:
            replies = self._Node(node).Exchange(payload, count)
        except OSError:
            self._stale = True
            raise
        for reply in replies:
            if type(reply) is resp.ReplyError and str(reply).startswith(("CLUSTERDOWN",
                                                                          "TRYAGAIN")):
                self._stale = True
                raise resp.ConnectionLost("%s:%d: %s" % (node[0], node[1], reply))
        return replies

    def Nodes(self) -> List[Tuple[str, int]]:
        """The masters of the map (read first if stale), in slot order."""
        if self._stale:
            self.Refresh()
        return [node for node in dict.fromkeys(self._slots) if node is not None]

    def Close(self) -> None:
        """Closes every node connection; the map is read again on the next
        exchange."""
        for connection in list(self._nodes.values()):
            connection.Close()
        self._stale = True
