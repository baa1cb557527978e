"""The Windows download: the zip holds the launcher, the stand-in and a read-me
in one folder and nothing else, the programs need no DLL that Windows does not
carry, and unpacked into a fresh folder the launcher starts from there under
Wine and shows its first screen, and starts the stand-in beside it."""

import os
import subprocess
import tempfile
import unittest
import zipfile

import harness

ZIP = os.environ["SYNAPTOR_ZIP"]
OBJDUMP = os.environ["SYNAPTOR_OBJDUMP"]
PROGRAMS = ("launcher.exe", "Neuroblitz64.exe")
# DLLs of Windows itself; a MinGW runtime DLL (libstdc++-6, libgcc_s_seh-1,
# libwinpthread-1) among the imports would be missing on a user's machine.
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "opengl32.dll", "shell32.dll", "ole32.dll",
               "oleaut32.dll", "advapi32.dll", "msvcrt.dll", "imm32.dll", "ws2_32.dll", "winmm.dll",
               "shlwapi.dll", "comdlg32.dll", "bcrypt.dll", "psapi.dll"}


def imported_dlls(program):
    dump = subprocess.run([OBJDUMP, "-p", program], capture_output=True, text=True, check=True).stdout
    return {line.split(":", 1)[1].strip().lower() for line in dump.splitlines() if "DLL Name:" in line}


class WindowsZip(unittest.TestCase):

    def setUp(self):
        self.folder_name = os.path.basename(ZIP)[:-len(".zip")]
        self.unpacked = tempfile.mkdtemp(prefix="launcher-zip-")
        with zipfile.ZipFile(ZIP) as z:
            self.names = sorted(n for n in z.namelist() if not n.endswith("/"))
            z.extractall(self.unpacked)
        self.folder = os.path.join(self.unpacked, self.folder_name)

    def test_contents_and_first_screen(self):
        expected = sorted(f"{self.folder_name}/{n}" for n in PROGRAMS + ("README.txt",))
        self.assertEqual(self.names, expected)
        with open(os.path.join(self.folder, "README.txt"), newline="") as f:
            readme = f.read()
        self.assertIn("launcher.exe", readme)
        self.assertIn("\r\n", readme)

        for program in PROGRAMS:
            dlls = imported_dlls(os.path.join(self.folder, program))
            self.assertIn("kernel32.dll", dlls, f"{program}: the import table was not read")
            self.assertLessEqual(dlls, SYSTEM_DLLS, f"{program} needs DLLs that Windows does not carry")

        # The harness removes the unpacked folder at clean-up.
        with harness.Launcher(self, folder=self.folder) as app:
            text = app.text()
            app.shot("zip-start")
            self.assertIn("Smaller Brain - 131072 Neurons, 13M Synapses", text)
            self.assertIn("Launch Simulation", text)
            app.click_text("Launch Simulation")
            log = harness.wait_for(app.log, timeout=20)
            app.expect(log, f"the stand-in beside the unpacked launcher did not start; folder: "
                            f"{sorted(os.listdir(self.folder))}", "zip-launch")
            self.assertIn("-project demoBig.xml", log[0])

if __name__ == "__main__":
    unittest.main()
