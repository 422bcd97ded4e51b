"""Runs model-unpack-batch on a model and gathers what it tells.

The tool writes the glb beside the model it is given, so it is given a link to the model (or a
copy, where links cannot be made) in a temporary folder: nothing is written beside the model
itself, and the folder goes when the import ends, whatever happens.
"""

import json
import os
import platform
import shutil
import stat
import subprocess
import sys

# What the add-on carries, by system: bin/SYSTEM/NAME beside this file.
BUNDLED = {
    ("linux", "x86_64"): ("linux-x86_64", "model-unpack-batch"),
    ("win32", "amd64"): ("windows-x86_64", "model-unpack-batch.exe"),
    ("win32", "x86_64"): ("windows-x86_64", "model-unpack-batch.exe"),
}
# A model's run ends within this many seconds, or is stopped: Blender must never hang on it.
TIMEOUT = 600
# On Windows, the tool runs without a console window flashing up.
QUIET = {"creationflags": subprocess.CREATE_NO_WINDOW} if sys.platform == "win32" else {}


class ToolError(Exception):
    """The tool could not be run, or ended without telling what it did."""


def bundled_executable():
    """The tool carried for this system, or None."""
    system = "win32" if sys.platform == "win32" else sys.platform
    if system.startswith("linux"):
        system = "linux"
    found = BUNDLED.get((system, platform.machine().lower()))
    if not found:
        return None
    path = os.path.join(os.path.dirname(__file__), "bin", *found)
    return path if os.path.isfile(path) else None


def executable(preference):
    """The executable to run: the one the preference names (a path, or a command on PATH),
    else the one carried for this system."""
    if preference:
        is_path = os.sep in preference or "/" in preference
        named = os.path.abspath(bpy_path(preference)) if is_path else shutil.which(preference)
        if not named or not os.path.isfile(named):
            raise ToolError(f"model-unpack-batch not found: {preference}")
        return named
    path = bundled_executable()
    if path is None:
        raise ToolError(
            f"model-unpack-batch is not carried for {sys.platform} {platform.machine()}: "
            "name one in the add-on's preferences")
    # A zip keeps no permissions: the carried tool is made executable on its first run.
    mode = os.stat(path).st_mode
    if not mode & stat.S_IXUSR:
        os.chmod(path, mode | stat.S_IXUSR | stat.S_IXGRP | stat.S_IXOTH)
    return path


def bpy_path(path):
    """A path as Blender's file fields give it ("//" is the blend file's folder)."""
    try:
        import bpy
        return bpy.path.abspath(path)
    except ImportError:
        return path


def place_model(model, folder):
    """The model, under its own name, in `folder`: a link, else a hard link, else a copy."""
    placed = os.path.join(folder, os.path.basename(model))
    for make in (os.symlink, os.link, shutil.copyfile):
        try:
            make(os.path.abspath(model), placed)
            return placed
        except (OSError, NotImplementedError):
            continue
    raise ToolError(f"cannot place {model} in a temporary folder")


def run(tool, model, folder):
    """Runs the tool on `model` (placed in `folder`) for its glb and its events; returns the
    events (a list of dicts) and the tool's exit status."""
    placed = place_model(model, folder)
    command = [tool, "--json", "--no-job", "--glb", os.path.basename(placed)]
    try:
        done = subprocess.run(command, cwd=folder, stdin=subprocess.DEVNULL, capture_output=True,
                              timeout=TIMEOUT, check=False, **QUIET)
    except subprocess.TimeoutExpired as error:
        raise ToolError(f"model-unpack-batch took over {TIMEOUT} s on {model}") from error
    except OSError as error:
        raise ToolError(f"model-unpack-batch cannot be run: {error}") from error
    events = []
    for line in done.stdout.decode("utf-8", "replace").splitlines():
        try:
            events.append(json.loads(line))
        except json.JSONDecodeError:
            continue
    if done.returncode not in (0, 1) or not any(e.get("event") == "model" for e in events):
        said = done.stderr.decode("utf-8", "replace").strip().splitlines()
        raise ToolError(said[0] if said else f"model-unpack-batch ended with status {done.returncode}")
    return events, done.returncode


def version(tool):
    """The tool's version line's last word."""
    try:
        done = subprocess.run([tool, "--version"], stdin=subprocess.DEVNULL, capture_output=True,
                              timeout=60, check=False, **QUIET)
        return done.stdout.decode("utf-8", "replace").splitlines()[0].split()[-1]
    except (OSError, IndexError, subprocess.TimeoutExpired):
        return ""
