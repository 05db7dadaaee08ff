"""Who may read and write a channel on a Redis server: passwords that never
show (not in a repr, a log line, an error or the demo's report, checked
on everything a failing session prints), refusals that raise at once as
TransportRefused while a lost connection is still retried, the ACL rules
the README gives a read-write, a one-channel and a read-only peer (each
command in them needed), and TLS with a CA and client certificates
against redis-servers of the tests' own."""

import logging
import os
import shutil
import subprocess
import sys
import textwrap
import uuid
from urllib.parse import quote

import pytest
from pxr import Sdf

from vela.usd.client import RedisTransport, Session, TransportError, TransportRefused, resp
from vela.usd.client.cli import NewSyncLayer as _Layer

from redisServers import Certificates, RedisHasTls, RedisServer

pytestmark = pytest.mark.skipif(shutil.which("redis-server") is None,
                                reason="redis-server is not installed")

# A password with characters a URL must quote.
_Secret = "s3cret-%s/:@x" % uuid.uuid4().hex[:8]
_Readme = os.path.join(os.path.dirname(__file__), os.pardir, os.pardir, "README.md")


def _SecretForms(secret):
    return {secret, quote(secret, safe=""), quote(secret)}


def _Prim(layer, path):
    prim = Sdf.CreatePrimInLayer(layer, path)
    prim.specifier = Sdf.SpecifierDef
    return prim


def _EditInTurn(a, b, rounds):
    """Sessions a and b each add a prim under /World and pull, in turn,
    rounds times; a pulls last."""
    _Prim(a.layer, "/World")
    for i in range(rounds):
        _Prim(a.layer, "/World/A%d" % i)
        a.Pull()
        _Prim(b.layer, "/World/B%d" % i)
        b.Pull()
    a.Pull()


def _ReadmeUsers():
    """The ACL lines of the README, as (name, rules, password)."""
    with open(_Readme) as f:
        lines = [line.strip() for line in f if line.strip().startswith("user vela-")]
    users = []
    for line in lines:
        rules = line.split()[1:]
        password = next(rule[1:] for rule in rules if rule.startswith(">"))
        users.append((rules[0], rules, password))
    return users


# ------------------------------------------------------------ masking

def test_every_shown_form_of_a_url_masks_its_passwords():
    cases = [
        ("redis://:pw@127.0.0.1:6398/0", "redis://:***@127.0.0.1:6398/0"),
        ("redis://alice:pw@h:1/2", "redis://alice:***@h:1/2"),
        ("rediss://alice:p%40w@h:1/0?ssl_password=kp&ssl_ca_certs=/ca.pem",
         "rediss://alice:***@h:1/0?ssl_password=***&ssl_ca_certs=/ca.pem"),
        ("redis://h/0?password=pw&db=2", "redis://h/0?password=***&db=2"),
        ("redis://h/0?PASS%57ORD=pw", "redis://h/0?PASS%57ORD=***"),
        ("unix://alice:pw@/tmp/r.sock?db=1", "unix://alice:***@/tmp/r.sock?db=1"),
        ("unix:///tmp/a@b.sock", "unix:///tmp/a@b.sock"),
        ("redis://h:1/0", "redis://h:1/0"),
        # Unquoted characters that end a URL's user part early: still
        # masked (with whatever the parse took for the host).
        ("redis://:p/w@h:1/0", "redis://:***@h:1/0"),
        ("redis://:p?w@h:1/0", "redis://:***@h:1/0"),
        ("redis://:p#w@h:1/0", "redis://:***@h:1/0"),
    ]
    for url, shown in cases:
        assert resp.MaskUrl(url) == shown, url

    url = "redis://alice:%s@127.0.0.1:1/0?ssl_password=%s" % (quote(_Secret, safe=""),
                                                             quote(_Secret, safe=""))
    transport = RedisTransport(url)
    address = resp.ParseUrl(url)
    assert address.password == _Secret and address.options["ssl_password"] == _Secret
    shown = [repr(transport), transport.display, repr(address), str(address),
             repr(resp.Connection(url).address)]
    quoted = quote(_Secret, safe="")
    for bad in ("redis://:%s@h:99999/0" % quoted, "http://:%s@h/0" % quoted,
                "unix://:%s@" % quoted, "redis://:%s@h:99999/0" % _Secret):
        with pytest.raises(ValueError) as error:
            RedisTransport(bad)
        shown.append(str(error.value))
    for text in shown:
        assert not any(form in text for form in _SecretForms(_Secret)), text
    assert "alice" in repr(transport) and "alice" in repr(address)


