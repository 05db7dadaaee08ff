"""Shared fixtures of the schema tests. They run in the usd-core
flavour's environment (.venv-usd: usd-core and vela built against it,
which installs the annotation package), never beside the split pxr-*
packages, and go through the doors a user has: `import vela.usd.annotation`
and Usd's own API."""

import importlib.util
import os
import subprocess
import sys

import pytest

# Without Usd (the split flavour's environment) the test module skips
# itself; the fixtures are never used.
if importlib.util.find_spec("pxr.Usd") is not None:
    # Before anything builds Usd's schema registry, as a host would.
    import vela.usd.annotation as annotation
    from pxr import Tf, Usd  # noqa: E402


@pytest.fixture
def api():
    return annotation.VelaAnnotationAPI


@pytest.fixture
def stage():
    return Usd.Stage.CreateInMemory()


@pytest.fixture
def prim(stage):
    return stage.DefinePrim("/World/Chair", "Xform")


@pytest.fixture
def diagnostics():
    """Runs a call under a Tf.DiagnosticTrap and returns its result and the
    commentary of the errors it posted (which the trap then drops)."""
    def run(call, *args):
        with Tf.DiagnosticTrap() as trap:
            result = call(*args)
            errors = [e.commentary for e in trap.GetErrors()]
            trap.Clear()
        return result, errors
    return run


@pytest.fixture
def python():
    """Runs a Python snippet in a fresh interpreter of this environment and
    returns its standard output; `env` entries are added to the
    environment."""
    def run(code, env=None):
        environ = dict(os.environ)
        environ.pop("PXR_PLUGINPATH_NAME", None)
        environ.update(env or {})
        done = subprocess.run([sys.executable, "-c", code], env=environ,
                              capture_output=True, text=True, timeout=120)
        assert done.returncode == 0, done.stderr
        return done.stdout
    return run
