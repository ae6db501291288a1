"""The Windows module's PE headers, read with objdump: it exports the two
entry points and nothing else, and imports every host function by its name
from the DLL of its host library, exactly the functions the module's imports
header declares, and from no other DLL than those and the system's own.
Each substitute host DLL exports the functions of its own library.

Environment: QUARLIN_OBJDUMP, QUARLIN_BUILD_DIR (the Windows build),
QUARLIN_SOURCE_DIR."""
import os
import re
import subprocess
import sys
import unittest

OBJDUMP = os.environ["QUARLIN_OBJDUMP"]
BUILD = os.environ["QUARLIN_BUILD_DIR"]
SOURCE = os.environ["QUARLIN_SOURCE_DIR"]
MODULE = os.path.join(BUILD, "bin", "Quarlin_msp.mexw64")
SYSTEM_DLLS = {"KERNEL32.dll", "msvcrt.dll"}


def host_interface():
    """{DLL name: set of function names}, from the imports header: each
    function is declared with its library's macro, HOST_<LIBRARY>_API."""
    with open(os.path.join(SOURCE, "host", "host_imports.h")) as header:
        text = header.read()
    interface = {}
    for macro, name in re.findall(r"^HOST_(\w+)_API\b[^(;]*?\b(\w+)\s*\(", text, re.M):
        interface.setdefault("lib" + macro.lower() + ".dll", set()).add(name)
    return interface


def pe_tables(path):
    """(imports {DLL: set of names}, exports set of names) of a PE file."""
    listing = subprocess.run([OBJDUMP, "-p", path], check=True, capture_output=True, text=True).stdout
    imports = {}
    current = None
    for line in listing.splitlines():
        dll = re.match(r"\s*DLL Name: (\S+)", line)
        if dll:
            current = imports.setdefault(dll.group(1), set())
            continue
        if current is not None:
            entry = re.match(r"\s+[0-9a-f]+\s+([0-9a-f]+\s+)?(\w+)$", line)
            if entry and not line.strip().startswith("vma:"):
                current.add(entry.group(2))
            elif not line.strip():
                current = None
    section = listing.split("[Ordinal/Name Pointer] Table", 1)
    exports = set()
    if len(section) == 2:
        for line in section[1].splitlines()[1:]:
            entry = re.match(r"\s+\[\s*\d+\]\s+(\S+)$", line)
            if not entry:
                break
            exports.add(entry.group(1))
    return imports, exports


class ModuleTables(unittest.TestCase):
    def setUp(self):
        self.interface = host_interface()
        self.imports, self.exports = pe_tables(MODULE)

    def test_interface_is_read_from_the_header(self):
        self.assertEqual(len(self.interface), 6, self.interface)
        self.assertIn("mxCreateStructMatrix_800", self.interface["libmx.dll"])
        self.assertIn("slmrRunPluginEvent", self.interface["libmwsl_simtarget_instrumentation.dll"])

    def test_exports_are_the_two_entry_points(self):
        self.assertEqual(self.exports, {"mexFunction", "mexfilerequiredapiversion"})

    def test_imports_are_the_host_interface_by_name(self):
        self.assertEqual(set(self.imports) - SYSTEM_DLLS, set(self.interface))
        for dll, names in self.interface.items():
            self.assertEqual(self.imports[dll], names, dll)


class HostLibraries(unittest.TestCase):
    def test_each_host_dll_exports_its_own_functions(self):
        interface = host_interface()
        everything = set().union(*interface.values())
        for dll, names in interface.items():
            _, exports = pe_tables(os.path.join(BUILD, "bin", dll))
            self.assertLessEqual(names, exports, dll)
            self.assertFalse((everything - names) & exports, dll + " exports another library's function")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + sys.argv[1:])