# ------------------------------------------------------------ refusals

@pytest.fixture(scope="module")
def aclServer(tmp_path_factory):
    """A server with a password for the default user and the README's
    users."""
    users = [rules for _, rules, _ in _ReadmeUsers()]
    server = RedisServer(tmp_path_factory.mktemp("acl"), password=_Secret, users=users)
    server.Start()
    yield server
    server.Stop()


def _UserUrl(server, name):
    password = {user: password for user, _, password in _ReadmeUsers()}[name]
    return server.Url(user=name, password=password)


def _Channel():
    return "acl-" + uuid.uuid4().hex[:8]


class TestRefusals:
    def test_wrong_credentials_fail_on_the_first_connection(self, aclServer, caplog):
        urls = [aclServer.Url(password="wrong"),                      # WRONGPASS, default user
                aclServer.Url(user="vela-peer", password="wrong"),    # WRONGPASS, a user
                aclServer.Url(user="nobody", password=_Secret),       # WRONGPASS, no such user
                aclServer.Url()]                                      # NOAUTH, no password
        for url in urls:
            before = aclServer.Connections()
            transport = RedisTransport(url, retryFor=30)
            with caplog.at_level(logging.DEBUG, logger="vela.usd.client"):
                with pytest.raises(TransportRefused, match="XADD refused by .*(WRONGPASS|NOAUTH)"):
                    transport.Append("scene", b"frame")
            assert aclServer.Connections() - before == 1, url
            assert transport.reconnects == 0
            assert "retrying" not in caplog.text
            transport.Close()

    def test_a_key_of_another_type_and_an_unknown_command_are_refused(self, aclServer,
                                                                        tmp_path):
        admin = RedisTransport(aclServer.AdminUrl())
        channel = _Channel()
        aclServer.Admin().Execute("SET", "vela:{%s}:stream" % channel, "not a stream")
        with pytest.raises(TransportRefused, match="WRONGTYPE"):
            admin.Append(channel, b"frame")
        with pytest.raises(TransportRefused, match="WRONGTYPE"):
            admin.Read(channel, "0")
        admin.Delete(channel)
        # A server whose administrator took XADD away.
        renamed = RedisServer(tmp_path, extra=["--rename-command", "XADD", ""])
        renamed.Start()
        try:
            transport = RedisTransport(renamed.url)
            with pytest.raises(TransportRefused, match="unknown command"):
                transport.Append("scene", b"frame")
            assert transport.Read("scene", "0") == ([], "0")
        finally:
            renamed.Stop()

    def test_a_lost_connection_is_still_retried_and_is_no_refusal(self, tmp_path):
        server = RedisServer(tmp_path)
        server.Start()
        transport = RedisTransport(server.url, retryFor=0.2)
        transport.Append("scene", b"frame")
        server.Stop()
        with pytest.raises(TransportError) as error:
            transport.Append("scene", b"frame")
        assert not isinstance(error.value, TransportRefused)
        assert transport.reconnects > 0


# ------------------------------------------------------------ ACL users

def _Workload(transport, channel):
    """Every call a session makes (and Delete), as a read-write peer makes
    them."""
    first = transport.Append(channel, b"one")
    ids, entries, cursor, _ = transport.AppendAndRead(channel, [b"two"], first)
    transport.Read(channel, "0")
    transport.Read(channel, cursor, blockMs=1)
    transport.PutSnapshot(channel, ids[0], b"snapshot")
    transport.GetSnapshotBase(channel)
    transport.GetSnapshot(channel)
    transport.HasPosition(channel, first)
    transport.Trim(channel, ids[0])
    transport.Delete(channel)


def _ReadWorkload(transport, channel):
    """Every call a read-only peer makes."""
    transport.Read(channel, "0")
    transport.Read(channel, "0", blockMs=1)
    transport.GetSnapshotBase(channel)
    transport.GetSnapshot(channel)
    transport.HasPosition(channel, "1-0")


