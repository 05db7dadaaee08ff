"""VelaAnnotationAPI against usd-core's Usd runtime: what the schema
registry knows, applying the schema, its attributes, and the error paths."""

import os
import shutil
import subprocess
import sys

import pytest

pytest.importorskip("pxr.Usd", reason="usd-core flavour only: the split packages have no Usd")

import vela.usd.annotation as annotation  # noqa: E402
from pxr import Sdf, Tf, Usd, Vt  # noqa: E402

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

LOCAL_NAMES = ["annotation:commentCount", "annotation:entries"]

ATTRIBUTES = [
    # name, getter, creator, type, fallback, a value other than the fallback
    ("annotation:commentCount", "GetCommentCountAttr", "CreateCommentCountAttr",
     Sdf.ValueTypeNames.Int, 0, 3),
    ("annotation:entries", "GetEntriesAttr", "CreateEntriesAttr",
     Sdf.ValueTypeNames.StringArray, [], ["first note", "second note"]),
]


def _Plain(value):
    """A Vt array as a list, for comparing with the table's values."""
    return list(value) if isinstance(value, Vt.StringArray) else value


def test_RegistryKnowsTheSchema(api):
    tfType = Tf.Type.FindByName("VelaAnnotationVelaAnnotationAPI")
    assert not tfType.isUnknown
    assert tfType == api._GetStaticTfType()
    assert tfType.baseTypes == (Tf.Type.FindByName("UsdAPISchemaBase"),)
    assert Usd.SchemaRegistry.GetSchemaKind(tfType) == Usd.SchemaKind.SingleApplyAPI
    assert Usd.SchemaRegistry.GetSchemaTypeName(tfType) == "VelaAnnotationAPI"
    assert Usd.SchemaRegistry.GetTypeFromSchemaTypeName("VelaAnnotationAPI") == tfType
    assert Usd.SchemaRegistry.IsAppliedAPISchema(tfType)
    assert not Usd.SchemaRegistry.IsMultipleApplyAPISchema(tfType)

    definition = Usd.SchemaRegistry().FindAppliedAPIPrimDefinition("VelaAnnotationAPI")
    assert definition is not None
    assert sorted(definition.GetPropertyNames()) == LOCAL_NAMES
    assert "comment" in definition.GetDocumentation()
    for name, _, _, typeName, fallback, _ in ATTRIBUTES:
        attr = definition.GetAttributeDefinition(name)
        assert attr.GetTypeName() == typeName, name
        assert _Plain(attr.GetFallbackValue()) == fallback, name
        assert attr.GetVariability() == Sdf.VariabilityVarying, name
        assert attr.GetDocumentation(), name


def test_ApplyAddsTheSchemaAndItsAttributes(api, stage, prim):
    assert not api(prim)
    assert not api.Get(stage, prim.GetPath())
    assert api.CanApply(prim)

    applied = api.Apply(prim)
    assert applied and applied.GetPrim() == prim
    assert prim.GetAppliedSchemas() == ["VelaAnnotationAPI"]
    assert prim.HasAPI(api._GetStaticTfType())
    listOp = stage.GetRootLayer().GetPrimAtPath(prim.GetPath()).GetInfo("apiSchemas")
    assert listOp.prependedItems == ["VelaAnnotationAPI"]

    # The attributes exist through the prim definition, unauthored, with
    # their fallbacks.
    got = api.Get(stage, "/World/Chair")
    assert got and got.GetPath() == prim.GetPath()
    count, entries = got.GetCommentCountAttr(), got.GetEntriesAttr()
    assert count.GetName() == "annotation:commentCount" and count.Get() == 0
    assert entries.GetTypeName() == Sdf.ValueTypeNames.StringArray
    assert list(entries.Get()) == []
    assert not count.IsCustom() and not entries.IsCustom()
    assert not count.HasAuthoredValue() and not entries.HasAuthoredValue()

    # Applying twice leaves one entry.
    assert api.Apply(prim)
    assert prim.GetAppliedSchemas() == ["VelaAnnotationAPI"]


@pytest.mark.parametrize("name, getter, creator, typeName, fallback, other", ATTRIBUTES)
def test_CreateAttrAuthorsDefaultsAndWritesSparsely(name, getter, creator, typeName,
                                                    fallback, other, api, prim):
    schema = api.Apply(prim)
    create = getattr(schema, creator)

    # A sparse write of the fallback, or of nothing, authors nothing.
    assert not create(fallback, True).HasAuthoredValue()
    assert not create(None, True).HasAuthoredValue()
    assert prim.GetAuthoredProperties() == []

    attr = create(other, True)
    assert attr.GetName() == name and attr.GetTypeName() == typeName
    assert not attr.IsCustom() and attr.GetVariability() == Sdf.VariabilityVarying
    assert attr.HasAuthoredValue()
    assert _Plain(attr.Get()) == other
    assert getattr(schema, getter)() == attr

    # Once a value is authored, even the fallback is written.
    create(fallback, True)
    assert _Plain(attr.Get()) == fallback

    # A plain create authors the attribute without a default value.
    prim.RemoveProperty(name)
    created = create()
    assert created and not created.HasAuthoredValue()
    assert prim.GetAuthoredPropertyNames() == [name]


