"""vela: OpenUSD plug-ins for keeping layers in step with a remote copy and
fetching scene assets on demand.

Importing vela makes every vela plug-in known to OpenUSD (the sync file
format and the asset resolver). OpenUSD picks its primary resolver once, on
the first Ar.GetResolver() in the process, so import vela before anything
opens a layer or resolves a path.
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
