"""The programs as a user gets them: installed into a prefix with cmake --install, and
as the Debian packages CPack builds from this build tree. An installed trn keeps its
files in the per-user folder and still registers and calls through kamailio."""
import glob
import os
import shutil
import socket
import stat
import struct
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "interop"))
from orvua_driver import LOOPBACK, Baresip, Kamailio  # noqa: E402

BUILD_DIR = os.environ["ORVSIP_BUILD_DIR"]
VERSION = os.environ["ORVSIP_VERSION"]
PROGRAMS = ["ctiprobe", "orvregister", "orvua", "trn"]
APP_ID = "org.orvsip.trn"
ICON_SIZES = [16, 22, 24, 32, 48, 64, 128, 256]

SETTINGS = ("[SIP]\nSIPLogin=1001\nSIPPass=secret\nSIPProxy={proxy}\nSIPNome=\nSIPPort=5060\nSIPOutboundProxy=\n"
            "[AUDIO]\nAudioFoneDevice=Default Device\nAudioMicDevice=Default Device\nAudioFoneDeviceIndex=0\n"
            "AudioMicDeviceIndex=0\nEchoCancel=0\nAEC=0\nMicBooster=0\n"
            "[GENERAL]\nAwaysOnTop=0\nConfirmBeforeClose=0\nStarupOnSystray=0\nStartUpWithWindows={autostart}\n"
            "[CODECS]\nCodecG711u=1\nCodecG729=0\nCodecG711a=0\nCodecGSM=0\nCodecILBC=0\n"
            "[CTI]\nEnableCTITCP={socket}\nEnableCTIXML=True\nEnableCTI=1\nTCPPort={port}\n")


def run(command, **kwargs):
    result = subprocess.run(command, capture_output=True, text=True, timeout=300, **kwargs)
    if result.returncode != 0:
        raise AssertionError(f"{command} failed ({result.returncode}):\n{result.stdout}\n{result.stderr}")
    return result


def program_env(config_home, **extra):
    """A user's session: nothing points at the build tree, windows are offscreen."""
    env = {name: value for name, value in os.environ.items() if name not in ("LD_LIBRARY_PATH", "TRN_HOME")}
    env.update(QT_QPA_PLATFORM="offscreen", ORVSIP_AUDIO="virtual", ORVSIP_LOCAL_ADDRESS=LOOPBACK,
               XDG_CONFIG_HOME=config_home, **extra)
    return env


def free_tcp_port():
    with socket.socket() as probe:
        probe.bind((LOOPBACK, 0))
        return probe.getsockname()[1]


def write_settings(folder, proxy, autostart=0, cti_port=None):
    os.makedirs(folder, mode=0o700, exist_ok=True)
    text = SETTINGS.format(proxy=proxy, autostart=autostart, socket="True" if cti_port else "False",
                           port=cti_port or 2500)
    with open(os.path.join(folder, "TARN.INI"), "w") as handle:
        handle.write(text)


