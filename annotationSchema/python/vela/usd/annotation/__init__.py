"""vela's annotation schema for OpenUSD's Usd runtime (PyPI's usd-core).

`VelaAnnotationAPI` is a single-apply API schema: applied to a prim, it
gives the prim two attributes, "annotation:commentCount" (int, fallback 0)
and "annotation:entries" (string[], fallback []). The schema has no C++
library; OpenUSD's schema registry reads it from this package's plug-in
data (plugInfo.json and generatedSchema.usda in the resources folder).

Importing this package registers that plug-in data with OpenUSD's plug-in
registry; nothing else happens at import. A host that does not import it
finds the schema through PXR_PLUGINPATH_NAME pointed at `GetPluginPath()`.
Either way the schema must be known before Usd's schema registry is first
built (the first stage opened or created, for instance): the registry
reads the plug-ins once.

The class follows the shape of the classes OpenUSD generates for its own
schemas (`Get`, `CanApply`, `Apply`, `Get...Attr`, `Create...Attr`,
`GetSchemaAttributeNames`). Where a C++ schema class posts a coding error
and returns an invalid object, this one does the same in Python: the
error goes to Tf's diagnostic system (printed, or caught by a
`Tf.DiagnosticTrap`) and the call returns an invalid schema object or a
false result instead of raising.

This package is part of vela's usd-core flavour, installed beside
usd-core with vela's plug-ins, so it imports in one process with
`vela.usd.sync`, `vela.usd.resolve` and `vela.usd.client`. vela's split
flavour (OpenUSD's split PyPI packages, `pxr-tf`, `pxr-sdf`, ...) has no
Usd and installs no annotation package.
"""

import os as _os
import typing as _typing

from pxr import Plug as _Plug
from pxr import Sdf as _Sdf
from pxr import Tf as _Tf
from pxr import Usd as _Usd

__all__ = ["Tokens", "VelaAnnotationAPI", "GetPluginPath"]

_pluginPath = _os.path.join(_os.path.dirname(_os.path.abspath(__file__)),
                            "resources")


def GetPluginPath() -> str:
    """The directory holding the schema's plugInfo.json, for
    PXR_PLUGINPATH_NAME. (Not part of OpenUSD's generated surface.)"""
    return _pluginPath


_Plug.Registry().RegisterPlugins(_pluginPath)


class Tokens:
    """The schema's tokens, as OpenUSD's generated modules offer them."""
    annotationCommentCount = "annotation:commentCount"
    annotationEntries = "annotation:entries"
    VelaAnnotationAPI = "VelaAnnotationAPI"
    allTokens = [annotationCommentCount, annotationEntries, VelaAnnotationAPI]


_schemaName = Tokens.VelaAnnotationAPI
_typeName = "VelaAnnotationVelaAnnotationAPI"
_localAttributeNames = (Tokens.annotationCommentCount, Tokens.annotationEntries)
# With the inherited names; built on first use.
_allAttributeNames: _typing.Optional[_typing.Tuple[str, ...]] = None


def _PostCodingError(message: str) -> None:
    """Posts a coding error to Tf's diagnostics without raising, as C++ code
    does with TF_CODING_ERROR. The error names the caller's location."""
    with _Tf.CatchAndRepostErrors():
        codeInfo = _Tf.GetCodeLocation(framesUp=1)
        _Tf._RaiseCodingError(message, *codeInfo)


def _WhyNotRegistered() -> _typing.Optional[str]:
    """Returns a hint when the schema registry does not know the schema."""
    if _Usd.SchemaRegistry().FindAppliedAPIPrimDefinition(_schemaName):
        return None
    return ("VelaAnnotationAPI is not known to Usd's schema registry: import "
            "vela.usd.annotation (or set PXR_PLUGINPATH_NAME to {}) before "
            "Usd's schema registry is first used".format(_pluginPath))


