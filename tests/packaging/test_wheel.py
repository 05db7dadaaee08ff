"""vela as a user installs it, in both flavours: pip builds a wheel with
build isolation from a clean copy of the sources (no build/, no .venv*),
the wheel goes into a fresh virtual environment with its dependencies, and
the packages import there beside pxr. Nothing here imports vela or pxr
itself; each case builds from scratch, which takes minutes."""

import json
import os
import shutil
import subprocess
import sys

import pytest

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
# The interpreter the test environment was made from, to make fresh ones.
BASE_PYTHON = getattr(sys, "_base_executable", sys.executable)

# What each flavour's fresh environment must hold (the usd-core flavour's
# nothing else besides pip and setuptools), and the packages a user imports
# there.
FLAVOURS = {
    "split": {
        "version": "0.1.0",
        "installed": {"velahub-sdk", "pxr-tf", "pxr-vt", "pxr-gf", "pxr-sdf", "pxr-ar",
                      "pxr-plug", "pxr-pcp", "pxr-boost", "pxr-arch", "pxr-js", "pxr-trace",
                      "pxr-ts", "pxr-work", "pxr-tbb"},
        "imports": ["vela", "vela.usd.sync", "vela.usd.resolve", "vela.usd.client"],
    },
    "usd-core": {
        "version": "0.1.0+usdcore.26.8",
        "installed": {"velahub-sdk", "usd-core"},
        "imports": ["vela", "vela.usd.sync", "vela.usd.resolve", "vela.usd.client",
                    "vela.usd.annotation"],
    },
}

# Run in the fresh environment: every package imports in one interpreter,
# a sync layer records an edit, and (with Usd) the schema is registered.
_USE = """
import importlib, sys
for name in sys.argv[1:]:
    importlib.import_module(name)
from pxr import Sdf
layer = Sdf.Layer.CreateAnonymous("check.vela")
Sdf.CreatePrimInLayer(layer, "/World")
import vela.usd.sync as sync
print(layer.GetFileFormat().formatId,
      "/World" in [op.nodePath for op in sync.SyncData.GetLayerUpdates(layer)])
if "vela.usd.annotation" in sys.modules:
    from pxr import Usd
    print(Usd.SchemaRegistry().FindAppliedAPIPrimDefinition("VelaAnnotationAPI") is not None)
"""


def _CleanCopy(target):
    """The sources as a checkout has them: tracked and untracked files that
    git does not ignore (so no build/, .venv*, dist/)."""
    if os.path.isdir(os.path.join(REPO, ".git")) or os.path.isfile(os.path.join(REPO, ".git")):
        listed = subprocess.run(
            ["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
            cwd=REPO, check=True, capture_output=True).stdout.decode().split("\0")
        for name in filter(None, listed):
            source = os.path.join(REPO, name)
            if not os.path.isfile(source):   # deleted, not yet committed
                continue
            os.makedirs(os.path.dirname(os.path.join(target, name)), exist_ok=True)
            shutil.copy2(source, os.path.join(target, name))
    else:
        shutil.copytree(REPO, target, dirs_exist_ok=True, ignore=shutil.ignore_patterns(
            "build", ".venv*", "dist", "__pycache__", ".git"))


def _Run(args, env=None, cwd=None, timeout=600):
    done = subprocess.run(args, env=env, cwd=cwd, capture_output=True, text=True,
                          timeout=timeout)
    assert done.returncode == 0, "{}\n{}\n{}".format(" ".join(args), done.stdout[-6000:],
                                                     done.stderr[-6000:])
    return done.stdout


@pytest.mark.parametrize("flavour", FLAVOURS)
def test_WheelBuiltInIsolationInstallsAndImportsBesidePxr(flavour, tmp_path):
    expected = FLAVOURS[flavour]
    source, dist, env = tmp_path / "src", tmp_path / "dist", tmp_path / "venv"
    _CleanCopy(source)
    assert not (source / "build").exists() and not list(source.glob(".venv*"))
    _Run([BASE_PYTHON, "-m", "venv", str(env)])
    python = str(env / "bin" / "python")

    # Nothing of this checkout's environments reaches the build.
    environ = {k: v for k, v in os.environ.items()
               if not k.startswith(("VELA_", "PYTHON", "CMAKE_PREFIX_PATH", "VIRTUAL_ENV"))}
    environ["CMAKE_BUILD_PARALLEL_LEVEL"] = "2"
    if flavour != "split":
        environ["VELA_USD_FLAVOUR"] = flavour
    _Run([python, "-m", "pip", "wheel", "--no-deps", "-w", str(dist), str(source)],
         env=environ, timeout=1800)
    wheels = sorted(dist.glob("*.whl"))
    assert [w.name.split("-")[1] for w in wheels] == [expected["version"]]

    # The wheel and its dependencies, from the registries, and nothing that
    # only the build needed (-dev packages, TBB headers).
    environ.pop("VELA_USD_FLAVOUR", None)
    _Run([python, "-m", "pip", "install", str(wheels[0])], env=environ, timeout=1200)
    _Run([python, "-m", "pip", "check"], env=environ)
    installed = {p["name"].lower() for p in json.loads(
        _Run([python, "-m", "pip", "list", "--format=json"], env=environ))}
    assert expected["installed"] <= installed
    assert not {name for name in installed if name.endswith("-dev") or "tbb-devel" in name}
    if flavour == "usd-core":
        assert installed - {"pip", "setuptools"} == expected["installed"]
    else:
        assert "usd-core" not in installed

    out = _Run([python, "-c", _USE, *expected["imports"]], env=environ, cwd=tmp_path)
    lines = out.split("\n")
    assert lines[0] == "vela True"
    if flavour == "usd-core":
        assert lines[1] == "True"

    # A whole sync round between two peers, through the installed package.
    out = _Run([python, "-m", "vela.usd.sync.round"], env=environ, cwd=tmp_path)
    assert "peer B matches peer A" in out
