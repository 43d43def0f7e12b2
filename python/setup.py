"""The build steps pyproject.toml cannot state: the package carries the list of data IDs
(src/library/host/DataIds.def, read when the package is imported) and the project's version (in
_version.py, as CMake writes it), both taken from the source tree at build time; and a wheel is made even where the ``wheel`` package is missing
(a fresh venv of setuptools before 70.1 has no ``bdist_wheel`` command, and there may be no index to
fetch it from). Run by pip: ``pip install --no-build-isolation ./python``."""
import base64
import hashlib
import os
import re
import shutil
import zipfile

from setuptools import Command, setup
from setuptools.command.build_py import build_py

SOURCE_TREE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DATA_IDS = os.path.join(SOURCE_TREE, "src", "library", "host", "DataIds.def")


def project_version():
    """The version in the project's top CMakeLists.txt."""
    with open(os.path.join(SOURCE_TREE, "CMakeLists.txt"), encoding="utf-8") as cmake:
        match = re.search(r"^project\(\w+ VERSION ([0-9.]+)", cmake.read(), re.M)
    if not match:
        raise SystemExit("setup.py: no project version in " + os.path.join(SOURCE_TREE, "CMakeLists.txt"))
    return match.group(1)


class BuildWithDataIds(build_py):
    """build_py, plus the list of data IDs and the version beside the modules."""

    def run(self):
        super().run()
        if not os.path.isfile(DATA_IDS):
            raise SystemExit(f"setup.py: {DATA_IDS} is missing: build the package from the project's source tree")
        self.copy_file(DATA_IDS, os.path.join(self.build_lib, "orq", "DataIds.def"))
        with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "_version.py.in"), encoding="utf-8") as t:
            text = t.read().replace("@PROJECT_VERSION@", project_version())
        with open(os.path.join(self.build_lib, "orq", "_version.py"), "w", encoding="utf-8") as out:
            out.write(text)


class PlainWheel(Command):
    """A pure-Python wheel of what build_py builds, for a setuptools without a ``bdist_wheel``."""

    description = "build a pure-Python wheel"
    user_options = [("dist-dir=", "d", "directory to put the wheel in")]

    def initialize_options(self):
        self.dist_dir = None

    def finalize_options(self):
        self.dist_dir = self.dist_dir or "dist"

    @staticmethod
    def egg2dist(egg_info_dir, dist_info_dir):
        """The wheel metadata made from setuptools' egg-info (what pip asks for before it builds)."""
        os.makedirs(dist_info_dir, exist_ok=True)
        shutil.copyfile(os.path.join(egg_info_dir, "PKG-INFO"), os.path.join(dist_info_dir, "METADATA"))

    def run(self):
        self.run_command("build_py")
        self.run_command("egg_info")
        build_lib = self.get_finalized_command("build_py").build_lib
        name, version = self.distribution.get_name(), self.distribution.get_version()
        dist_info = f"{name}-{version}.dist-info"
        with open(os.path.join(self.get_finalized_command("egg_info").egg_info, "PKG-INFO"), "rb") as info:
            files = {f"{dist_info}/METADATA": info.read(),
                     f"{dist_info}/WHEEL": b"Wheel-Version: 1.0\nGenerator: orq setup.py\n"
                                           b"Root-Is-Purelib: true\nTag: py3-none-any\n"}
        for folder, _, names in os.walk(build_lib):
            for file_name in names:
                path = os.path.join(folder, file_name)
                with open(path, "rb") as content:
                    files[os.path.relpath(path, build_lib).replace(os.sep, "/")] = content.read()
        record = [f"{path},sha256={self._digest(data)},{len(data)}" for path, data in files.items()]
        files[f"{dist_info}/RECORD"] = ("\n".join(record + [f"{dist_info}/RECORD,,"]) + "\n").encode()
        os.makedirs(self.dist_dir, exist_ok=True)
        with zipfile.ZipFile(os.path.join(self.dist_dir, f"{name}-{version}-py3-none-any.whl"), "w",
                             zipfile.ZIP_DEFLATED) as wheel:
            for path, data in files.items():
                wheel.writestr(path, data)

    @staticmethod
    def _digest(data):
        return base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()


def wheel_command():
    """setuptools' own bdist_wheel, else that of the ``wheel`` package, else PlainWheel."""
    try:
        from setuptools.command.bdist_wheel import bdist_wheel
    except ImportError:
        try:
            from wheel.bdist_wheel import bdist_wheel
        except ImportError:
            bdist_wheel = PlainWheel
    return bdist_wheel


setup(version=project_version(), cmdclass={"build_py": BuildWithDataIds, "bdist_wheel": wheel_command()})