class VelaAnnotationAPI:
    """Annotations on a prim: a comment count and a list of entries.

    A single-apply API schema (schema name "VelaAnnotationAPI", type
    `VelaAnnotationVelaAnnotationAPI`, base `UsdAPISchemaBase`). An object
    built on a prim is true only while the prim is valid and has the schema
    applied, as for OpenUSD's applied API schemas.

    Attributes:
      annotation:commentCount  int, varying, fallback 0
      annotation:entries       string[], varying, fallback []
    """

    schemaKind = _Usd.SchemaKind.SingleApplyAPI

    def __init__(self, prim: _typing.Union[_Usd.Prim, _Usd.SchemaBase,
                                           "VelaAnnotationAPI", None] = None) -> None:
        """Builds the schema object on `prim` (a `Usd.Prim` or another
        schema object); without one, or on an invalid prim, the object is
        invalid. Nothing is authored."""
        if prim is None:
            self._prim: _Usd.Prim = _Usd.Prim()
        elif not isinstance(prim, _Usd.Prim):
            self._prim = prim.GetPrim()
        else:
            self._prim = prim

    # -- schema object -----------------------------------------------------

    def __bool__(self) -> bool:
        """True while the prim is valid and has the schema applied."""
        prim = self._prim
        return bool(prim) and _schemaName in prim.GetAppliedSchemas()

    def __repr__(self) -> str:
        return "VelaAnnotation.VelaAnnotationAPI({!r})".format(self._prim)

    def GetPrim(self) -> _Usd.Prim:
        """The prim this object is built on (possibly invalid)."""
        return self._prim

    def GetPath(self) -> _Sdf.Path:
        """The path of the prim, or the empty path for an invalid prim."""
        return self._prim.GetPath() if self._prim else _Sdf.Path()

    def GetSchemaKind(self) -> _Usd.SchemaKind:
        """`Usd.SchemaKind.SingleApplyAPI`."""
        return self.schemaKind

    def IsConcrete(self) -> bool:
        """False: an API schema is never a prim type."""
        return False

    def IsTyped(self) -> bool:
        """False: an API schema is not a typed schema."""
        return False

    def IsAPISchema(self) -> bool:
        """True."""
        return True

    def IsAppliedAPISchema(self) -> bool:
        """True: the schema is applied to prims."""
        return True

    def IsMultipleApplyAPISchema(self) -> bool:
        """False: the schema applies at most once per prim, without an
        instance name."""
        return False

    def GetSchemaClassPrimDefinition(self) -> _typing.Optional[_Usd.PrimDefinition]:
        """The schema registry's prim definition of the schema, or None if
        the registry does not know it."""
        return _Usd.SchemaRegistry().FindAppliedAPIPrimDefinition(_schemaName)

    @staticmethod
    def _GetStaticTfType() -> _Tf.Type:
        """The registered `Tf.Type` of `VelaAnnotationVelaAnnotationAPI`."""
        return _Tf.Type.FindByName(_typeName)

    def _GetTfType(self) -> _Tf.Type:
        """The registered `Tf.Type` of `VelaAnnotationVelaAnnotationAPI`."""
        return self._GetStaticTfType()

    # -- construction ------------------------------------------------------

    @staticmethod
    def Get(stage: _typing.Optional[_Usd.Stage],
            path: _typing.Union[_Sdf.Path, str]) -> "VelaAnnotationAPI":
        """The schema object for the prim at `path` on `stage`. If `stage`
        is None or expired, posts the coding error "Invalid stage" and
        returns an invalid object."""
        if stage is None or getattr(stage, "expired", False):
            _PostCodingError("Invalid stage")
            return VelaAnnotationAPI()
        if not isinstance(path, _Sdf.Path):
            path = _Sdf.Path(path)
        return VelaAnnotationAPI(stage.GetPrimAtPath(path))

    @staticmethod
    def CanApply(prim: _typing.Optional[_Usd.Prim]) -> "_Usd._CanApplyAPIResult":
        """Whether the schema can be applied to `prim`: a result that is
        true or false and carries OpenUSD's reason in `whyNot`. If the
        schema registry does not know the schema, OpenUSD's coding error is
        posted and the result is false."""
        if not prim:
            return _Usd._CanApplyAPIResult(False, "Prim is not valid.")
        with _Tf.CatchAndRepostErrors():
            return prim.CanApplyAPI(_schemaName)
        hint = _WhyNotRegistered()
        if hint:
            _PostCodingError(hint)
        return _Usd._CanApplyAPIResult(False, hint or "")

    @staticmethod
    def Apply(prim: _typing.Optional[_Usd.Prim]) -> "VelaAnnotationAPI":
        """Applies the schema to `prim` (adds "VelaAnnotationAPI" to its
        apiSchemas at the current edit target) and returns the schema object
        on it. On failure OpenUSD's coding error is posted and the result is
        an invalid object."""
        if not prim:
            _PostCodingError("Invalid prim '{}'".format(
                prim.GetDescription() if prim is not None else "None"))
            return VelaAnnotationAPI()
        applied = False
        with _Tf.CatchAndRepostErrors():
            applied = prim.ApplyAPI(_schemaName)
        if not applied:
            hint = _WhyNotRegistered()
            if hint:
                _PostCodingError(hint)
            return VelaAnnotationAPI()
        return VelaAnnotationAPI(prim)

    # -- attributes --------------------------------------------------------

    def GetCommentCountAttr(self) -> _Usd.Attribute:
        """The prim's "annotation:commentCount" attribute (int). Valid once
        the schema is applied; its value falls back to 0."""
        return self._GetAttr(Tokens.annotationCommentCount)

    def CreateCommentCountAttr(self, defaultValue: _typing.Optional[int] = None,
                               writeSparsely: bool = False) -> _Usd.Attribute:
        """Creates "annotation:commentCount" (int, non-custom, varying) if
        needed and, if `defaultValue` is given, authors it as the default.
        With `writeSparsely`, nothing is authored when the attribute has no
        authored value and `defaultValue` equals the fallback."""
        return self._CreateAttr(Tokens.annotationCommentCount,
                                _Sdf.ValueTypeNames.Int,
                                defaultValue, writeSparsely)

    def GetEntriesAttr(self) -> _Usd.Attribute:
        """The prim's "annotation:entries" attribute (string[]). Valid once
        the schema is applied; its value falls back to []."""
        return self._GetAttr(Tokens.annotationEntries)

    def CreateEntriesAttr(self, defaultValue: _typing.Optional[_typing.Iterable[str]] = None,
                          writeSparsely: bool = False) -> _Usd.Attribute:
        """Creates "annotation:entries" (string[], non-custom, varying) if
        needed and, if `defaultValue` is given, authors it as the default.
        With `writeSparsely`, nothing is authored when the attribute has no
        authored value and `defaultValue` equals the fallback."""
        return self._CreateAttr(Tokens.annotationEntries,
                                _Sdf.ValueTypeNames.StringArray,
                                defaultValue, writeSparsely)

    @staticmethod
    def GetSchemaAttributeNames(includeInherited: bool = True) -> _typing.List[str]:
        """The schema's attribute names: "annotation:commentCount",
        "annotation:entries", preceded with `includeInherited` by those of
        `Usd.APISchemaBase`."""
        global _allAttributeNames
        if not includeInherited:
            return list(_localAttributeNames)
        if _allAttributeNames is None:
            _allAttributeNames = tuple(
                _Usd.APISchemaBase.GetSchemaAttributeNames(True)) \
                + _localAttributeNames
        return list(_allAttributeNames)

    def _GetAttr(self, name: str) -> _Usd.Attribute:
        if not self._prim:
            return _Usd.Attribute()
        return self._prim.GetAttribute(name)

    def _CreateAttr(self, name: str, typeName: _Sdf.ValueTypeName, defaultValue: object,
                    writeSparsely: bool) -> _Usd.Attribute:
        # As UsdSchemaBase::_CreateAttr: a sparse write of a built-in
        # attribute authors nothing for no value or an unauthored fallback.
        prim = self._prim
        if writeSparsely:
            attr = prim.GetAttribute(name)
            if defaultValue is None:
                return attr
            if not attr.HasAuthoredValue():
                fallback = attr.Get()
                if fallback is not None and _Equal(fallback, defaultValue,
                                                   typeName):
                    return attr
        attr = prim.CreateAttribute(name, typeName, False,
                                    _Sdf.VariabilityVarying)
        if attr and defaultValue is not None:
            attr.Set(defaultValue)
        return attr


def _Equal(fallback: object, value: object, typeName: _Sdf.ValueTypeName) -> bool:
    """Compares a fallback with a value the caller gave, after casting the
    value to the attribute's type (a list for a string[] attribute)."""
    try:
        cast = typeName.type.pythonClass(value) if typeName.isArray else value
    except Exception:
        return False
    return fallback == cast
