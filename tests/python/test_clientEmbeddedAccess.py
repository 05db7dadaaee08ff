"""Who may read and write local channels: the default directory is the
user's own and refused when it is not, every file a channel writes is the
user's alone, and a directory the caller names is used as it is."""

import os
import stat

import pytest
from pxr import Sdf

from vela.usd.client import EmbeddedTransport, Session, TransportError
from vela.usd.client.cli import NewSyncLayer
from vela.usd.client.embedded import DefaultDirectory


@pytest.fixture
def defaults(tmp_path, monkeypatch):
    """No VELA_SYNC_DIR, a runtime directory of the test's own, files made
    under the usual umask."""
    monkeypatch.delenv("VELA_SYNC_DIR", raising=False)
    runtime = tmp_path / "run"
    runtime.mkdir(mode=0o700)
    monkeypatch.setenv("XDG_RUNTIME_DIR", str(runtime))
    old = os.umask(0o022)
    yield runtime
    os.umask(old)


def _Mode(path):
    return stat.S_IMODE(os.lstat(path).st_mode)


def _Edit(transport, channel="scene"):
    layer = NewSyncLayer("a")
    session = Session(layer, channel, transport, name="A", snapshotEvery=0)
    Sdf.CreatePrimInLayer(layer, "/World").specifier = Sdf.SpecifierDef
    session.Publish()
    Sdf.CreatePrimInLayer(layer, "/World/Chair").specifier = Sdf.SpecifierDef
    session.Publish()
    session.WriteSnapshot()
    return session


def test_default_channels_are_private_to_the_user(defaults, tmp_path, monkeypatch):
    transport = EmbeddedTransport()
    assert transport.directory == str(defaults / "vela-sync")
    assert _Mode(transport.directory) == 0o700
    session = _Edit(transport)
    transport.Trim("scene", session.cursor)
    names = sorted(os.listdir(transport.directory))
    assert names == ["scene.log", "scene.snapshot"]
    for name in names:
        assert _Mode(os.path.join(transport.directory, name)) == 0o600, name

    # Without a runtime directory: one named after the user in the
    # temporary directory.
    monkeypatch.delenv("XDG_RUNTIME_DIR")
    monkeypatch.setenv("TMPDIR", str(tmp_path))
    import tempfile
    monkeypatch.setattr(tempfile, "tempdir", None)
    assert DefaultDirectory() == str(tmp_path / ("vela-sync-%d" % os.getuid()))
    assert _Mode(EmbeddedTransport().directory) == 0o700


def test_a_default_directory_others_may_use_is_refused_and_left_alone(defaults):
    directory = defaults / "vela-sync"
    directory.mkdir(mode=0o755)
    os.chmod(directory, 0o777)
    (directory / "scene.log").write_bytes(b"someone else's")
    with pytest.raises(TransportError, match="open to other users"):
        EmbeddedTransport()
    assert (directory / "scene.log").read_bytes() == b"someone else's"
    assert _Mode(directory) == 0o777

    os.chmod(directory, 0o700)
    if os.getuid() == 0:
        # Only root can give the directory away to test a foreign owner.
        os.chown(directory, 4242, -1)
        with pytest.raises(TransportError, match="belongs to user id 4242"):
            EmbeddedTransport()
        os.chown(directory, 0, -1)
    EmbeddedTransport()


def test_a_default_that_is_a_link_or_a_file_is_refused(defaults, tmp_path):
    target = tmp_path / "elsewhere"
    target.mkdir(mode=0o700)
    os.symlink(target, defaults / "vela-sync")
    with pytest.raises(TransportError, match="not a directory"):
        EmbeddedTransport()
    os.unlink(defaults / "vela-sync")
    (defaults / "vela-sync").write_bytes(b"")
    with pytest.raises(TransportError, match="not a directory"):
        EmbeddedTransport()


def test_a_named_directory_is_used_as_given(defaults, tmp_path, monkeypatch):
    shared = tmp_path / "shared"
    shared.mkdir()
    os.chmod(shared, 0o775)
    transport = EmbeddedTransport(str(shared))
    _Edit(transport)
    assert _Mode(shared) == 0o775
    assert _Mode(shared / "scene.log") == 0o600

    monkeypatch.setenv("VELA_SYNC_DIR", str(shared))
    assert EmbeddedTransport().directory == str(shared)
