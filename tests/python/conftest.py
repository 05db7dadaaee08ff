"""Shared fixtures of the Python tests. They run against the installed
package, through the same doors a client uses: `import vela.usd.sync` and
OpenUSD's Sdf API."""

import importlib.util
import os
import re

import pytest
from pxr import Plug, Sdf

# The suite runs in either flavour's environment: the split packages' pxr
# has no Usd, usd-core's has.
HAS_USD = importlib.util.find_spec("pxr.Usd") is not None

# Metadata fields of list-op types that plain Sdf does not declare, so that
# the tests can author them on real prims; and, without Usd, "apiSchemas",
# which Usd's own plug-in declares (declaring it twice is an error).
_metadata = os.path.join(os.path.dirname(os.path.abspath(__file__)), "metadata")
Plug.Registry().RegisterPlugins(os.path.join(_metadata, "lists"))
if not HAS_USD:
    Plug.Registry().RegisterPlugins(os.path.join(_metadata, "apiSchemas"))

import vela.usd.sync  # noqa: E402  (after the metadata plug-in, as a host would)
from vela.usd.client import jsonForm  # noqa: E402


def pytest_configure(config):
    config.addinivalue_line(
        "markers", "usdCoreOnly: the test needs vela's usd-core flavour (OpenUSD's Usd)")
    config.addinivalue_line(
        "markers", "splitOnly: the test is about vela's split flavour (no Usd)")


def pytest_collection_modifyitems(config, items):
    """Skips the tests of the other flavour, saying which flavour they need."""
    for item in items:
        if not HAS_USD and item.get_closest_marker("usdCoreOnly"):
            item.add_marker(pytest.mark.skip(
                reason="usd-core flavour only: the split packages have no Usd"))
        if HAS_USD and item.get_closest_marker("splitOnly"):
            item.add_marker(pytest.mark.skip(
                reason="split flavour only: this environment has usd-core"))


@pytest.fixture
def sync():
    return vela.usd.sync


@pytest.fixture
def syncLayer(sync):
    """A new anonymous sync layer with nothing pending."""
    def make(name="test.vela"):
        layer = Sdf.Layer.CreateAnonymous(name)
        sync.SyncData.GetLayerUpdates(layer)
        return layer
    return make


@pytest.fixture
def roundTrip(sync, syncLayer):
    """Runs edit(layerA) on peer A, sends A's updates as JSON to peer B,
    which builds a store from them and refreshes its layer. Returns
    (layerA, layerB, ops)."""
    def run(edit):
        layerA, layerB = syncLayer("peerA.vela"), syncLayer("peerB.vela")
        edit(layerA)
        ops = sync.SyncData.GetLayerUpdates(layerA)
        wire = jsonForm.EncodeOps(ops)
        sync.SyncData.RefreshData(layerB, jsonForm.BuildSyncData(wire))
        return layerA, layerB, ops
    return run


class LogLines:
    """The lines the default logger printed since the last call, without
    spdlog's time stamp: '[level] message'."""

    _stamp = re.compile(r"^\[[^\]]*\] ")

    def __init__(self, capfd):
        self._capfd = capfd

    def __call__(self):
        out = self._capfd.readouterr().out
        return [self._stamp.sub("", line) for line in out.splitlines() if line]


@pytest.fixture
def logLines(capfd):
    return LogLines(capfd)
