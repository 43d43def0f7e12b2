"""``pip install ./python`` into a fresh venv, as a user does it (no package index: only the setuptools the
venv brings), and the installed package at work: it reads a value from the simulator through the build's
library named in ORQ_LIBRARY (ORQ_BUILD_LIBRARY here), and says clearly what it tried when it finds none."""
import os
import shutil
import subprocess
import sys

import pytest

from conftest import DEADLINE

SOURCE = os.environ["ORQ_SOURCE_DIR"]
READ_TYPE = """
import orq
with orq.Link({line!r}) as link:
    link.wait_node(5, timeout={deadline})
    print("read:", link.get(5, orq.FlightBoard.TYPE), orq.FlightBoard.TEMPERATURE.format(215), orq.__version__)
"""


@pytest.fixture(scope="module")
def venv(tmp_path_factory):
    """The python of a venv the package was pip-installed into, from a copy of the source tree's parts
    the build reads (so that the build's leftovers never land in the source tree)."""
    root = tmp_path_factory.mktemp("pip")
    tree = root / "tree"
    shutil.copytree(os.path.join(SOURCE, "python"), tree / "python",
                    ignore=shutil.ignore_patterns("tests", "build", "*.egg-info", "__pycache__"))
    os.makedirs(tree / "src/library/host")
    shutil.copy(os.path.join(SOURCE, "src/library/host/DataIds.def"), tree / "src/library/host")
    shutil.copy(os.path.join(SOURCE, "CMakeLists.txt"), tree)
    subprocess.run([sys.executable, "-m", "venv", str(root / "v")], check=True, timeout=120)
    install = subprocess.run([str(root / "v/bin/pip"), "install", "--no-build-isolation", "./python"], cwd=tree,
                             capture_output=True, text=True, timeout=120)
    assert install.returncode == 0, install.stdout + install.stderr
    return root / "v/bin/python"


def orq_version():
    """The project's version, which the build gives the package."""
    import orq
    return orq.__version__


def run(python, code, **env):
    """``code`` run by ``python`` away from the build tree, with only ``env`` added to a clean environment."""
    clean = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "ORQ_LIBRARY", "LD_LIBRARY_PATH")}
    return subprocess.run([str(python), "-c", code], env=dict(clean, **env), cwd="/", capture_output=True,
                          text=True, timeout=DEADLINE + 30)


def test_the_installed_package_reads_a_value_through_the_library_in_orq_library(venv, sim_line):
    result = run(venv, READ_TYPE.format(line=sim_line, deadline=DEADLINE), ORQ_LIBRARY=os.environ["ORQ_BUILD_LIBRARY"])
    assert result.returncode == 0, result.stderr
    # Among the library's own lines on the same output.
    assert "read: 1 21.5 degC %s" % orq_version() in result.stdout.splitlines(), result.stdout
    where = run(venv, "import orq, os; print(os.path.dirname(orq.__file__)); print(orq.library_path())")
    package, library = where.stdout.split()
    assert package.startswith(str(venv.parent.parent)) and os.path.isfile(os.path.join(package, "DataIds.def"))
    assert library == "liborq.so.1", "an installed package points at no build tree"


def test_without_a_library_the_error_says_what_was_tried_and_what_to_do(venv):
    if run(venv, "import ctypes; ctypes.CDLL('liborq.so.1')").returncode == 0:
        pytest.skip("this machine's loader finds a liborq.so.1")
    result = run(venv, "import orq; orq.Link('/dev/null')")
    assert result.returncode == 1
    message = result.stderr.strip().splitlines()[-1]
    assert message.startswith("orq.library.LibraryNotFound: cannot load liborq: tried liborq.so.1 through the "
                              "system's loader (ORQ_LIBRARY is not set): "), message
    assert "To fix: install liborq (make install, then ldconfig for its library directory), or set ORQ_LIBRARY " \
           "to the path of liborq.so.1" in message
