"""The embedding story: install the control into a DESTDIR, build the example host
against the installed files alone (pkg-config, and CMake's find_package), and let it
call a sipp peer and answer one."""
import glob
import os
import shlex
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "interop"))
from orvua_driver import LOOPBACK, Sipp, free_udp_port, udp_port_bound  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD_DIR = os.environ["ORVSIP_BUILD_DIR"]
EXAMPLES = os.path.join(HERE, "..", "..", "examples")
# A sanitized control needs hosts built with the same run-time checks.
SANITIZE_FLAGS = shlex.split(os.environ.get("ORVSIP_SANITIZE_FLAGS", ""))


def run(command, **kwargs):
    result = subprocess.run(command, capture_output=True, text=True, timeout=300, **kwargs)
    if result.returncode != 0:
        raise AssertionError(f"{command} failed:\n{result.stdout}\n{result.stderr}")
    return result.stdout


class InstalledExampleTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.destdir = tempfile.mkdtemp(prefix="orvsip-install-")
        run(["cmake", "--install", BUILD_DIR, "--prefix", "/opt/orvsip"], env=dict(os.environ, DESTDIR=cls.destdir))
        cls.prefix = os.path.join(cls.destdir, "opt/orvsip")
        cls.libdir = os.path.dirname(glob.glob(os.path.join(cls.prefix, "lib*/libOrvSIPUserAgentOCX.so"))[0])

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.destdir, ignore_errors=True)

    def host_env(self):
        return dict(os.environ, LD_LIBRARY_PATH=self.libdir, XDG_CONFIG_HOME=os.path.join(self.destdir, "config"))

    def test_installed_files(self):
        headers = sorted(os.listdir(os.path.join(self.prefix, "include/orvsip")))
        self.assertEqual(headers, ["OrvComponent.h", "OrvDispatch.h", "OrvSIPUserAgentOCX.h",
                                   "OrvSIPUserAgentOCXEvents.h"])
        for header in headers:
            with open(os.path.join(self.prefix, "include/orvsip", header)) as handle:
                for line in handle:
                    if line.startswith("#include \""):
                        self.assertIn(line.split('"')[1], headers, f"{header} includes a header not installed")
        needed = run(["readelf", "-d", os.path.join(self.libdir, "libOrvSIPUserAgentOCX.so")])
        self.assertNotIn("libplatform", needed)
        # The installed tools find the installed library by themselves.
        orvua = subprocess.run([os.path.join(self.prefix, "bin/orvua")], input="GetVersionSDK\n", text=True,
                               capture_output=True, timeout=60, env=dict(os.environ, LD_LIBRARY_PATH=""))
        self.assertEqual(orvua.stdout, '= "3, 0, 0, 0"\n', orvua.stderr)
        # Registered under its SONAME, which a later release of the same major version keeps.
        registered = run([os.path.join(self.prefix, "bin/orvregister")], env=self.host_env())
        self.assertIn(os.path.join(os.path.realpath(self.libdir), "libOrvSIPUserAgentOCX.so.3 in"), registered)

    def test_a_versioned_library_exporting_only_its_documented_names(self):
        library = os.path.join(self.libdir, "libOrvSIPUserAgentOCX.so")
        self.assertEqual(os.readlink(library), "libOrvSIPUserAgentOCX.so.3")
        self.assertEqual(os.readlink(library + ".3"), "libOrvSIPUserAgentOCX.so.3.0.0")
        self.assertTrue(os.path.isfile(library + ".3.0.0"))
        self.assertIn("SONAME               libOrvSIPUserAgentOCX.so.3", run(["objdump", "-p", library]))
        exported = run(["nm", "-D", "--defined-only", "--demangle", library]).splitlines()
        names = [line.split(" ", 2)[2] for line in exported]
        documented = ("DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer",
                      "OrvCreateInstance(", "OrvSIPUserAgentOCX::", "typeinfo for OrvSIPUserAgentOCX",
                      "typeinfo name for OrvSIPUserAgentOCX", "vtable for OrvSIPUserAgentOCX",
                      "typeinfo for OrvClassFactory", "typeinfo name for OrvClassFactory")
        self.assertEqual([name for name in names if not name.startswith(documented)], [])
        for entry in documented[:4] + ("OrvSIPUserAgentOCX::Connect(", "OrvSIPUserAgentOCX::ClassMethods()"):
            self.assertTrue(any(name.startswith(entry) for name in names), entry)

    def test_pkg_config_host_places_a_call(self):
        env = dict(os.environ, PKG_CONFIG_PATH=os.path.join(self.libdir, "pkgconfig"))
        flags = shlex.split(run(["pkg-config", "--cflags", "--libs", "OrvSIPUserAgentOCX"], env=env))
        host = os.path.join(self.destdir, "host")
        run(["c++", "-std=c++17", "-Wall", "-Wextra", "-Werror", *SANITIZE_FLAGS,
             os.path.join(EXAMPLES, "host.cpp"), *flags, "-o", host])

        # The registrar is the proxy the call goes through.
        proxy = Sipp(os.path.join(HERE, "registrar_and_callee.xml"), calls=2)
        self.addCleanup(proxy.stop)
        result = subprocess.run([host, LOOPBACK, str(free_udp_port()), str(free_udp_port()),
                                 f"{LOOPBACK}:{proxy.local_port}", f"sip:2002@{LOOPBACK}"],
                                capture_output=True, text=True, timeout=60, env=self.host_env())
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        for line in ("registered", "progress: 180 Ringing", f"connected on line 0, voice to {LOOPBACK}:",
                     "the peer hung up", "unregistered"):
            self.assertIn(line, result.stdout)
        self.assertEqual(proxy.wait(20), 0, proxy.log())

    def test_find_package_host_answers_a_call(self):
        build = os.path.join(self.destdir, "example-build")
        run(["cmake", "-S", EXAMPLES, "-B", build, "-G", "Ninja", f"-DCMAKE_PREFIX_PATH={self.prefix}",
             "-DCMAKE_CXX_FLAGS=" + " ".join(SANITIZE_FLAGS)])
        run(["cmake", "--build", build])
        sip_port = free_udp_port()
        registrar = Sipp("registrar_no_expires.xml")
        self.addCleanup(registrar.stop)
        host = subprocess.Popen([os.path.join(build, "host"), LOOPBACK, str(sip_port), str(free_udp_port()),
                                 f"{LOOPBACK}:{registrar.local_port}", "-"],
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, env=self.host_env())
        self.addCleanup(host.kill)
        # The caller does not resend its INVITE: it waits until the host listens.
        deadline = time.monotonic() + 15
        while not udp_port_bound(sip_port) and host.poll() is None and time.monotonic() < deadline:
            time.sleep(0.02)
        caller = Sipp("caller_accepted.xml", remote_port=sip_port, extra=["-nr"])
        self.addCleanup(caller.stop)
        output, _ = host.communicate(timeout=60)
        self.assertEqual(host.returncode, 0, output)
        self.assertIn("incoming call from alice: answering", output)
        self.assertIn("the peer hung up", output)
        self.assertEqual(caller.wait(20), 0, caller.log())


if __name__ == "__main__":
    unittest.main()
