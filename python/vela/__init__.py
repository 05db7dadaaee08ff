"""vela: OpenUSD plug-ins for keeping layers in step with a remote copy and
fetching scene assets on demand.

Importing vela makes every vela plug-in known to OpenUSD (the sync file
format and the asset resolver). OpenUSD picks its primary resolver once, on
the first Ar.GetResolver() in the process, so import vela before anything
opens a layer or resolves a path.

Importing vela also makes that first call, from this thread, with the
interpreter lock released (vela.usd.resolve does it): threads that then
resolve at once cannot deadlock inside OpenUSD's set-up of the resolver. A
host that prefers another resolver calls Ar.SetPreferredResolver before
importing vela.
"""

import os as _os

from pxr import Plug as _Plug

# vela's plug-ins are installed beside the package, in
# site-packages/velahub_sdk.libs/usd, whose plugInfo.json includes every
# plug-in's resources.
_Plug.Registry().RegisterPlugins(_os.path.join(
    _os.path.dirname(_os.path.dirname(_os.path.abspath(__file__))),
    "velahub_sdk.libs", "usd"))

del _os, _Plug

# After the registration, so that the resolver made is vela's.
from vela.usd import resolve as _resolve  # noqa: E402,F401

del _resolve
