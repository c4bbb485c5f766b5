"""examples/call.py against a sipp registrar and callee, and the package as
`cmake --install` lays it out, imported by Debian's python3 from there alone."""
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

from binding_support import EXAMPLES, HERE, LOOPBACK, free_udp_port, python_env, started_sipp, write_wav

BUILD_DIR = os.environ["ORVSIP_BUILD_DIR"]
SCENARIO = os.path.join(HERE, "registrar_and_callee_caller_hangs_up.xml")


class ExampleTest(unittest.TestCase):
    def test_call_py_runs_to_the_end(self):
        workdir = tempfile.mkdtemp(prefix="orvsip-example-")
        self.addCleanup(shutil.rmtree, workdir, ignore_errors=True)
        wav = os.path.join(workdir, "tone.wav")
        write_wav(wav, [(4000 if (n // 8) % 2 else -4000) for n in range(8000)])
        peer = started_sipp(SCENARIO, calls=2)
        self.addCleanup(peer.stop)
        result = subprocess.run(
            [sys.executable, os.path.join(EXAMPLES, "call.py"), LOOPBACK, str(free_udp_port()),
             str(free_udp_port()), f"{LOOPBACK}:{peer.local_port}", f"sip:2002@{LOOPBACK}", wav, "--seconds", "1"],
            capture_output=True, text=True, timeout=120, env=python_env())
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        lines = result.stdout.splitlines()
        expected = ["OnSuccessToRegister", "OnConnecting 0", "OnProvisionalResponse 0 180 Ringing",
                    f"OnSuccessToConnect 0 {LOOPBACK} {peer.media_port}", "OnSuccessToUnRegister", "done"]
        self.assertEqual([line for line in lines if line in expected], expected, result.stdout)
        self.assertTrue(any(re.match(r"OnOutgoingDiagnostic BYE sip:", line) for line in lines), result.stdout)
        self.assertIn("OnPlayWaveDone 0", lines)
        self.assertEqual(peer.wait(20), 0, peer.log())
        self.assertEqual(len(peer.received("BYE")), 1)


class InstalledPackageTest(unittest.TestCase):
    def test_installed_package_is_found_by_debian_python(self):
        destdir = tempfile.mkdtemp(prefix="orvsip-install-")
        self.addCleanup(shutil.rmtree, destdir, ignore_errors=True)
        subprocess.run(["cmake", "--install", BUILD_DIR], check=True, capture_output=True, timeout=300,
                       env=dict(os.environ, DESTDIR=destdir))
        packages = glob.glob(os.path.join(destdir, "**", "orvsip", "__init__.py"), recursive=True)
        self.assertEqual(len(packages), 1, packages)
        site = os.path.dirname(os.path.dirname(packages[0]))
        installed_site = "/" + os.path.relpath(site, destdir)
        self.assertEqual(sorted(os.listdir(os.path.join(site, "orvsip"))),
                         ["__init__.py", os.path.basename(glob.glob(os.path.join(BUILD_DIR, "python/orvsip/_orvsip*"))[0])])

        prefix = self.configured_prefix()
        if prefix in ("/usr", "/usr/local"):
            search_path = subprocess.run(["/usr/bin/python3", "-c", "import sys; print('\\n'.join(sys.path))"],
                                         capture_output=True, text=True, check=True).stdout.split("\n")
            self.assertIn(installed_site, search_path)
        # From the installed files alone: the extension finds the installed library.
        probe = ("import orvsip; ua = orvsip.OrvSIPUserAgentOCX(); "
                 "print(orvsip.__file__); print(ua.GetVersionSDK()); print(ua.GetOrvObjectError())")
        result = subprocess.run(["/usr/bin/python3", "-c", probe], capture_output=True, text=True, timeout=60,
                                cwd=destdir, env=python_env(PYTHONPATH=site, LD_LIBRARY_PATH=""))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout.splitlines(), [os.path.join(site, "orvsip", "__init__.py"), "3, 0, 0, 0", "0"])

    def test_a_prefix_given_when_installing_puts_the_package_where_debian_python_looks(self):
        destdir = tempfile.mkdtemp(prefix="orvsip-install-")
        self.addCleanup(shutil.rmtree, destdir, ignore_errors=True)
        for prefix, folder in (("/usr", "usr/lib/python3/dist-packages"),
                               ("/opt/orvsip", f"opt/orvsip/lib/python3.{sys.version_info.minor}/dist-packages")):
            subprocess.run(["cmake", "--install", BUILD_DIR, "--prefix", prefix], check=True, capture_output=True,
                           timeout=300, env=dict(os.environ, DESTDIR=destdir))
            self.assertTrue(os.path.isfile(os.path.join(destdir, folder, "orvsip", "__init__.py")), prefix)
        self.assertIn("/usr/lib/python3/dist-packages",
                      subprocess.run(["/usr/bin/python3", "-c", "import sys; print(sys.path)"], capture_output=True,
                                     text=True, check=True).stdout)
        # From there, too, the extension finds the library installed with it.
        site = os.path.join(destdir, "usr/lib/python3/dist-packages")
        probe = "import orvsip; print(orvsip.OrvSIPUserAgentOCX().GetVersionSDK())"
        result = subprocess.run(["/usr/bin/python3", "-c", probe], capture_output=True, text=True, timeout=60,
                                cwd=destdir, env=python_env(PYTHONPATH=site, LD_LIBRARY_PATH=""))
        self.assertEqual(result.stdout.strip(), "3, 0, 0, 0", result.stderr)

    @staticmethod
    def configured_prefix():
        with open(os.path.join(BUILD_DIR, "CMakeCache.txt")) as cache:
            for line in cache:
                if line.startswith("CMAKE_INSTALL_PREFIX:"):
                    return line.split("=", 1)[1].strip()
        return None


if __name__ == "__main__":
    unittest.main()
