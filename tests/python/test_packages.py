"""The packages' layout: what each exports, and that lower modules never
import higher ones (the client neither its command nor the demos, a
transport no other transport)."""

import ast
import os
import subprocess
import sys
import textwrap

import pytest

import vela.usd.client

_Transports = {"vela.usd.client.embedded", "vela.usd.client.redisTransport"}
_Demos = {"vela.usd.sync.round", "vela.usd.client.cli"}


def _Run(code):
    done = subprocess.run([sys.executable, "-c", textwrap.dedent(code)],
                          capture_output=True, text=True, timeout=120)
    assert done.returncode == 0, done.stderr
    return done.stdout


def _VelaImports(path):
    """The vela modules a source file imports, wherever in it."""
    found = set()
    for node in ast.walk(ast.parse(open(path).read())):
        if isinstance(node, ast.Import):
            found.update(alias.name for alias in node.names)
        elif isinstance(node, ast.ImportFrom) and node.module:
            found.add(node.module)
            found.update(node.module + "." + alias.name for alias in node.names)
    return {name for name in found if name.startswith("vela.")}


@pytest.mark.parametrize("package", ["vela.usd.sync", "vela.usd.resolve", "vela.usd.client"])
def test_every_exported_name_is_there(package):
    names = _Run("""
        import importlib
        package = importlib.import_module(%r)
        namespace = {}
        exec("from %s import *", namespace)
        print(sorted(n for n in namespace if not n.startswith("__")) == sorted(package.__all__))
        """ % (package, package))
    assert names.strip() == "True"


def test_client_modules_import_no_demo_and_transports_no_other_transport():
    directory = os.path.dirname(vela.usd.client.__file__)
    modules = sorted(name[:-3] for name in os.listdir(directory) if name.endswith(".py"))
    assert {"transport", "embedded", "redisTransport", "jsonForm", "wire", "session"} <= set(modules)
    for name in modules:
        module = "vela.usd.client" + ("" if name == "__init__" else "." + name)
        if module in _Demos:
            continue
        imported = _VelaImports(os.path.join(directory, name + ".py"))
        assert not imported & _Demos, module
        if module in _Transports:
            assert not imported & (_Transports - {module}), module


def test_importing_the_client_loads_no_demo():
    loaded = _Run("""
        import sys
        import vela.usd.client
        from vela.usd.client import jsonForm, session, transport, wire
        print(" ".join(sorted(sys.modules)))
        """).split()
    assert not _Demos & set(loaded)


@pytest.mark.usdCoreOnly
def test_every_package_imports_beside_usd_in_one_interpreter():
    # What the usd-core flavour adds: the annotation schema in the same
    # process as the plug-ins, both known to OpenUSD's registries.
    out = _Run("""
        import sys
        import vela.usd.sync, vela.usd.resolve, vela.usd.client, vela.usd.annotation
        from pxr import Sdf, Tf, Usd
        print(Sdf.FileFormat.FindById("vela").formatId)
        print(Usd.SchemaRegistry().FindAppliedAPIPrimDefinition("VelaAnnotationAPI") is not None)
        print(Tf.Type.FindByName("vela::AssetResolver").isUnknown)
        print(vela.usd.annotation.GetPluginPath().startswith(
            vela.usd.annotation.__file__.rsplit("/", 1)[0]))
        """)
    assert out.split() == ["vela", "True", "False", "True"]


@pytest.mark.splitOnly
def test_split_flavour_has_no_annotation_package():
    # The schema needs Usd; a split installation that carried the package
    # would fail at its import with a confusing error.
    out = _Run("""
        import importlib.util
        import vela.usd.sync
        print(importlib.util.find_spec("vela.usd.annotation") is None,
              importlib.util.find_spec("pxr.Usd") is None)
        """)
    assert out.split() == ["True", "True"]