class TestAcl:
    def test_the_readme_gives_a_read_write_a_one_channel_and_a_read_only_user(self):
        rules = {name: rules for name, rules, _ in _ReadmeUsers()}
        assert set(rules) == {"vela-peer", "vela-scene", "vela-reader"}
        assert "~vela:{scene}:*" in rules["vela-scene"]
        assert not {"+xadd", "+hset", "+xtrim", "+del"} & set(rules["vela-reader"])

    def test_a_one_channel_user_writes_that_channel_and_is_refused_another(self, aclServer):
        scene = RedisTransport(_UserUrl(aclServer, "vela-scene"))
        admin = RedisTransport(aclServer.AdminUrl())
        admin.Delete("scene")
        try:
            a = Session(_Layer("a"), "scene", scene, name="A", snapshotEvery=2)
            b = Session(_Layer("b"), "scene", RedisTransport(aclServer.AdminUrl()), name="B")
            _EditInTurn(a, b, 6)
            assert a.stats.snapshotsWritten >= 2 and a.snapshotEvery == 2
            late = Session(_Layer("late"), "scene", RedisTransport(
                _UserUrl(aclServer, "vela-scene")), name="late")
            late.Pull()
            assert late.stats.snapshotsRead == 1
            texts = {s.layer.ExportToString() for s in (a, b, late)}
            assert len(texts) == 1
            admin.Delete("scene")
            _Workload(scene, "scene")
        finally:
            admin.Delete("scene")
        for call in (lambda: scene.Append("other", b"frame"), lambda: scene.Read("other", "0"),
                     lambda: scene.GetSnapshot("other")):
            with pytest.raises(TransportRefused, match="NOPERM"):
                call()
        # Nor does another prefix reach past its pattern.
        with pytest.raises(TransportRefused, match="NOPERM"):
            RedisTransport(_UserUrl(aclServer, "vela-scene"), prefix="x:").Read("scene", "0")

    def test_a_read_only_user_pulls_and_its_publish_is_refused_with_its_edit_kept(
            self, aclServer, caplog):
        channel = _Channel()
        writer = Session(_Layer("w"), channel, RedisTransport(_UserUrl(aclServer, "vela-peer")),
                         name="W", snapshotEvery=3)
        reader = Session(_Layer("r"), channel, RedisTransport(_UserUrl(aclServer, "vela-reader")),
                         name="R", snapshotEvery=1)
        try:
            _Prim(writer.layer, "/World")
            for i in range(4):
                _Prim(writer.layer, "/World/P%d" % i)
                writer.Pull()
            with caplog.at_level(logging.WARNING, logger="vela.usd.client"):
                reader.Pull()
            assert reader.stats.snapshotsRead == 1
            # Its turn to write a snapshot came: refused, logged, no more.
            assert "writes no snapshots" in caplog.text and reader.snapshotEvery == 0
            assert reader.layer.ExportToString() == writer.layer.ExportToString()

            _Prim(reader.layer, "/World/ByReader")
            with pytest.raises(TransportRefused, match="XADD refused by .*NOPERM"):
                reader.Publish()
            assert reader.unsent == 1
            with pytest.raises(TransportRefused):
                reader.Pull()
            assert reader.layer.GetPrimAtPath("/World/ByReader")
            for call in (lambda: reader.transport.Trim(channel, "1-0"),
                         lambda: reader.transport.PutSnapshot(channel, "1-0", b"x"),
                         lambda: reader.transport.Delete(channel)):
                with pytest.raises(TransportRefused):
                    call()
            _ReadWorkload(reader.transport, channel)
            # Handed to a transport that may write, the kept edit goes out
            # once.
            reader.transport = RedisTransport(_UserUrl(aclServer, "vela-peer"))
            reader.Pull()
            writer.Pull()
            assert reader.unsent == 0 and writer.layer.GetPrimAtPath("/World/ByReader")
        finally:
            RedisTransport(aclServer.AdminUrl()).Delete(channel)

    @pytest.mark.parametrize("name,workload", [("vela-peer", _Workload),
                                               ("vela-reader", _ReadWorkload)])
    def test_every_command_the_readme_grants_is_needed(self, aclServer, name, workload):
        # The user's rules less one command at a time: some call of the
        # workload is refused. With them all, none is.
        rules = dict((user, rules) for user, rules, _ in _ReadmeUsers())[name]
        commands = [rule for rule in rules if rule.startswith("+")]
        admin = aclServer.Admin()
        trial = "trial-" + uuid.uuid4().hex[:6]
        try:
            for dropped in [None] + commands:
                admin.Execute("ACL", "SETUSER", trial, *[
                    ">pw" if rule.startswith(">") else rule
                    for rule in rules[1:] if rule != dropped])
                channel = _Channel()
                if workload is _ReadWorkload:
                    seed = RedisTransport(aclServer.AdminUrl())
                    seed.Append(channel, b"one")
                    seed.PutSnapshot(channel, "0", b"snapshot")
                transport = RedisTransport(aclServer.Url(user=trial, password="pw"))
                try:
                    if dropped is None:
                        workload(transport, channel)
                    else:
                        with pytest.raises(TransportRefused):
                            workload(transport, channel)
                finally:
                    RedisTransport(aclServer.AdminUrl()).Delete(channel)
        finally:
            admin.Execute("ACL", "DELUSER", trial)