class CtiFiles:
    """A CTI client of INPUT.INI and OUTPUT.INI in one folder."""

    def __init__(self, folder):
        self.folder = folder
        self.records = []

    def command(self, command, parameter=""):
        staged = os.path.join(self.folder, "INPUT.INI.new")
        with open(staged, "w") as handle:
            handle.write(f"[ACTION]\nCOMMAND={command}\nPARAMETER={parameter}\nMESSAGE=\n")
        os.rename(staged, os.path.join(self.folder, "INPUT.INI"))

    def wait(self, record, timeout=20, process=None):
        """Takes records out of OUTPUT.INI until COMMAND|PARAMETER equals `record`."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if process is not None and process.poll() is not None:
                raise AssertionError(f"trn ended ({process.returncode}) before {record}; records {self.records}")
            taken = os.path.join(self.folder, "OUTPUT.INI.taken")
            try:
                os.rename(os.path.join(self.folder, "OUTPUT.INI"), taken)
            except FileNotFoundError:
                time.sleep(0.05)
                continue
            with open(taken) as handle:
                values = dict(line.strip().split("=", 1) for line in handle if "=" in line)
            os.remove(taken)
            self.records.append(f"{values.get('COMMAND')}|{values.get('PARAMETER', '').strip()}")
            if self.records[-1] == record:
                return
        raise AssertionError(f"no {record} within {timeout} s; records {self.records}")


def start_trn(program, env):
    process = subprocess.Popen([program], env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                               start_new_session=True)
    return process


def stop_trn(process):
    if process.poll() is None:
        os.killpg(process.pid, 9)
    return process.communicate(timeout=30)[0]


def png_size(path):
    with open(path, "rb") as handle:
        header = handle.read(24)
    assert header[:8] == b"\x89PNG\r\n\x1a\n", path
    return struct.unpack(">II", header[16:24])


class InstalledTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="orvsip-prefix-")
        cls.prefix = os.path.join(cls.root, "prefix")
        run(["cmake", "--install", BUILD_DIR, "--prefix", cls.prefix])

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, ignore_errors=True)

    def installed(self, *parts):
        return os.path.join(self.prefix, *parts)

    def test_every_program_answers_its_options_and_has_a_manual_page(self):
        self.assertEqual(sorted(os.listdir(self.installed("bin"))), PROGRAMS)
        config_home = os.path.join(self.root, "options-config")
        # No display at all: the options are answered before any window exists.
        env = {name: value for name, value in program_env(config_home).items()
               if name not in ("QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY")}
        for program in PROGRAMS:
            path = self.installed("bin", program)
            self.assertEqual(run([path, "--version"], env=env).stdout, f"{program} {VERSION}\n")
            help_text = run([path, "--help"], env=env).stdout
            self.assertRegex(help_text, rf"^[Uu]sage: {program} ")
            self.assertIn("Environment:", help_text, program)
            page = self.installed("share/man/man1", program + ".1.gz")
            rendered = subprocess.run(["man", "--warnings", "-E", "UTF-8", "-l", page], capture_output=True,
                                      text=True, timeout=60, env=dict(env, MANWIDTH="80"))
            self.assertEqual((rendered.returncode, rendered.stderr), (0, ""), page)
            for section in ("NAME", "SYNOPSIS", "OPTIONS", "FILES", "ENVIRONMENT"):
                self.assertIn(section, rendered.stdout, page)
            self.assertIn("--version", rendered.stdout.replace("\u2010", "-"), page)
        self.assertFalse(os.path.exists(config_home), "answering an option writes nothing")
        # Where each trn keeps its files, and the look it takes.
        trn_help = run([self.installed("bin/trn"), "--help"], env=env).stdout
        self.assertIn(f"Files, in {config_home}/tarn/:", trn_help)
        self.assertIn(f"The look in force: {self.installed('share/trn/trn.qss')}\n", trn_help)
        self.assertIn(f"{config_home}/tarn/INPUT.INI", run([self.installed("bin/ctiprobe"), "--help"], env=env).stdout)
        own = os.path.join(self.root, "own")
        trn_help = run([self.installed("bin/trn"), "--help"], env=dict(env, TRN_HOME=own)).stdout
        self.assertIn(f"Files, in {own}/:", trn_help)
        build_tree = os.path.join(BUILD_DIR, "softphone")
        trn_help = run([os.path.join(build_tree, "trn"), "--help"], env=env).stdout
        self.assertIn(f"Files, in {build_tree}/:", trn_help)
        self.assertIn("The look in force: the built-in one\n", trn_help)
        self.assertIn("unknown argument --frobnicate",
                      subprocess.run([self.installed("bin/orvua"), "--frobnicate"], capture_output=True, text=True,
                                     timeout=60, env=env).stderr)

    def test_desktop_entries_icons_and_metadata_validate(self):
        entries = sorted(glob.glob(self.installed("share/applications/*.desktop")))
        self.assertEqual([os.path.basename(entry) for entry in entries],
                         ["org.orvsip.ctiprobe.desktop", f"{APP_ID}.desktop"])
        for entry in entries:
            result = run(["desktop-file-validate", entry])
            self.assertEqual(result.stdout + result.stderr, "", entry)
            with open(entry) as handle:
                keys = dict(line.strip().split("=", 1) for line in handle if "=" in line)
            self.assertTrue(os.access(self.installed("bin", keys["Exec"]), os.X_OK), entry)
            self.assertEqual(keys["Icon"], APP_ID)
        self.assertIn("Development;", open(entries[0]).read())
        metainfo = self.installed("share/metainfo", f"{APP_ID}.metainfo.xml")
        run(["appstreamcli", "validate", "--no-net", metainfo])
        with open(metainfo) as handle:
            text = handle.read()
        self.assertIn(f'<launchable type="desktop-id">{APP_ID}.desktop</launchable>', text)
        self.assertIn(f'<release version="{VERSION}"', text)

        theme = self.installed("share/icons/hicolor")
        with open(os.path.join(theme, "scalable/apps", APP_ID + ".svg")) as handle:
            svg = handle.read()
        self.assertIn('viewBox="0 0 64 64"', svg)
        self.assertIn('fill="#1b7f5a"', svg)
        for size in ICON_SIZES:
            self.assertEqual(png_size(os.path.join(theme, f"{size}x{size}/apps", APP_ID + ".png")), (size, size))
        self.assertTrue(os.path.isfile(self.installed("share/doc/orvsip/examples/host.cpp")))

    def test_installed_trn_registers_and_calls_with_its_files_in_the_user_folder(self):
        kamailio = Kamailio({"1001": "secret", "2001": "secret2"})
        self.addCleanup(kamailio.stop)
        baresip = Baresip(f"<sip:2001@{LOOPBACK}:{kamailio.port}>;auth_pass=secret2;answermode=auto")
        self.addCleanup(baresip.stop)
        deadline = time.monotonic() + 15
        while not kamailio.is_registered("2001"):
            self.assertLess(time.monotonic(), deadline, baresip.log())
            time.sleep(0.1)

        # The first start makes the user's folder, for the user alone, and opens the
        # first-run wizard; SIGTERM ends it as "Exit" does.
        config_home = os.path.join(self.root, "config")
        files = os.path.join(config_home, "tarn")
        trn = start_trn(self.installed("bin/trn"), program_env(config_home))
        self.addCleanup(stop_trn, trn)
        deadline = time.monotonic() + 30
        while not os.path.exists(os.path.join(files, "trn.lock")):
            self.assertIsNone(trn.poll(), "trn ended")
            self.assertLess(time.monotonic(), deadline, "no trn.lock in the user's folder")
            time.sleep(0.1)
        self.assertEqual(stat.S_IMODE(os.stat(files).st_mode), 0o700)
        trn.terminate()
        trn.wait(timeout=20)

        write_settings(files, f"{LOOPBACK}:{kamailio.port}", autostart=1)
        trn = start_trn(self.installed("bin/trn"), program_env(config_home))
        self.addCleanup(stop_trn, trn)
        client = CtiFiles(files)
        client.wait("STATUS|REGISTERED", process=trn)
        client.command("Dial", "2001")
        client.wait("STATUS|SUCCESS TO CONNECT", process=trn)
        baresip.wait_event("CALL_ESTABLISHED")
        client.command("Hangup")
        client.wait("HANGUP|CALL DISCONECTED", process=trn)
        baresip.wait_event("CALL_CLOSED")

        self.assertEqual(stat.S_IMODE(os.stat(os.path.join(files, "TARN.INI")).st_mode), 0o600)
        self.assertEqual([name for name in os.listdir(self.installed("bin")) if name not in PROGRAMS], [])
        with open(os.path.join(config_home, "autostart/TarnSoftphone.desktop")) as handle:
            autostart = handle.read()
        self.assertIn(f'Exec="{os.path.realpath(self.installed("bin/trn"))}"\n', autostart)
        self.assertNotIn("TRN_HOME", autostart)

        client.command("ShutDown")
        trn.wait(timeout=20)


class DebianPackageTest(unittest.TestCase):
    """make package's packages, built by CPack from this build tree."""

    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="orvsip-deb-")
        self.addCleanup(shutil.rmtree, self.root, True)

    def contents(self, package):
        listing = run(["dpkg-deb", "-c", package]).stdout.splitlines()
        return {line.split(None, 5)[5] for line in listing}

    def test_packages_install_the_programs_and_pass_lintian(self):
        output = os.path.join(self.root, "packages")
        run(["cpack", "-G", "DEB", "--config", os.path.join(BUILD_DIR, "CPackConfig.cmake"), "-B", output])
        packages = {os.path.basename(path).split("_")[0]: path for path in glob.glob(os.path.join(output, "*.deb"))}
        self.assertLessEqual({"orvsip", "orvsip-dev"}, set(packages))
        self.assertLessEqual(set(packages), {"orvsip", "orvsip-dev", "python3-orvsip"})

        runtime = self.contents(packages["orvsip"])
        for program in PROGRAMS:
            self.assertIn(f"./usr/bin/{program}", runtime)
            self.assertIn(f"./usr/share/man/man1/{program}.1.gz", runtime)
        self.assertIn("./usr/lib/libOrvSIPUserAgentOCX.so.3 -> libOrvSIPUserAgentOCX.so.3.0.0", runtime)
        self.assertIn("./usr/lib/libOrvSIPUserAgentOCX.so.3.0.0", runtime)
        for name in (f"applications/{APP_ID}.desktop", "applications/org.orvsip.ctiprobe.desktop",
                     f"metainfo/{APP_ID}.metainfo.xml", f"icons/hicolor/scalable/apps/{APP_ID}.svg",
                     "doc/orvsip/copyright", "doc/orvsip/changelog.Debian.gz", "trn/trn.qss"):
            self.assertIn(f"./usr/share/{name}", runtime)
        development = self.contents(packages["orvsip-dev"])
        self.assertIn("./usr/lib/libOrvSIPUserAgentOCX.so -> libOrvSIPUserAgentOCX.so.3", development)
        self.assertIn("./usr/include/orvsip/OrvSIPUserAgentOCX.h", development)
        self.assertIn("./usr/lib/pkgconfig/OrvSIPUserAgentOCX.pc", development)

        fields = run(["dpkg-deb", "-f", packages["orvsip"]]).stdout
        self.assertIn(f"Version: {VERSION}-1\n", fields)
        self.assertRegex(fields, r"Maintainer: .+ <.+@.+>")
        for library in ("libqt6widgets6", "libosip2-15", "libc6"):  # found by dpkg-shlibdeps
            self.assertRegex(fields, rf"Depends: .*\b{library}\b")
        self.assertIn(f"Depends: orvsip (= {VERSION}-1)", run(["dpkg-deb", "-f", packages["orvsip-dev"]]).stdout)

        unpacked = os.path.join(self.root, "unpacked")
        run(["dpkg-deb", "-x", packages["orvsip"], unpacked])
        trn = os.path.join(unpacked, "usr/bin/trn")
        self.assertNotIn(".symtab", run(["readelf", "-S", "-W", trn]).stdout, "stripped")
        config_home = os.path.join(self.root, "config")
        self.assertEqual(run([trn, "--version"], env=program_env(config_home)).stdout, f"trn {VERSION}\n")
        self.start_unpacked_trn(trn, config_home)

        lintian = subprocess.run(["lintian", "--tag-display-limit", "0", *packages.values()], capture_output=True,
                                 text=True, timeout=600)
        errors = [line for line in lintian.stdout.splitlines() if line.startswith("E:")]
        self.assertEqual(errors, [], lintian.stdout)
        print("lintian:\n" + lintian.stdout, file=sys.stderr)

    def start_unpacked_trn(self, trn, config_home):
        """The unpacked trn opens its window offscreen and answers on its CTI socket."""
        port = free_tcp_port()
        write_settings(os.path.join(config_home, "tarn"), "127.0.0.1:9", cti_port=port)
        process = start_trn(trn, program_env(config_home))
        self.addCleanup(stop_trn, process)
        deadline = time.monotonic() + 30
        while True:
            self.assertIsNone(process.poll(), "trn ended")
            try:
                connection = socket.create_connection((LOOPBACK, port), timeout=10)
                break
            except OSError:
                self.assertLess(time.monotonic(), deadline, "trn does not listen")
                time.sleep(0.1)
        with connection, connection.makefile("r") as lines:
            self.assertTrue(lines.readline().startswith("SNAPSHOT\tREGISTRATION\t"))
            connection.sendall(b"ShutDown\n")
            self.assertIn("OK ShutDown\n", lines.readlines())
        process.wait(timeout=20)


if __name__ == "__main__":
    unittest.main()
