# The build step of the Python package (pyproject.toml): the version from
# the file VERSION, and circthresh._core built by the project's CMake for the
# interpreter that runs the build, so that pip, `python3 -m build` and the
# CMake build of the README make the same module from the same core.
import os
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

TOP = os.path.dirname(os.path.abspath(__file__))


def project_version():
    with open(os.path.join(TOP, "VERSION"), encoding="utf-8") as version:
        return version.read().strip()


class CMakeBuild(build_ext):
    """Configures the project with the module on, builds only the module's
    target and copies it where setuptools packs it."""

    def build_extension(self, ext):
        if shutil.which("cmake") is None:
            sys.exit("circthresh: building the module needs cmake (Debian: bash tools/install-python-deps.sh)")
        build_dir = os.path.abspath(os.path.join(self.build_temp, "cmake"))
        # The command's tests and static link are not needed for the module.
        subprocess.run(["cmake", "-S", TOP, "-B", build_dir, "-DCMAKE_BUILD_TYPE=Release",
                        "-DCIRCTHRESH_PYTHON=ON", "-DCIRCTHRESH_TESTS=OFF", "-DCIRCTHRESH_STATIC=OFF",
                        "-DPython3_EXECUTABLE=" + sys.executable], check=True)
        # Two jobs unless CMAKE_BUILD_PARALLEL_LEVEL says otherwise: the
        # machines this is built on are often small and shared.
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")
        subprocess.run(["cmake", "--build", build_dir, "--target", "circthresh_python", "-j", jobs],
                       check=True)
        built = os.path.join(build_dir, "python", "circthresh", os.path.basename(self.get_ext_filename(ext.name)))
        target = self.get_ext_fullpath(ext.name)
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copyfile(built, target)


setup(
    version=project_version(),
    package_dir={"": "python"},
    packages=["circthresh"],
    package_data={"circthresh": ["py.typed", "_core.pyi"]},
    # No sources of its own: CMake knows them.
    ext_modules=[Extension("circthresh._core", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    # Beside CMake's build/ folder of the README, not inside it.
    options={"build": {"build_base": "build-setuptools"}},
)
