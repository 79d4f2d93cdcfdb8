"""A build backend (PEP 517) for the one-module z418kt package: a wheel and
an sdist made with the standard library alone, so `pip install ./python`
works offline and in a fresh venv. The metadata come from pyproject.toml;
the version from the project's CMakeLists.txt, or from PKG-INFO in an
unpacked sdist."""

import base64
import hashlib
import io
import os
import re
import tarfile
import zipfile

try:
    import tomllib
except ImportError:  # Python < 3.11: the few keys needed are read by hand
    tomllib = None

HERE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
MODULES = ["z418kt.py"]
# The same time for every file, so a wheel of the same sources is the same bytes.
EPOCH = (1980, 1, 1, 0, 0, 0)


def _project():
    with open(os.path.join(HERE, "pyproject.toml"), "rb") as f:
        text = f.read()
    if tomllib is not None:
        return tomllib.loads(text.decode("utf-8"))["project"]
    project = {}
    section = None
    for line in text.decode("utf-8").splitlines():
        line = line.strip()
        if line.startswith("["):
            section = line
        elif section == "[project]" and re.match(r'^(name|description|requires-python|readme) *= *"', line):
            key, value = line.split("=", 1)
            project[key.strip()] = value.strip().strip('"')
    return project


def _version():
    cmake = os.path.join(HERE, "..", "CMakeLists.txt")
    if os.path.exists(cmake):
        with open(cmake, encoding="utf-8") as f:
            found = re.search(r"project\(\s*z418kt\s+VERSION\s+([0-9][0-9.]*)", f.read())
        if found:
            return found.group(1)
    pkg_info = os.path.join(HERE, "PKG-INFO")
    if os.path.exists(pkg_info):
        with open(pkg_info, encoding="utf-8") as f:
            found = re.search(r"^Version: (.+)$", f.read(), re.M)
        if found:
            return found.group(1).strip()
    raise RuntimeError("z418kt: no version found (CMakeLists.txt of the project or PKG-INFO)")


def _metadata():
    project = _project()
    lines = ["Metadata-Version: 2.1", "Name: " + project["name"], "Version: " + _version(),
             "Summary: " + project.get("description", "")]
    if "requires-python" in project:
        lines.append("Requires-Python: " + project["requires-python"])
    readme = project.get("readme")
    body = ""
    if readme and os.path.exists(os.path.join(HERE, readme)):
        lines.append("Description-Content-Type: text/markdown")
        with open(os.path.join(HERE, readme), encoding="utf-8") as f:
            body = "\n" + f.read()
    return "\n".join(lines) + "\n" + body


def _dist_name():
    return "z418kt-" + _version()


def _wheel_name():
    return _dist_name() + "-py3-none-any.whl"


def _record_line(path, data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{path},sha256={digest},{len(data)}"


def _write(archive, path, data):
    info = zipfile.ZipInfo(path, EPOCH)
    info.external_attr = 0o644 << 16
    info.compress_type = zipfile.ZIP_DEFLATED
    archive.writestr(info, data)


def _dist_info_files():
    wheel = "Wheel-Version: 1.0\nGenerator: z418kt_build\nRoot-Is-Purelib: true\nTag: py3-none-any\n"
    return {"METADATA": _metadata().encode("utf-8"), "WHEEL": wheel.encode("utf-8")}


def get_requires_for_build_wheel(config_settings=None):
    return []


def get_requires_for_build_sdist(config_settings=None):
    return []


def prepare_metadata_for_build_wheel(metadata_directory, config_settings=None):
    info = os.path.join(metadata_directory, _dist_name() + ".dist-info")
    os.makedirs(info, exist_ok=True)
    for name, data in _dist_info_files().items():
        with open(os.path.join(info, name), "wb") as f:
            f.write(data)
    return os.path.basename(info)


def build_wheel(wheel_directory, config_settings=None, metadata_directory=None):
    info = _dist_name() + ".dist-info"
    records = []
    with zipfile.ZipFile(os.path.join(wheel_directory, _wheel_name()), "w") as archive:
        for module in MODULES:
            with open(os.path.join(HERE, module), "rb") as f:
                data = f.read()
            _write(archive, module, data)
            records.append(_record_line(module, data))
        for name, data in _dist_info_files().items():
            _write(archive, f"{info}/{name}", data)
            records.append(_record_line(f"{info}/{name}", data))
        records.append(f"{info}/RECORD,,")
        _write(archive, f"{info}/RECORD", ("\n".join(records) + "\n").encode("utf-8"))
    return _wheel_name()


def build_sdist(sdist_directory, config_settings=None):
    name = _dist_name()
    files = MODULES + ["pyproject.toml", "README.md", "build_backend/z418kt_build.py"]
    path = os.path.join(sdist_directory, name + ".tar.gz")
    with tarfile.open(path, "w:gz", format=tarfile.PAX_FORMAT) as archive:
        def add(arcname, data):
            info = tarfile.TarInfo(f"{name}/{arcname}")
            info.size = len(data)
            info.mode = 0o644
            archive.addfile(info, io.BytesIO(data))
        for relative in files:
            with open(os.path.join(HERE, relative), "rb") as f:
                add(relative, f.read())
        add("PKG-INFO", _metadata().encode("utf-8"))
    return os.path.basename(path)
