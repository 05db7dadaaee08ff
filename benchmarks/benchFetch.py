"""The HTTP store as the resolver's fetch callback, measured: a layer whose
prims reference assets that only an HTTP server on loopback has, composed
prim by prim on one thread beside OpenUSD's parallel prim indexing
(ComputePrimIndexesInParallel), each into an empty cache directory.

    bash scripts/bench.sh fetch [--assets N] [--megabytes M] [--latency S]
                                [--workers N] [--runs N]

The server (tests/python/fetchServers.py, a process of its own) waits
--latency seconds before it answers each GET, as a distant store would;
without that wait loopback hides what parallel fetches save. Each asset is
a .usda layer padded to --megabytes.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

from pxr import Ar, Pcp, Sdf, Work

import vela.usd.resolve as resolve

_Servers = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "python",
                        "fetchServers.py")
_Prefix = "bench"


def WriteAssets(root, count, megabytes):
    """count assets of about megabytes each under root/bench/assets; their
    asset paths."""
    padding = "#" + "x" * 1023 + "\n"
    body = padding * (int(megabytes * 1024 * 1024) // len(padding))
    paths = []
    for i in range(count):
        path = "assets/asset%02d.usda" % i
        target = os.path.join(root, _Prefix, path)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        with open(target, "w") as f:
            f.write('#usda 1.0\n(\n    defaultPrim = "Asset"\n)\n'
                    'def Xform "Asset"\n{\n    def Xform "Geom%d"\n    {\n    }\n}\n' % i)
            f.write(body)
        paths.append(path)
    return paths


def Scene(paths):
    root = Sdf.Layer.CreateAnonymous("bench.usda")
    world = Sdf.CreatePrimInLayer(root, "/World")
    world.specifier = Sdf.SpecifierDef
    for i, path in enumerate(paths):
        Sdf.PrimSpec(world, "Ref%02d" % i, Sdf.SpecifierDef).referenceList.Append(
            Sdf.Reference(path))
    return root


def Compose(root, cacheDir, count, parallel):
    """Seconds to compose /World/RefNN into the new cache directory."""
    os.makedirs(cacheDir)
    context = Ar.ResolverContext(resolve.ResolverContext(_Prefix, cacheDir))
    cache = Pcp.Cache(Pcp.LayerStackIdentifier(root, None, context))
    start = time.perf_counter()
    if parallel:
        errors = resolve.ComputePrimIndexesInParallel(cache, ["/World"])
    else:
        errors = []
        for i in range(count):
            errors += [str(e) for e in cache.ComputePrimIndex("/World/Ref%02d" % i)[1]]
    elapsed = time.perf_counter() - start
    for i in range(count):
        children = cache.FindPrimIndex("/World/Ref%02d" % i).ComputePrimChildNames()[0]
        if errors or list(children) != ["Geom%d" % i]:
            raise SystemExit("composition failed: %s" % (errors or children))
    return elapsed


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--assets", type=int, default=32)
    parser.add_argument("--megabytes", type=float, default=1.0)
    parser.add_argument("--latency", type=float, default=0.02)
    parser.add_argument("--workers", type=int, default=32,
                        help="OpenUSD's worker threads for the parallel indexing")
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args(argv)

    work = tempfile.mkdtemp(prefix="vela-bench-fetch-")
    server = None
    try:
        paths = WriteAssets(os.path.join(work, "store"), args.assets, args.megabytes)
        server = subprocess.Popen([sys.executable, _Servers, os.path.join(work, "store"),
                                   "--latency", str(args.latency)],
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        url = server.stdout.readline().strip()
        resolve.SetOnFetchCallback(resolve.HttpStore(url))
        Work.SetConcurrencyLimit(args.workers)
        root = Scene(paths)
        # Every composition has a cache directory of its own, so each one
        # fetches every asset again.
        print("%d assets of %.1f MB from an HTTP store on loopback that waits %.0f ms per "
              "GET; parallel indexing with Work.SetConcurrencyLimit(%d) on %d cores"
              % (args.assets, args.megabytes, args.latency * 1000, args.workers,
                 os.cpu_count()))
        ratios = []
        for run in range(args.runs):
            serial = Compose(root, os.path.join(work, "serial%d" % run), args.assets, False)
            parallel = Compose(root, os.path.join(work, "parallel%d" % run), args.assets, True)
            ratios.append(parallel / serial)
            print("run %d: serial %.3f s (%.1f ms per asset), parallel %.3f s, "
                  "parallel/serial %.2f" % (run + 1, serial, serial * 1000 / args.assets,
                                            parallel, parallel / serial))
        print("parallel/serial over %d runs: %.2f-%.2f (goal: at most 0.30)"
              % (args.runs, min(ratios), max(ratios)))
    finally:
        if server:
            server.stdin.close()
            server.wait(timeout=30)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