# ------------------------------------------------------------ nothing shown

_FailingPeer = textwrap.dedent("""
    import logging, sys
    logging.basicConfig(level=logging.DEBUG, stream=sys.stderr)
    from pxr import Sdf
    from vela.usd import client
    from vela.usd.client.cli import NewSyncLayer as Layer

    wrong, right = sys.argv[1], sys.argv[2]
    transport = client.RedisTransport(wrong, retryFor=5)
    print(repr(transport), transport.display)
    session = client.Session(Layer("a"), "scene", transport, name="A")
    Sdf.CreatePrimInLayer(session.layer, "/World")
    try:
        session.Publish()
    except client.TransportError as error:
        print("refused:", repr(error), error)
        logging.getLogger("vela.usd.client").exception("publish failed")
    transport = client.RedisTransport(right, retryFor=1)
    session = client.Session(Layer("b"), "scene", transport, name="B")
    Sdf.CreatePrimInLayer(session.layer, "/World")
    session.Pull()
    print("ready", flush=True)
    sys.stdin.readline()          # the server is stopped meanwhile
    Sdf.CreatePrimInLayer(session.layer, "/World/Later")
    session.Publish()             # retried, then raises: a traceback
""")


def _Run(command, **kwargs):
    done = subprocess.run(command, capture_output=True, text=True, timeout=300, **kwargs)
    return done.returncode, done.stdout + done.stderr


def test_a_failing_session_prints_no_secret(tmp_path):
    server = RedisServer(tmp_path, password=_Secret)
    server.Start()
    try:
        wrong = server.Url(user="default", password="not-" + _Secret,
                           ssl_password=_Secret, socket_timeout=5)
        right = server.Url(password=_Secret, socket_timeout=5)
        printed = []
        peer = subprocess.Popen([sys.executable, "-c", _FailingPeer, wrong, right],
                                stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True)
        assert peer.stdout.readline().startswith("RedisTransport('redis://default:***@")
        printed.append(peer.stdout.readline())
        assert printed[-1].startswith("refused: TransportRefused(")
        assert peer.stdout.readline() == "ready\n"
        server.Stop()
        out, err = peer.communicate("go\n", timeout=120)
        assert peer.returncode != 0
        printed += [out, err]
        assert "WRONGPASS" in printed[0] and "retrying" in err and "Traceback" in err

        server.Start()
        cli = [sys.executable, "-m", "vela.usd.client.cli"]
        status, report = _Run(cli + ["demo", "--redis", right, "--rounds", "2"])
        assert status == 0 and "on redis://:***@127.0.0.1:%d/0" % server.port in report
        printed.append(report)
        # Through the environment, and refused: the peers' tracebacks too.
        status, report = _Run(cli + ["demo", "--rounds", "1"],
                              env=dict(os.environ, VELA_SYNC_REDIS_URL=wrong))
        assert status == 1 and "peer A and B failed" in report and "WRONGPASS" in report
        printed.append(report)
        status, report = _Run(cli + ["replay", "scene", "--redis", wrong])
        assert status != 0 and "TransportRefused" in report
        printed.append(report)
    finally:
        server.Stop()
    everything = "\n".join(printed)
    for form in _SecretForms(_Secret):
        assert form not in everything
    assert "***" in everything


# ------------------------------------------------------------ TLS

_tls = pytest.mark.skipif(not RedisHasTls(),
                          reason="this redis-server was built without TLS, or openssl is "
                                 "missing")


@pytest.fixture(scope="module")
def certificates(tmp_path_factory):
    return Certificates(tmp_path_factory.mktemp("certificates"))


@pytest.fixture
def tlsServer(tmp_path, certificates, request):
    """A TLS-only server with a password, asking clients for a certificate
    as the test's parameter says."""
    server = RedisServer(tmp_path, password=_Secret, tls=certificates,
                         clientAuth=getattr(request, "param", "optional"))
    server.Start()
    yield server
    server.Stop()


def _Converge(url, otherUrl):
    channel = _Channel()
    a = Session(_Layer("a"), channel, RedisTransport(url), name="A", snapshotEvery=2)
    b = Session(_Layer("b"), channel, RedisTransport(otherUrl), name="B")
    _EditInTurn(a, b, 3)
    assert a.layer.ExportToString() == b.layer.ExportToString()
    assert a.layer.GetPrimAtPath("/World/B2")
    a.transport.Delete(channel)


