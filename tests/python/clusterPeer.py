"""One peer process of the cluster tests: a session on each of several
channels of a Redis cluster, publishing durably (replicas=1).

    python clusterPeer.py URL NAME PEERS CHANNELS FLAG RESULT

Every round adds the prim /NAME_r to each channel's layer and publishes it;
a publish that returned confirms every prim added since the last one that
returned (one that raised leaves its edits to the next). After round 3 it
prints "half"; once the file FLAG exists it runs ten rounds more, leaves
every channel, waits until every peer of PEERS has left each, and writes
RESULT (JSON): per channel the prims it confirmed, the root prims of its
layer and the layer as text.
"""

import json
import os
import sys
import time

from pxr import Sdf

from vela.usd.client import RedisTransport, Session, TransportError
from vela.usd.client.cli import NewSyncLayer as _Layer
from vela.usd.sync import round as syncRound


def main():
    url, name, peers, channels, flag, result = sys.argv[1:7]
    peers, channels = peers.split(","), channels.split(",")
    transport = RedisTransport(url, retryFor=60.0, replicas=1, replicaTimeout=0.5)
    sessions = {channel: Session(_Layer(channel), channel, transport, name=name,
                                 snapshotEvery=0) for channel in channels}
    pending = {channel: [] for channel in channels}
    confirmed = {channel: [] for channel in channels}
    failures = 0
    after = None
    r = 0
    while after is None or r < after:
        for channel, session in sessions.items():
            prim = "%s_%d" % (name, r)
            Sdf.CreatePrimInLayer(session.layer, "/" + prim).specifier = Sdf.SpecifierDef
            pending[channel].append(prim)
            try:
                session.Publish()
            except TransportError as error:
                print("publish failed: %s" % error, file=sys.stderr, flush=True)
                failures += 1
                continue
            confirmed[channel] += pending[channel]
            pending[channel] = []
        r += 1
        if r == 3:
            print("half", flush=True)
        if after is None and os.path.exists(flag):
            after = r + 10
        time.sleep(0.01)
    deadline = time.monotonic() + 120
    for session in sessions.values():
        # A master without a replica (while its old one is away) refuses
        # durable publishes; they are sent again until one returns.
        while True:
            try:
                if session.unsent:
                    session.Publish()
                else:
                    session.Leave()
                if not session.unsent:
                    break
            except TransportError as error:
                if time.monotonic() > deadline:
                    raise
                print("leave failed: %s" % error, file=sys.stderr, flush=True)
                time.sleep(0.1)
    for session in sessions.values():
        while not session.left.issuperset(peers):
            if time.monotonic() > deadline:
                raise SystemExit("peer %s: gave up waiting for the others" % name)
            session.Pull(blockMs=100)
    out = {"reconnects": transport.reconnects, "failures": failures, "rounds": r,
           "channels": {channel: {
               "confirmed": confirmed[channel],
               "prims": [prim.name for prim in session.layer.rootPrims],
               "text": syncRound.LayerText(session.layer)} for channel, session
               in sessions.items()}}
    with open(result, "w") as f:
        json.dump(out, f)
    transport.Close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
