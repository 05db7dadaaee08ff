"""A sync layer exports like any other layer: ExportToString gives its
.usda text, exports to .usda and .usdc write files that read back the same
content, and writing to a .vela path fails with an error that says why
instead of reading as success or as an empty layer."""

import pytest
from pxr import Sdf, Tf


def _scene(layer):
    prim = Sdf.CreatePrimInLayer(layer, "/World/Chair")
    prim.specifier = Sdf.SpecifierDef
    prim.typeName = "Xform"
    Sdf.AttributeSpec(prim, "height", Sdf.ValueTypeNames.Double).default = 0.75
    layer.defaultPrim = "World"


def test_ExportToStringIsTheLayersUsdaText(syncLayer):
    layer = syncLayer()
    _scene(layer)
    text = layer.ExportToString()
    assert text.startswith("#usda 1.0")
    assert 'def Xform "Chair"' in text and "double height = 0.75" in text

    # The text is what a .usda layer of the same content writes, and two
    # sync layers of different content no longer agree.
    usda = Sdf.Layer.CreateAnonymous(".usda")
    usda.TransferContent(layer)
    assert text == usda.ExportToString()
    other = syncLayer("other.vela")
    assert other.ExportToString() != text
    assert layer.GetPrimAtPath("/World/Chair").GetAsText().lstrip().startswith(
        'def Xform "Chair"')


@pytest.mark.parametrize("extension", ["usda", "usdc"])
def test_ExportsToOtherFormatsReadBack(syncLayer, tmp_path, extension):
    layer = syncLayer()
    _scene(layer)
    path = str(tmp_path / ("scene." + extension))
    assert layer.Export(path)
    back = Sdf.Layer.FindOrOpen(path)
    assert back.GetFileFormat().formatId == extension
    assert back.ExportToString() == layer.ExportToString()


def test_WritingAVelaPathFailsAndSaysWhy(syncLayer, tmp_path):
    layer = syncLayer()
    _scene(layer)
    before = layer.ExportToString()
    path = str(tmp_path / "scene.vela")
    with pytest.raises(Tf.ErrorException, match="sync layers live in memory"):
        layer.Export(path)
    with pytest.raises(Tf.ErrorException, match=r"\.usda, \.usdc or \.usd"):
        Sdf.Layer.CreateNew(str(tmp_path / "new.vela"))
    assert not (tmp_path / "scene.vela").exists()
    assert not (tmp_path / "new.vela").exists()
    assert layer.ExportToString() == before