@_tls
class TestTls:
    def test_peers_converge_over_tls_with_a_ca_and_with_a_client_certificate(
            self, tlsServer, certificates):
        withCa = tlsServer.Url(password=_Secret)
        byName = tlsServer.Url(password=_Secret, host="localhost")
        withCert = tlsServer.Url(password=_Secret, ssl_certfile=certificates.clientCert,
                                 ssl_keyfile=certificates.clientKey)
        _Converge(withCa, byName)
        _Converge(withCert, withCa + "&protocol=3")
        assert RedisTransport(withCa).display.startswith("rediss://:***@127.0.0.1:")

    @pytest.mark.parametrize("tlsServer", ["yes"], indirect=True)
    def test_a_server_that_wants_a_client_certificate_refuses_none_or_a_strangers(
            self, tlsServer, certificates):
        _Converge(tlsServer.AdminUrl(), tlsServer.AdminUrl())
        for url, says in (
                (tlsServer.Url(password=_Secret), "wants a client certificate"),
                (tlsServer.Url(password=_Secret, ssl_certfile=certificates.otherCert,
                               ssl_keyfile=certificates.otherKey), "refused this client's")):
            before = tlsServer.Refused()
            transport = RedisTransport(url, retryFor=30)
            with pytest.raises(TransportRefused, match=says):
                transport.Append("scene", b"frame")
            assert tlsServer.Refused(atLeast=before + 1) == before + 1
            assert transport.reconnects == 0

    def test_a_certificate_nobody_vouches_for_is_refused_at_once(self, tlsServer,
                                                                  certificates, caplog):
        cases = [
            # The server's certificate is not the other CA's.
            (tlsServer.Url(password=_Secret, ssl_ca_certs=certificates.otherCa),
             "certificate failed verification"),
            (tlsServer.Url(password=_Secret, ssl_ca_certs=certificates.ca + ".missing"),
             "cannot set up TLS"),
            (tlsServer.Url(password=_Secret, ssl_certfile=certificates.clientCert,
                           ssl_keyfile=certificates.serverKey), "cannot set up TLS"),
        ]
        for url, says in cases:
            transport = RedisTransport(url, retryFor=30)
            with caplog.at_level(logging.DEBUG, logger="vela.usd.client"):
                with pytest.raises(TransportRefused, match=says):
                    transport.Read("scene", "0")
            assert transport.reconnects == 0 and "retrying" not in caplog.text

    @pytest.mark.parametrize("tlsServer", ["optional", "yes"], indirect=True)
    def test_a_url_of_the_wrong_scheme_is_refused_at_once_and_says_so(
            self, tlsServer, tmp_path, certificates):
        (tmp_path / "plain").mkdir()
        plain = RedisServer(tmp_path / "plain", password=_Secret)
        plain.Start()
        try:
            cases = [
                # A plain URL at the TLS port: the server drops the command.
                (tlsServer.Url(password=_Secret).replace("rediss://", "redis://", 1),
                 "speaks TLS: use a rediss:// URL"),
                # A TLS URL at a plain port: the server waits for a command
                # line and never answers the handshake.
                (plain.url.replace("redis://", "rediss://", 1) + "?ssl_ca_certs="
                 + certificates.ca, "speaks plain Redis, not TLS"),
            ]
            for url, says in cases:
                transport = RedisTransport(url, retryFor=30)
                with pytest.raises(TransportRefused, match=says) as refused:
                    transport.Append("scene", b"frame")
                assert transport.reconnects == 0
                assert _Secret not in str(refused.value)
            # The right schemes still work.
            assert RedisTransport(tlsServer.AdminUrl()).Append("scene", b"frame")
            assert RedisTransport(plain.url).Append("scene", b"frame")
        finally:
            plain.Stop()

    def test_tls_acl_users_and_passwords_together(self, tmp_path, certificates):
        users = [rules for _, rules, _ in _ReadmeUsers()]
        server = RedisServer(tmp_path, password=_Secret, tls=certificates, users=users)
        server.Start()
        try:
            reader = RedisTransport(_UserUrl(server, "vela-reader") + "&protocol=3")
            assert reader.Read(_Channel(), "0") == ([], "0")
            with pytest.raises(TransportRefused, match="NOPERM") as error:
                reader.Append(_Channel(), b"frame")
            assert "reader-password" not in str(error.value)
            _Converge(_UserUrl(server, "vela-peer"), _UserUrl(server, "vela-peer"))
        finally:
            server.Stop()