def test_SchemaAttributeNames(api):
    assert api.GetSchemaAttributeNames(False) == LOCAL_NAMES
    inherited = list(Usd.APISchemaBase.GetSchemaAttributeNames(True))
    assert api.GetSchemaAttributeNames(True) == inherited + LOCAL_NAMES
    assert api.GetSchemaAttributeNames() == api.GetSchemaAttributeNames(True)


def _ExpiredStage():
    stage = Usd.Stage.CreateInMemory()
    stage.DefinePrim("/World")
    cache = Usd.StageCache()
    cache.Insert(stage)
    cache.Clear()
    assert stage.expired
    return stage


@pytest.mark.parametrize("makeStage", [lambda: None, _ExpiredStage],
                         ids=["null", "expired"])
def test_GetWithoutAStageReportsInvalidStage(makeStage, api, diagnostics):
    schema, errors = diagnostics(api.Get, makeStage(), "/World")
    assert not schema and not schema.GetPrim()
    assert not schema.GetCommentCountAttr() and not schema.GetEntriesAttr()
    assert len(errors) == 1 and "Invalid stage" in errors[0]


def test_InvalidPrimsAreRefusedWithAReason(api, stage, diagnostics):
    result, errors = diagnostics(api.CanApply, Usd.Prim())
    assert not result and result.whyNot == "Prim is not valid." and not errors

    schema, errors = diagnostics(api.Apply, Usd.Prim())
    assert not schema and len(errors) == 1 and "Invalid prim" in errors[0]

    # OpenUSD refuses apiSchemas on the pseudo-root when applying.
    schema, errors = diagnostics(api.Apply, stage.GetPseudoRoot())
    assert not schema and errors


# A registry built before the package is imported cannot learn the schema.
_LATE_IMPORT = """
from pxr import Tf, Usd
stage = Usd.Stage.CreateInMemory()
stage.DefinePrim("/Built", "Xform")          # builds the schema registry
import vela.usd.annotation as annotation
prim = stage.DefinePrim("/World")
with Tf.DiagnosticTrap() as trap:
    result = annotation.VelaAnnotationAPI.CanApply(prim)
    schema = annotation.VelaAnnotationAPI.Apply(prim)
    errors = [e.commentary for e in trap.GetErrors()]
    trap.Clear()
print(bool(result), bool(schema), prim.GetAppliedSchemas())
print(result.whyNot)
print(len(errors), any("PXR_PLUGINPATH_NAME" in e for e in errors))
"""


def test_LateImportFailsWithAHint(python):
    verdict, whyNot, errors = python(_LATE_IMPORT).splitlines()
    assert verdict == "False False []"
    assert "vela.usd.annotation" in whyNot
    assert errors == "4 True"     # OpenUSD's error and the hint, for each call


_HOST_WITHOUT_VELA = """
import sys
from pxr import Usd
stage = Usd.Stage.CreateInMemory()
prim = stage.DefinePrim("/World", "Xform")
print(prim.ApplyAPI("VelaAnnotationAPI"), prim.GetAppliedSchemas(),
      prim.GetAttribute("annotation:commentCount").Get(),
      "vela.usd.annotation" in sys.modules)
"""


def test_HostWithoutVelaFindsTheSchemaThroughPluginPath(python):
    out = python(_HOST_WITHOUT_VELA,
                 {"PXR_PLUGINPATH_NAME": annotation.GetPluginPath()})
    assert out.split() == ["True", "['VelaAnnotationAPI']", "0", "False"]


def test_GeneratedFilesMatchTheSchemaSource(tmp_path):
    source = os.path.join(REPO, "annotationSchema")
    # usdGenSchema keeps the hand-written parts of an existing plugInfo.json
    # and regenerates the rest.
    shutil.copy(os.path.join(source, "plugInfo.json"), tmp_path)
    done = subprocess.run(
        [sys.executable, "-m", "pxr.Usd.usdGenSchema",
         os.path.join(source, "schema.usda"), str(tmp_path)],
        capture_output=True, text=True, timeout=120)
    assert done.returncode == 0, done.stdout + done.stderr
    for name in ("plugInfo.json", "generatedSchema.usda"):
        with open(os.path.join(source, name)) as committed, \
                open(tmp_path / name) as generated:
            assert committed.read() == generated.read(), name

